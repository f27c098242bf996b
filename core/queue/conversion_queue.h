#pragma once

#include "model/extraction_settings.h"
#include "queue/batch_notifier.h"
#include "queue/conversion_job.h"
#include "queue/waveform_store.h"

#include <QAbstractListModel>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <QHash>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

class QTimer;

namespace tonbrook {

class ConversionQueue;

// The queue's jobs for list views: one row per job, in queue order.
class JobListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { JobRole = Qt::UserRole + 1, JobIdRole };

    explicit JobListModel(ConversionQueue *queue);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // DisplayRole: the source's file name; JobRole: the ConversionJob; JobIdRole: its id.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    friend class ConversionQueue;

    const ConversionQueue *m_queue;
};

// The jobs, the choices for new jobs, and the batch runner. Lives on the main thread.
class ConversionQueue : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<tonbrook::ConversionJob *> jobs READ jobs NOTIFY jobsChanged)
    Q_PROPERTY(tonbrook::JobListModel *jobModel READ jobModel CONSTANT)
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)
    Q_PROPERTY(
        QUuid selectedJobId READ selectedJobId WRITE setSelectedJobId NOTIFY selectedJobIdChanged)
    Q_PROPERTY(tonbrook::AudioExtractionSettings defaultSettings READ defaultSettings WRITE
                   setDefaultSettings NOTIFY defaultSettingsChanged)
    Q_PROPERTY(QUrl customOutputFolder READ customOutputFolder WRITE setCustomOutputFolder NOTIFY
                   customOutputFolderChanged)
    Q_PROPERTY(bool useSourceDirectory READ useSourceDirectory WRITE setUseSourceDirectory NOTIFY
                   useSourceDirectoryChanged)
    Q_PROPERTY(bool playSoundOnFinish READ playSoundOnFinish WRITE setPlaySoundOnFinish NOTIFY
                   playSoundOnFinishChanged)
    Q_PROPERTY(bool sendNotificationOnFinish READ sendNotificationOnFinish WRITE
                   setSendNotificationOnFinish NOTIFY sendNotificationOnFinishChanged)
    Q_PROPERTY(int concurrentLimit READ concurrentLimit WRITE setConcurrentLimit NOTIFY
                   concurrentLimitChanged)
    Q_PROPERTY(int pendingCount READ pendingCount NOTIFY pendingCountChanged)
    Q_PROPERTY(int activeCount READ activeCount NOTIFY activeCountChanged)
    Q_PROPERTY(int completedCount READ completedCount NOTIFY completedCountChanged)
    Q_PROPERTY(double overallProgress READ overallProgress NOTIFY overallProgressChanged)

