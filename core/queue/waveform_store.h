#pragma once

#include "engine/waveform.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace tonbrook {

// Overview envelopes of the queued files' audio, made in the background and kept on disk. One
// worker thread at low priority makes them one at a time, the file asked for urgently (the
// one on screen) first; each is written to the cache folder, and only the last few used stay
// in memory. A queue of ten thousand files thus holds kilobytes of envelopes, not 160 MB.
class WaveformStore : public QObject {
    Q_OBJECT

public:
    // How many envelopes stay in memory besides those on disk.
    static constexpr int keptInMemory = 8;

    explicit WaveformStore(QObject *parent = nullptr);
    ~WaveformStore() override;

    // The envelope of the file's track if it has been made; otherwise nothing, and it is queued:
    // ahead of all others when urgent, behind them otherwise. durationSeconds is the length to
    // draw, the file's duration.
    std::optional<WaveformEnvelope> envelope(const QString &filePath, qint64 trackIndex,
                                             double durationSeconds, bool urgent);
    // Stops making the file's envelopes, and drops those made.
    void forget(const QString &filePath);

    // Whether the worker is busy with or waiting to make anything.
    bool isIdle() const;

signals:
    // The envelope of this file's track can now be had from envelope().
    void envelopeReady(const QString &filePath, qint64 trackIndex);

private:
    struct Request {
        QString filePath;
        qint64 trackIndex = 0;
        double durationSeconds = 0.0;
    };
    struct Made {
        Request request;
        WaveformEnvelope envelope;
    };
    static QString keyOf(const QString &filePath, qint64 trackIndex);

    void work(std::stop_token stop);
    void collect();
    void keep(const QString &key, const WaveformEnvelope &envelope);

    // Shared with the worker, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Request> m_pending;
    std::optional<Request> m_running;
    std::stop_source m_runningStop;
    std::vector<Made> m_made;

    // The main thread's own.
    QHash<QString, QString> m_onDisk;                         // key -> cache file
    std::list<std::pair<QString, WaveformEnvelope>> m_recent; // most recently used first

    std::jthread m_worker; // last: stopped and joined first
};

} // namespace tonbrook
