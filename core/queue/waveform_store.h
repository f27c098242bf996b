#pragma once

#include "engine/waveform.h"
#include "queue/conversion_job.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
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
    // The same for the job's source and its selected track, over the inspected duration;
    // nothing while the job is not inspected or when its source has no audio track.
    std::optional<WaveformEnvelope> envelopeOf(const ConversionJob &job, bool urgent);
    // The file and track envelopeOf(job) stands for; a track of -1 when there is none.
    static std::pair<QString, qint64> sourceOf(const ConversionJob &job);

    // A finer envelope of [startSeconds, endSeconds) for a zoomed view, once made; otherwise
    // nothing, and it is made ahead of every overview, interrupting one being made. Only the
    // last one asked for is kept: asking for another drops it, and stops making it.
    std::optional<WaveformEnvelope> detail(const QString &filePath, qint64 trackIndex,
                                           double startSeconds, double endSeconds, int buckets);
    // Stops making the file's envelopes, and drops those made.
    void forget(const QString &filePath);

    // Starts no overview that was not asked for urgently for the next `duration`, as while the
    // queue's list scrolls; one being made goes on. Asking again sets the hold's end anew.
    void holdBackground(std::chrono::milliseconds duration);

    // Whether the worker is busy with or waiting to make anything.
    bool isIdle() const;

signals:
    // The envelope of this file's track can now be had from envelope().
    void envelopeReady(const QString &filePath, qint64 trackIndex);
    // The detail last asked for can now be had from detail().
    void detailReady();

private:
    struct Request {
        QString filePath;
        qint64 trackIndex = 0;
        double durationSeconds = 0.0;
        // A detail covers [startSeconds, durationSeconds) in its own number of buckets.
        bool isDetail = false;
        double startSeconds = 0.0;
        int buckets = overviewWaveformBuckets;
        bool urgent = false;
        bool operator==(const Request &) const = default;
    };
    struct Made {
        Request request;
        WaveformEnvelope envelope;
        QString file; // where it was kept on disk; empty for a detail, or when it could not be
    };
    static QString keyOf(const QString &filePath, qint64 trackIndex);
    // Writes an overview to the cache folder, from the worker; its file, or empty on failure.
    static QString writeToCache(const QString &filePath, qint64 trackIndex,
                                const WaveformEnvelope &envelope);

    void work(std::stop_token stop);
    // Under m_mutex: whether the worker has something it may start now.
    bool hasWorkToStart() const;
    std::chrono::steady_clock::time_point backgroundHeldUntil() const;
    void collect();
    void keep(const QString &key, const WaveformEnvelope &envelope);

    // Shared with the worker, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Request> m_pending;
    std::optional<Request> m_detailPending;
    std::optional<Request> m_running;
    std::stop_source m_runningStop;
    std::vector<Made> m_made;

    // The main thread's own.
    QHash<QString, QString> m_onDisk;                         // key -> cache file
    std::list<std::pair<QString, WaveformEnvelope>> m_recent; // most recently used first
    std::optional<Request> m_detailWanted;
    std::optional<WaveformEnvelope> m_detail; // made for m_detailWanted

    // When background work may start again, in steady_clock ticks; set without the lock.
    std::atomic<std::chrono::steady_clock::rep> m_backgroundHeldUntil = 0;

    std::jthread m_worker; // last: stopped and joined first
};

} // namespace tonbrook