public:
    // Mirrors the batch loop's sleep between passes.
    static constexpr int batchPassIntervalMs = 300;

    // Notices go to the desktop (DesktopBatchNotifier on the session bus).
    explicit ConversionQueue(QObject *parent = nullptr);
    ConversionQueue(std::unique_ptr<BatchNotifier> notifier, QObject *parent = nullptr);
    ~ConversionQueue() override;

    // mov, mp4, m4v, mkv, avi, webm, ts, flv, wmv, mpg, mpeg, 3gp, ogv
    static const QStringList &acceptedExtensions();

    const QList<ConversionJob *> &jobs() const noexcept { return m_jobs; }
    JobListModel *jobModel() const noexcept { return m_model; }
    ConversionJob *job(const QUuid &id) const;

    bool isProcessing() const noexcept { return m_isProcessing; }
    // Null when nothing is selected.
    const QUuid &selectedJobId() const noexcept { return m_selectedJobId; }
    const AudioExtractionSettings &defaultSettings() const noexcept { return m_defaultSettings; }
    // Empty when none has been chosen.
    const QUrl &customOutputFolder() const noexcept { return m_customOutputFolder; }
    bool useSourceDirectory() const noexcept { return m_useSourceDirectory; }
    bool playSoundOnFinish() const noexcept { return m_playSoundOnFinish; }
    bool sendNotificationOnFinish() const noexcept { return m_sendNotificationOnFinish; }
    int concurrentLimit() const noexcept { return m_concurrentLimit; }

    void setSelectedJobId(const QUuid &id);
    void setDefaultSettings(const AudioExtractionSettings &settings);
    void setCustomOutputFolder(const QUrl &folder);
    void setUseSourceDirectory(bool value);
    void setPlaySoundOnFinish(bool value);
    void setSendNotificationOnFinish(bool value);
    // Not clamped: 0 or less starts nothing.
    void setConcurrentLimit(int limit);
    // Where every job's waveform is made once it has been inspected, behind the one on
    // screen, and dropped with the job; none by default.
    void setWaveformStore(WaveformStore *store);
    WaveformStore *waveformStore() const { return m_waveforms; }
    // Encoder threads all running extractions share; the hardware threads unless set (1
    // encodes every file on one thread). Each extraction gets at least one.
    int encoderThreadCapacity() const noexcept { return m_encoderThreadCapacity; }
    void setEncoderThreadCapacity(int threads);
    // Whether outputs replace files Tonbrook did not write (false by default: such a file
    // counts as taken, and the job's output is numbered past it, when the output is assigned,
    // when the job starts and once more before its file is written).
    bool replacesForeignFiles() const noexcept { return m_replacesForeignFiles; }
    void setReplacesForeignFiles(bool replace);

    // Jobs that are ready or pending.
    int pendingCount() const;
    // Jobs that are converting.
    int activeCount() const;
    // The converting jobs in queue order.
    QList<ConversionJob *> convertingJobs() const;
    int completedCount() const;
    // Mean progress of all jobs; 0 without jobs.
    double overallProgress() const;

    // The acceptable video files among the files and (recursively) folders, in the order
    // addFiles takes them: the arguments in turn, the files found in one folder in the byte
    // order of their paths. A file given twice is listed twice.
    static QList<QUrl> videoFiles(const QList<QUrl> &urls);
    // The first of wanted (cleaned), "name (2).mp3", "name (3).mp3" and up beside it that
    // isTaken does not report taken: the rule by which jobs' outputs are numbered.
    static QString numberedPath(const QString &wanted,
                                const std::function<bool(const QString &)> &isTaken);
    // The same, with the search for a free number starting at `number` (at least 2), for a
    // caller that knows every number below it to be taken; `number` is left at the number of
    // the path returned (unchanged when that is wanted itself), so a caller whose taken paths
    // only grow can hand the same variable in again for the same wanted path.
    static QString numberedPath(const QString &wanted,
                                const std::function<bool(const QString &)> &isTaken, int &number);

    // Every acceptable video file among the files and (recursively) folders becomes a job.
    Q_INVOKABLE void addFiles(const QList<QUrl> &urls);
    Q_INVOKABLE void removeJob(tonbrook::ConversionJob *job);
    Q_INVOKABLE void clearCompleted();
    Q_INVOKABLE void startBatch();
    Q_INVOKABLE void cancelAll();

    // The notification body for a count of completed jobs.
    static QString notificationBody(int completedCount);

signals:
    void jobsChanged();
    void isProcessingChanged();
    void selectedJobIdChanged();
    void defaultSettingsChanged();
    void customOutputFolderChanged();
    void useSourceDirectoryChanged();
    void playSoundOnFinishChanged();
    void sendNotificationOnFinishChanged();
    void concurrentLimitChanged();
    void pendingCountChanged();
    void activeCountChanged();
    void completedCountChanged();
    void overallProgressChanged();

