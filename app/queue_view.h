#pragma once

#include "queue/conversion_job.h"
#include "queue/conversion_queue.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <deque>
#include <memory>

namespace tonbrook {

// The window's ConversionQueue as the main window and the preferences read and edit it: the
// counts as display texts, the default settings as picker positions, and the one way files
// enter the queue from the user interface.
//
// Files enter in slices, so that a folder of thousands neither freezes the window nor waits
// for its last file before showing its first: folders are walked on a thread of their own, and
// what was found goes to the queue in addFiles calls of a few milliseconds each, one per pass of
// the event loop. Submissions keep their order: files submitted after a folder follow its files.
class QueueView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tonbrook::ConversionQueue *queue READ queue WRITE setQueue NOTIFY queueChanged)

    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY jobsChanged)
    // Submitted files are still on their way into the queue: a folder being walked, or files
    // found and not yet added.
    Q_PROPERTY(bool isAdding READ isAdding NOTIFY addingChanged)
    // "3 files in queue", "1 file in queue".
    Q_PROPERTY(QString fileCountText READ fileCountText NOTIFY jobsChanged)
    // The job whose id is the queue's selection; null when there is none.
    Q_PROPERTY(tonbrook::ConversionJob *selectedJob READ selectedJob NOTIFY selectionChanged)

    // "Extract All (3)", or "Extract All" with nothing to start.
    Q_PROPERTY(QString extractTitle READ extractTitle NOTIFY countsChanged)
    Q_PROPERTY(QString completedText READ completedText NOTIFY countsChanged)
    Q_PROPERTY(QString extractingText READ extractingText NOTIFY countsChanged)

    // "Save to: Source Folder", "Save to: Exports", "Save to: Custom Folder".
    Q_PROPERTY(QString saveToText READ saveToText NOTIFY outputChanged)
    // The custom folder's path, or "No folder chosen".
    Q_PROPERTY(QString outputFolderText READ outputFolderText NOTIFY outputChanged)

    Q_PROPERTY(int defaultBitrateIndex READ defaultBitrateIndex WRITE setDefaultBitrateIndex NOTIFY
                   defaultsChanged)
    Q_PROPERTY(int defaultSampleRateIndex READ defaultSampleRateIndex WRITE
                   setDefaultSampleRateIndex NOTIFY defaultsChanged)
    Q_PROPERTY(bool defaultNormalizePeak READ defaultNormalizePeak WRITE setDefaultNormalizePeak
                   NOTIFY defaultsChanged)
    Q_PROPERTY(int defaultLoudnessIndex READ defaultLoudnessIndex WRITE setDefaultLoudnessIndex
                   NOTIFY defaultsChanged)
    Q_PROPERTY(bool defaultEmbedCoverArt READ defaultEmbedCoverArt WRITE setDefaultEmbedCoverArt
                   NOTIFY defaultsChanged)

    Q_PROPERTY(QStringList concurrencyNames READ concurrencyNames CONSTANT)
    // Position of the queue's limit among 1, 2, 4 and 8; -1 for any other limit.
    Q_PROPERTY(int concurrencyIndex READ concurrencyIndex WRITE setConcurrencyIndex NOTIFY
                   concurrencyChanged)

    // The file picker's filter: the video extensions, in both cases.
    Q_PROPERTY(QStringList videoNameFilters READ videoNameFilters CONSTANT)

public:
    explicit QueueView(QObject *parent = nullptr);
    // Does not wait for a folder walk under way; its findings are dropped.
    ~QueueView() override;

    ConversionQueue *queue() const { return m_queue; }
    void setQueue(ConversionQueue *queue);

    bool isEmpty() const;
    bool isAdding() const { return !m_pending.empty(); }
    QString fileCountText() const;
    ConversionJob *selectedJob() const;
    QString extractTitle() const;
    QString completedText() const;
    QString extractingText() const;
    QString saveToText() const;
    QString outputFolderText() const;

    int defaultBitrateIndex() const;
    int defaultSampleRateIndex() const;
    bool defaultNormalizePeak() const;
    int defaultLoudnessIndex() const;
    bool defaultEmbedCoverArt() const;
    void setDefaultBitrateIndex(int index);
    void setDefaultSampleRateIndex(int index);
    void setDefaultNormalizePeak(bool value);
    void setDefaultLoudnessIndex(int index);
    void setDefaultEmbedCoverArt(bool value);

    static QStringList concurrencyNames();
    static const QList<int> &concurrencyLimits();
    int concurrencyIndex() const;
    void setConcurrencyIndex(int index);

    static QStringList videoNameFilters();

    // Announces selectionAboutToChange first, so that open editors commit into the old job.
    Q_INVOKABLE void select(tonbrook::ConversionJob *job);
    // Keyboard navigation: the job step rows below (or above, for a negative step) the
    // selection, kept within the list; with nothing selected, the first or the last job.
    // Returns the row now selected, -1 for an empty queue.
    Q_INVOKABLE int selectAdjacent(int step);
    // Delete on a row: removes the selected job as its remove button does. Returns the row
    // the queue selected next, -1 when none is left.
    Q_INVOKABLE int removeSelected();
    // Return on a row: starts a job that can start (ready, pending, cancelled or failed) and
    // returns true; false for any other state, where the caller decides (a finished job plays).
    Q_INVOKABLE bool startSelected();
    // Hands the files and folders to the queue, after any submitted before that are still on
    // their way. Files go in at once as long as they fit in one slice and nothing waits ahead
    // of them; folders once walked.
    Q_INVOKABLE void submitFiles(const QList<QUrl> &urls);
    // A drop: the local file URLs among the dropped ones, possibly none, are submitted.
    Q_INVOKABLE void submitDrop(const QList<QUrl> &urls);
    // Whether a drag carries a local file; only such drags make a drop target light up.
    Q_INVOKABLE static bool carriesFiles(const QList<QUrl> &urls);
    // The list moved: waveforms nobody is looking at wait until it has been still for a
    // moment, so that drawing the rows scrolled in has the cores to itself.
    Q_INVOKABLE void holdBackgroundWork();

signals:
    void queueChanged();
    void jobsChanged();
    void selectionChanged();
    void selectionAboutToChange();
    void countsChanged();
    void outputChanged();
    void defaultsChanged();
    void concurrencyChanged();
    // Once per submission, with what was submitted.
    void filesSubmitted(const QList<QUrl> &urls);
    void addingChanged();

private:
    // Submitted files on their way in: files to add, or a folder whose walk has not yet
    // reported (walkId non-zero).
    struct Pending {
        QList<QUrl> files;
        qsizetype next = 0;
        quint64 walkId = 0;
    };
    struct WalkMailbox;

    template <typename Edit> void editDefaults(Edit edit);
    void takeWalk(quint64 walkId, const QList<QUrl> &files);
    // Adds found files for one slice of time, then yields to the event loop.
    void feed();

    QPointer<ConversionQueue> m_queue;
    std::deque<Pending> m_pending;
    std::shared_ptr<WalkMailbox> m_mailbox;
    quint64 m_lastWalkId = 0;
    QTimer m_feedTimer;
    // Files per addFiles call, tuned to what the last call cost.
    qsizetype m_chunkSize;
};

} // namespace tonbrook
