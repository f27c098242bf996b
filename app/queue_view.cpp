#include "queue_view.h"

#include "extraction_options.h"
#include "queue/waveform_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <utility>

namespace tonbrook {

namespace {

// Files go to the queue in addFiles calls of about this long, one per pass of the event loop.
constexpr qint64 sliceNs = 8'000'000;
constexpr qsizetype firstChunkSize = 64;
constexpr qsizetype smallestChunkSize = 8;
constexpr qsizetype largestChunkSize = 512;

// Never destroyed: a walk can block in the kernel for good (a dead network mount), and a
// pool's destructor would wait for it. When the application goes, queued walks are dropped
// and a running one gets half a second; one still blocked is left to the process's exit.
QThreadPool *walkPool()
{
    static QThreadPool *const pool = [] {
        auto *created = new QThreadPool;
        // One at a time, in the order submitted.
        created->setMaxThreadCount(1);
        qAddPostRoutine([] {
            walkPool()->clear();
            walkPool()->waitForDone(500);
        });
        return created;
    }();
    return pool;
}

} // namespace

// Where a walk delivers what it found: to the QueueView while it exists, else nowhere.
struct QueueView::WalkMailbox {
    QMutex mutex;
    QueueView *receiver;
};

QueueView::QueueView(QObject *parent)
    : QObject(parent), m_mailbox(std::make_shared<WalkMailbox>()), m_chunkSize(firstChunkSize)
{
    m_mailbox->receiver = this;
    m_feedTimer.setSingleShot(true);
    m_feedTimer.setInterval(0);
    connect(&m_feedTimer, &QTimer::timeout, this, &QueueView::feed);
}

QueueView::~QueueView()
{
    // A walk that reports after this finds no receiver; one already posted is dropped with
    // this object's events.
    QMutexLocker lock(&m_mailbox->mutex);
    m_mailbox->receiver = nullptr;
}

void QueueView::setQueue(ConversionQueue *queue)
{
    if (m_queue == queue)
        return;
    if (m_queue)
        disconnect(m_queue, nullptr, this, nullptr);
    m_queue = queue;
    if (queue) {
        connect(queue, &ConversionQueue::jobsChanged, this, &QueueView::jobsChanged);
        // Removing the selected job changes the job list and the id in either order.
        connect(queue, &ConversionQueue::jobsChanged, this, &QueueView::selectionChanged);
        connect(queue, &ConversionQueue::selectedJobIdChanged, this, &QueueView::selectionChanged);
        for (auto signal :
             {&ConversionQueue::pendingCountChanged, &ConversionQueue::activeCountChanged,
              &ConversionQueue::completedCountChanged})
            connect(queue, signal, this, &QueueView::countsChanged);
        connect(queue, &ConversionQueue::useSourceDirectoryChanged, this,
                &QueueView::outputChanged);
        connect(queue, &ConversionQueue::customOutputFolderChanged, this,
                &QueueView::outputChanged);
        connect(queue, &ConversionQueue::defaultSettingsChanged, this, &QueueView::defaultsChanged);
        connect(queue, &ConversionQueue::concurrentLimitChanged, this,
                &QueueView::concurrencyChanged);
    }
    emit queueChanged();
    emit jobsChanged();
    emit selectionChanged();
    emit countsChanged();
    emit outputChanged();
    emit defaultsChanged();
    emit concurrencyChanged();
}

bool QueueView::isEmpty() const
{
    return !m_queue || m_queue->jobs().isEmpty();
}

QString QueueView::fileCountText() const
{
    const qsizetype count = m_queue ? m_queue->jobs().size() : 0;
    // The singular on its own keeps the English exact without an English translation.
    return count == 1
               ? QCoreApplication::translate("QueueView", "%n file in queue", nullptr, 1)
               : QCoreApplication::translate("QueueView", "%n files in queue", nullptr, int(count));
}

ConversionJob *QueueView::selectedJob() const
{
    return m_queue ? m_queue->job(m_queue->selectedJobId()) : nullptr;
}

QString QueueView::extractTitle() const
{
    const int pending = m_queue ? m_queue->pendingCount() : 0;
    return pending >= 1 ? QCoreApplication::translate("QueueView", "Extract All (%1)").arg(pending)
                        : QCoreApplication::translate("QueueView", "Extract All");
}

QString QueueView::completedText() const
{
    return QCoreApplication::translate("QueueView", "%1 Completed")
        .arg(m_queue ? m_queue->completedCount() : 0);
}

QString QueueView::extractingText() const
{
    return QCoreApplication::translate("QueueView", "%1 Extracting...")
        .arg(m_queue ? m_queue->activeCount() : 0);
}

QString QueueView::saveToText() const
{
    QString place = QCoreApplication::translate("QueueView", "Source Folder");
    if (m_queue && !m_queue->useSourceDirectory()) {
        const QUrl &folder = m_queue->customOutputFolder();
        place = folder.isEmpty()
                    ? QCoreApplication::translate("QueueView", "Custom Folder")
                    : QFileInfo(folder.adjusted(QUrl::StripTrailingSlash).path()).fileName();
    }
    return QCoreApplication::translate("QueueView", "Save to: %1").arg(place);
}

QString QueueView::outputFolderText() const
{
    if (!m_queue || m_queue->customOutputFolder().isEmpty())
        return QCoreApplication::translate("QueueView", "No folder chosen");
    const QUrl &folder = m_queue->customOutputFolder();
    return folder.isLocalFile() ? folder.toLocalFile() : folder.toString();
}

template <typename Edit> void QueueView::editDefaults(Edit edit)
{
    if (!m_queue)
        return;
    AudioExtractionSettings settings = m_queue->defaultSettings();
    edit(settings);
    m_queue->setDefaultSettings(settings);
}

int QueueView::defaultBitrateIndex() const
{
    return m_queue ? ExtractionOptions::indexOf(m_queue->defaultSettings().bitrate) : 0;
}

int QueueView::defaultSampleRateIndex() const
{
    return m_queue ? ExtractionOptions::indexOf(m_queue->defaultSettings().sampleRate) : 0;
}

bool QueueView::defaultNormalizePeak() const
{
    return m_queue && m_queue->defaultSettings().normalizePeak;
}

int QueueView::defaultLoudnessIndex() const
{
    return ExtractionOptions::loudnessIndexOf(m_queue ? m_queue->defaultSettings().loudnessTarget
                                                      : std::nullopt);
}

bool QueueView::defaultEmbedCoverArt() const
{
    return m_queue && m_queue->defaultSettings().embedCoverArt;
}

void QueueView::setDefaultBitrateIndex(int index)
{
    editDefaults(
        [&](AudioExtractionSettings &s) { s.bitrate = ExtractionOptions::bitrateAt(index); });
}

void QueueView::setDefaultSampleRateIndex(int index)
{
    editDefaults(
        [&](AudioExtractionSettings &s) { s.sampleRate = ExtractionOptions::sampleRateAt(index); });
}

void QueueView::setDefaultNormalizePeak(bool value)
{
    editDefaults([&](AudioExtractionSettings &s) { s.normalizePeak = value; });
}

void QueueView::setDefaultLoudnessIndex(int index)
{
    editDefaults([&](AudioExtractionSettings &s) {
        s.loudnessTarget = ExtractionOptions::loudnessAt(index);
    });
}

void QueueView::setDefaultEmbedCoverArt(bool value)
{
    editDefaults([&](AudioExtractionSettings &s) { s.embedCoverArt = value; });
}

QStringList QueueView::concurrencyNames()
{
    return {QCoreApplication::translate("QueueView", "1 (Sequential)"),
            QCoreApplication::translate("QueueView", "2 (Balanced)"),
            QCoreApplication::translate("QueueView", "4 (High Speed)"),
            QCoreApplication::translate("QueueView", "8 (Maximum)")};
}

const QList<int> &QueueView::concurrencyLimits()
{
    static const QList<int> limits{1, 2, 4, 8};
    return limits;
}

int QueueView::concurrencyIndex() const
{
    return m_queue ? int(concurrencyLimits().indexOf(m_queue->concurrentLimit())) : -1;
}

void QueueView::setConcurrencyIndex(int index)
{
    if (m_queue && index >= 0 && index < concurrencyLimits().size())
        m_queue->setConcurrentLimit(concurrencyLimits().at(index));
}

QStringList QueueView::videoNameFilters()
{
    QStringList patterns;
    for (const QString &extension : ConversionQueue::acceptedExtensions())
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    return {QCoreApplication::translate("QueueView", "Video Files (%1)")
                .arg(patterns.join(QLatin1Char(' ')))};
}

void QueueView::select(ConversionJob *job)
{
    if (!m_queue || !job || job->id() == m_queue->selectedJobId())
        return;
    emit selectionAboutToChange();
    m_queue->setSelectedJobId(job->id());
}

int QueueView::selectAdjacent(int step)
{
    if (!m_queue || m_queue->jobs().isEmpty())
        return -1;
    const QList<ConversionJob *> &jobs = m_queue->jobs();
    const ConversionJob *current = selectedJob();
    const qsizetype from = current ? jobs.indexOf(current) : (step > 0 ? -1 : jobs.size());
    const qsizetype row = std::clamp<qsizetype>(from + step, 0, jobs.size() - 1);
    select(jobs.at(row));
    return int(row);
}

int QueueView::removeSelected()
{
    ConversionJob *job = selectedJob();
    if (!job)
        return -1;
    emit selectionAboutToChange();
    // The queue moves the selection on, as for the row's remove button.
    m_queue->removeJob(job);
    return int(m_queue->jobs().indexOf(selectedJob()));
}

bool QueueView::startSelected()
{
    ConversionJob *job = selectedJob();
    if (!job)
        return false;
    using Case = JobStatus::Case;
    const JobStatus &status = job->status();
    if (!status.is(Case::ready) && !status.is(Case::pending) && !status.is(Case::cancelled) &&
        !status.is(Case::failed))
        return false;
    job->startExtraction();
    return true;
}

void QueueView::submitFiles(const QList<QUrl> &urls)
{
    if (!m_queue)
        return;
    emit filesSubmitted(urls);
    const bool wasAdding = isAdding();
    Pending files;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        if (!QFileInfo(url.toLocalFile()).isDir()) {
            files.files << url;
            continue;
        }
        if (!files.files.isEmpty())
            m_pending.push_back(std::exchange(files, Pending()));
        const quint64 walkId = ++m_lastWalkId;
        m_pending.push_back(Pending{{}, 0, walkId});
        walkPool()->start([mailbox = m_mailbox, url, walkId] {
            {
                QMutexLocker lock(&mailbox->mutex);
                if (!mailbox->receiver)
                    return;
            }
            const QList<QUrl> found = ConversionQueue::videoFiles({url});
            QMutexLocker lock(&mailbox->mutex);
            if (QueueView *receiver = mailbox->receiver) {
                QMetaObject::invokeMethod(
                    receiver, [receiver, walkId, found] { receiver->takeWalk(walkId, found); },
                    Qt::QueuedConnection);
            }
        });
    }
    if (!files.files.isEmpty())
        m_pending.push_back(std::move(files));
    if (isAdding() != wasAdding)
        emit addingChanged();
    // Files that fit in one slice, with nothing ahead of them, are in the queue on return.
    if (!wasAdding)
        feed();
}

