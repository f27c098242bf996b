#include "queue/conversion_queue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace tonbrook {

namespace {

bool isAccepted(const QFileInfo &item)
{
    return ConversionQueue::acceptedExtensions().contains(item.suffix().toLower());
}

// Cleaned, so a folder given with a trailing slash yields the same URLs as its files.
QUrl fileURL(const QString &path)
{
    return QUrl::fromLocalFile(QDir::cleanPath(path));
}

// Every accepted file below folder, neither listing nor entering hidden items, in the byte
// order of their paths: the walk's own order is the file system's, which another machine
// reading the same shared folder need not repeat. The walk reads names as the bytes they are:
// a name that is not valid UTF-8 still becomes a job, which then fails where the user sees it,
// instead of vanishing from the walk without a word.
void collectFolder(const QString &folder, QList<QUrl> &candidates)
{
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code error;
    fs::recursive_directory_iterator walk(fs::path(QFile::encodeName(folder).toStdString()),
                                          fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        if (walk->path().filename().native().starts_with('.')) {
            walk.disable_recursion_pending();
            continue;
        }
        std::error_code typeError;
        if (!walk->is_regular_file(typeError))
            continue;
        found.push_back(walk->path().native());
    }
    std::sort(found.begin(), found.end());
    for (const std::string &native : found) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(native));
        if (isAccepted(QFileInfo(path)))
            candidates.append(fileURL(path));
    }
}

bool isUnfinished(const ConversionJob *job)
{
    return !job->status().isTerminal();
}

// Completed jobs keep their file, so they still claim its path.
bool claimsOutput(const ConversionJob *job)
{
    return !job->status().is(JobStatus::Case::failed) &&
           !job->status().is(JobStatus::Case::cancelled);
}

} // namespace

// --- JobListModel ---

JobListModel::JobListModel(ConversionQueue *queue) : QAbstractListModel(queue), m_queue(queue) {}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_queue->jobs().size());
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    ConversionJob *job = m_queue->jobs().at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(job->sourceURL().toLocalFile()).fileName();
    case JobRole:
        return QVariant::fromValue(job);
    case JobIdRole:
        return job->id();
    default:
        return {};
    }
}

QHash<int, QByteArray> JobListModel::roleNames() const
{
    return {{Qt::DisplayRole, "display"}, {JobRole, "job"}, {JobIdRole, "jobId"}};
}

// --- ConversionQueue ---

ConversionQueue::ConversionQueue(QObject *parent)
    : ConversionQueue(std::make_unique<DesktopBatchNotifier>(), parent)
{
}

ConversionQueue::ConversionQueue(std::unique_ptr<BatchNotifier> notifier, QObject *parent)
    : QObject(parent), m_model(new JobListModel(this)), m_notifier(std::move(notifier)),
      m_batchTimer(new QTimer(this)),
      m_encoderThreadCapacity(std::max(1, QThread::idealThreadCount()))
{
    m_batchTimer->setSingleShot(true);
    connect(m_batchTimer, &QTimer::timeout, this, &ConversionQueue::runBatchPass);
    if (m_notifier)
        m_notifier->requestPermission();
}

ConversionQueue::~ConversionQueue()
{
    m_batchTimer->stop();
    // Jobs go first, while the queue they report to is still whole.
    const auto jobs = findChildren<ConversionJob *>(Qt::FindDirectChildrenOnly);
    for (ConversionJob *job : jobs) {
        disconnect(job, nullptr, this, nullptr);
        delete job;
    }
}

const QStringList &ConversionQueue::acceptedExtensions()
{
    static const QStringList extensions{
        QStringLiteral("mov"), QStringLiteral("mp4"),  QStringLiteral("m4v"),
        QStringLiteral("mkv"), QStringLiteral("avi"),  QStringLiteral("webm"),
        QStringLiteral("ts"),  QStringLiteral("flv"),  QStringLiteral("wmv"),
        QStringLiteral("mpg"), QStringLiteral("mpeg"), QStringLiteral("3gp"),
        QStringLiteral("ogv")};
    return extensions;
}

ConversionJob *ConversionQueue::job(const QUuid &id) const
{
    const auto found = std::find_if(m_jobs.begin(), m_jobs.end(),
                                    [&](const ConversionJob *job) { return job->id() == id; });
    return found == m_jobs.end() ? nullptr : *found;
}

