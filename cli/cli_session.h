#pragma once

#include "cli_options.h"
#include "model/translatable_text.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include <cstdio>
#include <optional>

class QTimer;

namespace tonbrook {
class ConversionJob;
class ConversionQueue;
} // namespace tonbrook

namespace tonbrook::cli {

// Where the session writes, and whether standard output is a terminal that takes live bars.
struct Console {
    std::FILE *out = stdout;
    std::FILE *err = stderr;
    bool interactive = false;
};

// One run of the command line over one ConversionQueue: adds the inputs, then either writes
// each file's inspection as it is known (--inspect) or waits for every inspection and runs the
// batch, reporting its events.
class CliSession : public QObject {
    Q_OBJECT

public:
    static constexpr int progressIntervalMs = 100;
    static constexpr int exitCompleted = 0;
    static constexpr int exitFailed = 1;
    static constexpr int exitUsage = 2;
    static constexpr int exitInterrupted = 130;

    CliSession(CliOptions options, Console console, QObject *parent = nullptr);
    ~CliSession() override;

    // Adds the inputs to the queue; finished() follows, maybe at once.
    void start();
    // Cancels everything, waits for the running extractions to stop, then finishes with 130.
    void interrupt();

signals:
    void finished(int exitStatus);

private:
    enum class Phase { idle, inspecting, converting, stopping, done };

    struct Record {
        bool started = false;
        bool reported = false;
        // The status last seen was inspecting (counted in m_inspecting).
        bool inspecting = false;
        // A problem the command line found itself (a track the file does not have).
        std::optional<TranslatableText> failure;
        QElapsedTimer lastProgress;
    };

    bool prepareOutputFolder();
    // Queues the inputs (this run's part of them when sharded) with their outputs named over
    // the whole set; returns the number of files in the whole set.
    qsizetype addInputs();
    void onStatusChanged(ConversionJob *job);
    void onInspected(ConversionJob *job);
    void checkInspectionsDone();
    // --inspect: writes the objects of the files inspected since the last call that follow,
    // in queue order, those already written; the array's brackets come from start and finish.
    void writeInspected();
    void reportStarted(ConversionJob *job);
    void reportProgress(ConversionJob *job);
    void reportCompleted(ConversionJob *job);
    void reportFailed(ConversionJob *job, const TranslatableText &reason);
    void reportCancelled(ConversionJob *job);
    void checkAllReported();
    // Marks the job's outcome as reported (once).
    void markReported(ConversionJob *job);
    void checkExtractionsStopped();
    void finish(int exitStatus);

    void writeOut(const QByteArray &text);
    void writeErr(const QByteArray &text);
    bool showsBars() const;
    void eraseBars();
    void drawBars();

    CliOptions m_options;
    Console m_console;
    ConversionQueue *m_queue = nullptr;
    QTimer *m_redraw = nullptr;
    QHash<ConversionJob *, Record> m_records;
    Phase m_phase = Phase::idle;
    QElapsedTimer m_clock;
    int m_completed = 0;
    int m_failed = 0;
    int m_cancelled = 0;
    int m_barLines = 0;
    // Jobs being inspected, and jobs whose outcome is not reported yet.
    qsizetype m_inspecting = 0;
    qsizetype m_unreported = 0;
    // While stopping: the jobs before this one have no extraction running.
    qsizetype m_stoppedUpTo = 0;
    // --inspect: how many jobs, from the first, have their object written.
    qsizetype m_inspectWritten = 0;
    bool m_barsDirty = false;
};

} // namespace tonbrook::cli