void QueueView::takeWalk(quint64 walkId, const QList<QUrl> &files)
{
    const auto walk = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending &pending) {
        return pending.walkId == walkId;
    });
    if (walk == m_pending.end())
        return;
    walk->files = files;
    walk->walkId = 0;
    if (walk == m_pending.begin())
        feed();
}

void QueueView::feed()
{
    const bool wasAdding = isAdding();
    QElapsedTimer slice;
    slice.start();
    while (!m_pending.empty()) {
        Pending &head = m_pending.front();
        if (!m_queue) {
            m_pending.clear();
            break;
        }
        if (head.walkId != 0)
            break; // takeWalk feeds on
        if (head.next >= head.files.size()) {
            m_pending.pop_front();
            continue;
        }
        if (slice.nsecsElapsed() >= sliceNs) {
            m_feedTimer.start();
            break;
        }
        const qsizetype count = std::min(m_chunkSize, head.files.size() - head.next);
        const QList<QUrl> chunk = head.files.mid(head.next, count);
        head.next += count;
        QElapsedTimer call;
        call.start();
        m_queue->addFiles(chunk);
        // The next call sized to take half a slice, as this one's cost per file predicts, and
        // at most twice this one: the cost per file grows with the call's size and with what
        // the inspections running beside it take from the processor.
        const qint64 perFileNs = std::max<qint64>(1, call.nsecsElapsed() / count);
        m_chunkSize = std::clamp<qsizetype>(std::min<qint64>(sliceNs / 2 / perFileNs, 2 * count),
                                            smallestChunkSize, largestChunkSize);
    }
    if (isAdding() != wasAdding)
        emit addingChanged();
}

bool QueueView::carriesFiles(const QList<QUrl> &urls)
{
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

void QueueView::holdBackgroundWork()
{
    // Long enough to span the gaps between a flick's frames and a wheel's steps.
    constexpr std::chrono::milliseconds stillFor(300);
    if (m_queue)
        if (WaveformStore *store = m_queue->waveformStore())
            store->holdBackground(stillFor);
}

void QueueView::submitDrop(const QList<QUrl> &urls)
{
    QList<QUrl> files;
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            files << url;
    }
    submitFiles(files);
}

} // namespace tonbrook