void ConversionQueue::assertOwningThread() const
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "ConversionQueue",
               "queue state is written on its own (main) thread only");
}

void ConversionQueue::setProcessing(bool value)
{
    assertOwningThread();
    if (m_isProcessing == value)
        return;
    m_isProcessing = value;
    emit isProcessingChanged();
}

void ConversionQueue::setSelectedJobId(const QUuid &id)
{
    assertOwningThread();
    if (m_selectedJobId == id)
        return;
    m_selectedJobId = id;
    emit selectedJobIdChanged();
}

void ConversionQueue::setDefaultSettings(const AudioExtractionSettings &settings)
{
    assertOwningThread();
    if (m_defaultSettings == settings)
        return;
    m_defaultSettings = settings;
    emit defaultSettingsChanged();
}

void ConversionQueue::setCustomOutputFolder(const QUrl &folder)
{
    assertOwningThread();
    if (m_customOutputFolder == folder)
        return;
    m_customOutputFolder = folder;
    emit customOutputFolderChanged();
}

void ConversionQueue::setUseSourceDirectory(bool value)
{
    assertOwningThread();
    if (m_useSourceDirectory == value)
        return;
    m_useSourceDirectory = value;
    emit useSourceDirectoryChanged();
}

void ConversionQueue::setPlaySoundOnFinish(bool value)
{
    assertOwningThread();
    if (m_playSoundOnFinish == value)
        return;
    m_playSoundOnFinish = value;
    emit playSoundOnFinishChanged();
}

void ConversionQueue::setSendNotificationOnFinish(bool value)
{
    assertOwningThread();
    if (m_sendNotificationOnFinish == value)
        return;
    m_sendNotificationOnFinish = value;
    emit sendNotificationOnFinishChanged();
}

void ConversionQueue::setConcurrentLimit(int limit)
{
    assertOwningThread();
    if (m_concurrentLimit == limit)
        return;
    m_concurrentLimit = limit;
    emit concurrentLimitChanged();
}

void ConversionQueue::setEncoderThreadCapacity(int threads)
{
    m_encoderThreadCapacity = std::max(1, threads);
}

int ConversionQueue::encoderThreadsForStart(const ConversionJob *starting) const
{
    if (m_filesWaitBeyondPass)
        return 1;
    int used = 0;
    for (const ConversionJob *job : m_jobs) {
        if (job != starting && job->status().is(JobStatus::Case::converting))
            used += job->encoderThreads();
    }
    return std::max(1, (m_encoderThreadCapacity - used) / std::max(1, m_startsLeftInPass));
}

int ConversionQueue::pendingCount() const
{
    return int(std::count_if(m_jobs.begin(), m_jobs.end(), [](const ConversionJob *job) {
        return job->status().is(JobStatus::Case::ready) ||
               job->status().is(JobStatus::Case::pending);
    }));
}

int ConversionQueue::activeCount() const
{
    return int(std::count_if(m_jobs.begin(), m_jobs.end(), [](const ConversionJob *job) {
        return job->status().is(JobStatus::Case::converting);
    }));
}

int ConversionQueue::completedCount() const
{
    return int(std::count_if(m_jobs.begin(), m_jobs.end(), [](const ConversionJob *job) {
        return job->status().is(JobStatus::Case::completed);
    }));
}