private:
    void assertOwningThread() const;
    // The encoder threads a job about to start may use: the capacity its running neighbours
    // leave, shared with the jobs the same batch pass starts, or one when more files wait
    // than can run, since whole files side by side use the cores better.
    int encoderThreadsForStart(const ConversionJob *starting) const;
    void setProcessing(bool value);
    void refreshDerivedValues();
    // Sets the job's output, numbered "name (2).mp3" and up while another live job targets it
    // or a file Tonbrook did not write is there.
    void assignOutputURL(ConversionJob *job, const QUrl &wanted);
    // Whether a job other than `job` that keeps its output (not failed or cancelled) targets path.
    bool isOutputTaken(const ConversionJob *job, const QString &path) const;
    // What the queue has counted and indexed of one job, kept in step with the job's signals
    // so that no event has to look at every job.
    struct JobRecord {
        enum class Count { none, pending, active, completed };
        // Queue order: jobs are only ever appended.
        quint64 sequence = 0;
        Count counted = Count::none;
        // progress() in fixed point (progressUnit is 1.0), so sums are exact.
        qint64 progress = 0;
        bool unfinished = false;
        // The cleaned output path while the job keeps its output.
        std::optional<QString> claimedPath;
    };
    // For one wanted path that is taken: every number from 2 below `next` is taken or among
    // `released`, the numbers whose claims have been given up since.
    struct Numbering {
        int next = 2;
        std::set<int> released;
    };
    static constexpr qint64 progressUnit = qint64(1) << 30;
    void track(ConversionJob *job);
    void untrack(ConversionJob *job);
    // Takes the job out of the count and the index its record says it is counted in.
    void uncount(ConversionJob *job, const JobRecord &record);
    // Brings the job's record, the counts and the indexes up to date with its state.
    void syncJob(ConversionJob *job);
    void syncClaim(const ConversionJob *job, JobRecord &record);
    void releaseClaim(const QString &path);
    // The first path of the numbering rule for wanted that no job other than `job` claims.
    QString freeOutputPath(const QString &wanted);
    void removeJobsWhere(const std::function<bool(const ConversionJob *)> &shouldRemove);
    void reselectIfGone();
    void runBatchPass();
    void endBatch();
    void notifyBatchComplete();

    QList<ConversionJob *> m_jobs;
    JobListModel *m_model;
    std::unique_ptr<BatchNotifier> m_notifier;
    QTimer *m_batchTimer;

    bool m_isProcessing = false;
    QUuid m_selectedJobId;
    AudioExtractionSettings m_defaultSettings;
    QUrl m_customOutputFolder;
    bool m_useSourceDirectory = true;
    bool m_playSoundOnFinish = true;
    bool m_sendNotificationOnFinish = true;
    int m_concurrentLimit = 2;
    int m_encoderThreadCapacity = 1;
    bool m_replacesForeignFiles = false;
    // Set during a batch pass: starts still to come in it, and whether more files wait.
    int m_startsLeftInPass = 0;
    bool m_filesWaitBeyondPass = false;

    // Per job, and indexes over all jobs: by id, unfinished jobs by source, claims of output
    // paths (a count per cleaned path), the numbering of taken wanted paths, the ready and
    // pending jobs in queue order, and the converting ones.
    QHash<const ConversionJob *, JobRecord> m_records;
    QHash<QUuid, ConversionJob *> m_jobsById;
    QHash<QUrl, int> m_unfinishedSources;
    QHash<QString, int> m_claims;
    QHash<QString, Numbering> m_numbering;
    std::map<quint64, ConversionJob *> m_waiting;
    QList<ConversionJob *> m_converting;
    quint64 m_nextSequence = 0;
    int m_livePending = 0;
    int m_liveActive = 0;
    int m_liveCompleted = 0;
    qint64 m_progressSum = 0;

    // Last values announced, so the derived properties signal only real changes.
    int m_pendingCount = 0;
    int m_activeCount = 0;
    int m_completedCount = 0;
    double m_overallProgress = 0.0;

    QPointer<WaveformStore> m_waveforms;
};

} // namespace tonbrook