double ConversionQueue::overallProgress() const
{
    if (m_jobs.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (const ConversionJob *job : m_jobs)
        sum += job->progress();
    return sum / double(m_jobs.size());
}

void ConversionQueue::refreshDerivedValues()
{
    assertOwningThread();
    const auto update = [this](auto &stored, auto value, void (ConversionQueue::*changed)()) {
        if (stored == value)
            return;
        stored = value;
        emit(this->*changed)();
    };
    update(m_pendingCount, pendingCount(), &ConversionQueue::pendingCountChanged);
    update(m_activeCount, activeCount(), &ConversionQueue::activeCountChanged);
    update(m_completedCount, completedCount(), &ConversionQueue::completedCountChanged);
    update(m_overallProgress, overallProgress(), &ConversionQueue::overallProgressChanged);
}

bool ConversionQueue::isOutputTaken(const ConversionJob *job, const QString &path) const
{
    return std::any_of(m_jobs.begin(), m_jobs.end(), [&](const ConversionJob *other) {
        return other != job && claimsOutput(other) &&
               QDir::cleanPath(other->outputURL().toLocalFile()) == path;
    });
}

QString ConversionQueue::numberedPath(const QString &wanted,
                                      const std::function<bool(const QString &)> &isTaken)
{
    const QString wantedPath = QDir::cleanPath(wanted);
    QString path = wantedPath;
    if (isTaken(path)) {
        const QFileInfo file(wantedPath);
        const QString name = file.fileName();
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString stem = dot > 0 ? name.left(dot) : name;
        const QString extension = dot > 0 ? name.mid(dot) : QString();
        for (int number = 2; isTaken(path); ++number)
            path = file.dir().filePath(
                QStringLiteral("%1 (%2)%3").arg(stem).arg(number).arg(extension));
    }
    return path;
}

void ConversionQueue::assignOutputURL(ConversionJob *job, const QUrl &wanted)
{
    const QString path = numberedPath(wanted.toLocalFile(), [&](const QString &candidate) {
        return isOutputTaken(job, candidate);
    });
    job->setOutputURL(QUrl::fromLocalFile(path));
}

QList<QUrl> ConversionQueue::videoFiles(const QList<QUrl> &urls)
{
    QList<QUrl> candidates;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo item(url.toLocalFile());
        if (!item.exists())
            continue;
        if (item.isDir()) {
            collectFolder(item.absoluteFilePath(), candidates);
        } else if (isAccepted(item)) {
            candidates.append(fileURL(item.absoluteFilePath()));
        }
    }
    return candidates;
}

void ConversionQueue::addFiles(const QList<QUrl> &urls)
{
    assertOwningThread();
    const QList<QUrl> candidates = videoFiles(urls);

    bool added = false;
    for (const QUrl &candidate : std::as_const(candidates)) {
        const bool duplicate =
            std::any_of(m_jobs.begin(), m_jobs.end(), [&](const ConversionJob *job) {
                return job->sourceURL() == candidate && isUnfinished(job);
            });
        if (duplicate)
            continue;
        std::optional<QUrl> folder;
        if (!m_useSourceDirectory && !m_customOutputFolder.isEmpty())
            folder = m_customOutputFolder;
        auto *job = new ConversionJob(candidate, folder, m_defaultSettings, this);
        assignOutputURL(job, job->outputURL());
        // A retried job gave up its output name while it was failed or cancelled; another job
        // may have taken it since.
        connect(job, &ConversionJob::extractionAboutToStart, this, [this, job] {
            job->setEncoderThreads(encoderThreadsForStart(job));
            if (m_startsLeftInPass > 0)
                --m_startsLeftInPass;
            if (isOutputTaken(job, QDir::cleanPath(job->outputURL().toLocalFile()))) {
                const QFileInfo current(job->outputURL().toLocalFile());
                assignOutputURL(job, QUrl::fromLocalFile(current.dir().filePath(
                                         ConversionJob::baseName(job->sourceURL()) + ".mp3")));
            }
        });
        connect(job, &ConversionJob::statusChanged, this, &ConversionQueue::refreshDerivedValues);
        connect(job, &ConversionJob::progressChanged, this, &ConversionQueue::refreshDerivedValues);
        // A freed slot is filled now rather than at the next poll, which would idle a core.
        connect(job, &ConversionJob::extractionEnded, this, [this] {
            if (m_isProcessing && m_batchTimer->isActive())
                m_batchTimer->start(0);
        });

        const int row = int(m_jobs.size());
        m_model->beginInsertRows(QModelIndex(), row, row);
        m_jobs.append(job);
        m_model->endInsertRows();
        added = true;
        job->inspect();
    }
    if (added) {
        emit jobsChanged();
        refreshDerivedValues();
    }

    if (m_selectedJobId.isNull() && !m_jobs.isEmpty())
        setSelectedJobId(m_jobs.first()->id());
}

void ConversionQueue::removeJobsWhere(
    const std::function<bool(const ConversionJob *)> &shouldRemove)
{
    bool removed = false;
    for (qsizetype row = m_jobs.size() - 1; row >= 0; --row) {
        ConversionJob *job = m_jobs.at(row);
        if (!shouldRemove(job))
            continue;
        m_model->beginRemoveRows(QModelIndex(), int(row), int(row));
        m_jobs.removeAt(row);
        m_model->endRemoveRows();
        removed = true;

        disconnect(job, nullptr, this, nullptr);
        // A removed job lives on until its extraction has ended, as its task would keep it.
        if (job->isExtractionRunning()) {
            connect(job, &ConversionJob::extractionEnded, job, [job] {
                if (!job->isExtractionRunning())
                    job->deleteLater();
            });
        } else {
            job->deleteLater();
        }
    }
    if (removed) {
        emit jobsChanged();
        refreshDerivedValues();
    }
}

void ConversionQueue::reselectIfGone()
{
    if (!m_selectedJobId.isNull() && !job(m_selectedJobId))
        setSelectedJobId(m_jobs.isEmpty() ? QUuid() : m_jobs.first()->id());
}

void ConversionQueue::removeJob(ConversionJob *job)
{
    assertOwningThread();
    if (!job)
        return;
    job->cancel();
    const QUuid id = job->id();
    removeJobsWhere([&](const ConversionJob *candidate) { return candidate->id() == id; });
    if (m_selectedJobId == id)
        setSelectedJobId(m_jobs.isEmpty() ? QUuid() : m_jobs.first()->id());
}

void ConversionQueue::clearCompleted()
{
    assertOwningThread();
    removeJobsWhere(
        [](const ConversionJob *job) { return job->status().is(JobStatus::Case::completed); });
    reselectIfGone();
}

void ConversionQueue::startBatch()
{
    assertOwningThread();
    if (m_isProcessing)
        return;
    setProcessing(true);
    m_batchTimer->start(0);
}

void ConversionQueue::runBatchPass()
{
    if (!m_isProcessing) {
        endBatch();
        return;
    }
    QList<ConversionJob *> pending;
    int active = 0;
    for (ConversionJob *job : std::as_const(m_jobs)) {
        if (job->status().is(JobStatus::Case::ready) || job->status().is(JobStatus::Case::pending))
            pending.append(job);
        else if (job->status().is(JobStatus::Case::converting))
            ++active;
    }
    if (pending.isEmpty() && active == 0) {
        endBatch();
        return;
    }

    const qsizetype freeSlots = qsizetype(m_concurrentLimit) - active;
    const qsizetype toStart = freeSlots <= 0 ? 0 : std::min(freeSlots, pending.size());
    m_startsLeftInPass = int(toStart);
    m_filesWaitBeyondPass = pending.size() > toStart;
    const auto endPass = qScopeGuard([this] {
        m_startsLeftInPass = 0;
        m_filesWaitBeyondPass = false;
    });
    for (qsizetype i = 0; i < toStart; ++i) {
        ConversionJob *job = pending.at(i);
        // A folder chosen after the job was added is honoured.
        if (!m_useSourceDirectory && !m_customOutputFolder.isEmpty())
            assignOutputURL(job,
                            ConversionJob::outputURLFor(job->sourceURL(), m_customOutputFolder));
        job->startExtraction();
    }
    m_batchTimer->start(batchPassIntervalMs);
}

void ConversionQueue::endBatch()
{
    m_batchTimer->stop();
    setProcessing(false);
    notifyBatchComplete();
}

void ConversionQueue::cancelAll()
{
    assertOwningThread();
    setProcessing(false);
    // Wakes the batch loop early; it sees the flag and ends, giving the notices once.
    if (m_batchTimer->isActive())
        m_batchTimer->start(0);
    for (ConversionJob *job : std::as_const(m_jobs)) {
        if (isUnfinished(job))
            job->cancel();
    }
}

QString ConversionQueue::notificationBody(int completedCount)
{
    return QStringLiteral("Successfully extracted %1 audio file%2 to MP3.")
        .arg(completedCount)
        .arg(completedCount == 1 ? QString() : QStringLiteral("s"));
}

void ConversionQueue::notifyBatchComplete()
{
    if (!m_notifier)
        return;
    if (m_playSoundOnFinish)
        m_notifier->playCompletionSound();
    if (!m_sendNotificationOnFinish)
        return;
    if (completedCount() <= 0)
        return;
    m_notifier->postNotification(QStringLiteral("Audio Extraction Complete"),
                                 notificationBody(completedCount()));
}

} // namespace tonbrook
