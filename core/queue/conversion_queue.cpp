#include "queue/conversion_queue.h"

#include "model/output_mark.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
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

// The numbered names of one wanted path: "name (N).ext" is before + N + after.
struct NumberingTemplate {
    QString before;
    QString after;

    QString path(int number) const { return before + QString::number(number) + after; }
};

void splitName(const QFileInfo &file, QString &stem, QString &extension)
{
    const QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    stem = dot > 0 ? name.left(dot) : name;
    extension = dot > 0 ? name.mid(dot) : QString();
}

// None for a name with '%' in it, which the numbering takes through QString::arg as it
// always has.
std::optional<NumberingTemplate> numberingTemplate(const QString &wantedPath)
{
    const QFileInfo file(wantedPath);
    QString stem;
    QString extension;
    splitName(file, stem, extension);
    if (stem.contains(u'%') || extension.contains(u'%'))
        return std::nullopt;
    const QString marked =
        file.dir().filePath(stem + QStringLiteral(" (") + QChar(0) + u')' + extension);
    const qsizetype marker = marked.indexOf(QChar(0));
    return NumberingTemplate{marked.left(marker), marked.mid(marker + 1)};
}

QString numberingKey(const NumberingTemplate &shape)
{
    return shape.before + QChar(0) + shape.after;
}

// The keys of the templates path may be a numbered name of ("name (N)" or "name (N).ext"),
// with N. A key no wanted path has is harmless: it is only looked up.
QList<QPair<QString, int>> numberedFrom(const QString &path)
{
    QList<QPair<QString, int>> found;
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    // "... (N)" ending at `end`: the key with N marked.
    const auto tryAt = [&](qsizetype end) {
        if (end - nameStart < 4 || path.at(end - 1) != u')')
            return;
        qsizetype digits = end - 1;
        while (digits > nameStart && path.at(digits - 1).isDigit() &&
               path.at(digits - 1).unicode() < 128)
            --digits;
        if (digits == end - 1 || digits - nameStart < 2 || path.at(digits - 1) != u'(' ||
            path.at(digits - 2) != u' ' || end - 1 - digits > 9)
            return;
        const int number = path.mid(digits, end - 1 - digits).toInt();
        found.append({path.left(digits) + QChar(0) + path.mid(end - 1), number});
    };
    tryAt(path.size());
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot > nameStart)
        tryAt(dot);
    return found;
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
    return m_jobsById.value(id, nullptr);
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

void ConversionQueue::setWaveformStore(WaveformStore *store)
{
    assertOwningThread();
    m_waveforms = store;
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

void ConversionQueue::setReplacesForeignFiles(bool replace)
{
    assertOwningThread();
    m_replacesForeignFiles = replace;
    for (ConversionJob *job : std::as_const(m_jobs))
        job->setKeepsForeignFiles(!replace);
}

int ConversionQueue::encoderThreadsForStart(const ConversionJob *starting) const
{
    if (m_filesWaitBeyondPass)
        return 1;
    int used = 0;
    for (const ConversionJob *job : m_converting) {
        if (job != starting)
            used += job->encoderThreads();
    }
    return std::max(1, (m_encoderThreadCapacity - used) / std::max(1, m_startsLeftInPass));
}

int ConversionQueue::pendingCount() const
{
    return m_livePending;
}

int ConversionQueue::activeCount() const
{
    return m_liveActive;
}

QList<ConversionJob *> ConversionQueue::convertingJobs() const
{
    QList<ConversionJob *> jobs = m_converting;
    std::sort(jobs.begin(), jobs.end(), [this](const ConversionJob *a, const ConversionJob *b) {
        return m_records.value(a).sequence < m_records.value(b).sequence;
    });
    return jobs;
}

int ConversionQueue::completedCount() const
{
    return m_liveCompleted;
}

double ConversionQueue::overallProgress() const
{
    if (m_records.isEmpty())
        return 0.0;
    return double(m_progressSum) / (double(m_records.size()) * double(progressUnit));
}

void ConversionQueue::track(ConversionJob *job)
{
    JobRecord &record = m_records[job];
    record.sequence = m_nextSequence++;
    m_jobsById.insert(job->id(), job);
    syncJob(job);
}

void ConversionQueue::uncount(ConversionJob *job, const JobRecord &record)
{
    switch (record.counted) {
    case JobRecord::Count::pending:
        --m_livePending;
        m_waiting.erase(record.sequence);
        break;
    case JobRecord::Count::active:
        --m_liveActive;
        m_converting.removeOne(job);
        break;
    case JobRecord::Count::completed:
        --m_liveCompleted;
        break;
    case JobRecord::Count::none:
        break;
    }
}

void ConversionQueue::untrack(ConversionJob *job)
{
    const auto found = m_records.find(job);
    if (found == m_records.end())
        return;
    JobRecord &record = *found;
    uncount(job, record);
    m_progressSum -= record.progress;
    if (record.unfinished) {
        if (--m_unfinishedSources[job->sourceURL()] == 0)
            m_unfinishedSources.remove(job->sourceURL());
    }
    if (record.claimedPath)
        releaseClaim(*record.claimedPath);
    m_jobsById.remove(job->id());
    m_records.erase(found);
}

void ConversionQueue::syncJob(ConversionJob *job)
{
    const auto found = m_records.find(job);
    if (found == m_records.end())
        return;
    JobRecord &record = *found;
    const JobStatus &status = job->status();

    JobRecord::Count count = JobRecord::Count::none;
    if (status.is(JobStatus::Case::ready) || status.is(JobStatus::Case::pending))
        count = JobRecord::Count::pending;
    else if (status.is(JobStatus::Case::converting))
        count = JobRecord::Count::active;
    else if (status.is(JobStatus::Case::completed))
        count = JobRecord::Count::completed;
    if (count != record.counted) {
        uncount(job, record);
        switch (count) {
        case JobRecord::Count::pending:
            ++m_livePending;
            m_waiting.emplace(record.sequence, job);
            break;
        case JobRecord::Count::active:
            ++m_liveActive;
            m_converting.append(job);
            break;
        case JobRecord::Count::completed:
            ++m_liveCompleted;
            break;
        case JobRecord::Count::none:
            break;
        }
        record.counted = count;
    }

    const qint64 progress = std::llround(job->progress() * double(progressUnit));
    m_progressSum += progress - record.progress;
    record.progress = progress;

    const bool unfinished = isUnfinished(job);
    if (unfinished != record.unfinished) {
        if (unfinished) {
            ++m_unfinishedSources[job->sourceURL()];
        } else if (--m_unfinishedSources[job->sourceURL()] == 0) {
            m_unfinishedSources.remove(job->sourceURL());
        }
        record.unfinished = unfinished;
    }
    syncClaim(job, record);
}

void ConversionQueue::syncClaim(const ConversionJob *job, JobRecord &record)
{
    std::optional<QString> path;
    if (claimsOutput(job))
        path = QDir::cleanPath(job->outputURL().toLocalFile());
    if (path == record.claimedPath)
        return;
    if (record.claimedPath)
        releaseClaim(*record.claimedPath);
    if (path)
        ++m_claims[*path];
    record.claimedPath = std::move(path);
}

void ConversionQueue::releaseClaim(const QString &path)
{
    const auto claim = m_claims.find(path);
    if (claim == m_claims.end() || --*claim > 0)
        return;
    m_claims.erase(claim);
    // The path is free again: a numbering that has gone past it must look at it again.
    for (const auto &[key, number] : numberedFrom(path)) {
        const auto numbering = m_numbering.find(key);
        if (numbering != m_numbering.end() && number < numbering->next)
            numbering->released.insert(number);
    }
}

QString ConversionQueue::freeOutputPath(const QString &wanted)
{
    const auto isTaken = [this](const QString &path) {
        return m_claims.contains(path) || (!m_replacesForeignFiles && isForeignFile(path));
    };
    const QString wantedPath = QDir::cleanPath(wanted);
    if (!isTaken(wantedPath))
        return wantedPath;
    const std::optional<NumberingTemplate> shape = numberingTemplate(wantedPath);
    if (!shape)
        return numberedPath(wantedPath, isTaken);
    Numbering &numbering = m_numbering[numberingKey(*shape)];
    while (!numbering.released.empty()) {
        const int number = *numbering.released.begin();
        numbering.released.erase(numbering.released.begin());
        const QString path = shape->path(number);
        if (!isTaken(path))
            return path;
    }
    QString path = shape->path(numbering.next);
    while (isTaken(path))
        path = shape->path(++numbering.next);
    return path;
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
    int claims = m_claims.value(path, 0);
    const auto record = m_records.constFind(job);
    if (record != m_records.cend() && record->claimedPath == path)
        --claims;
    return claims > 0;
}

QString ConversionQueue::numberedPath(const QString &wanted,
                                      const std::function<bool(const QString &)> &isTaken)
{
    int number = 2;
    return numberedPath(wanted, isTaken, number);
}

QString ConversionQueue::numberedPath(const QString &wanted,
                                      const std::function<bool(const QString &)> &isTaken,
                                      int &number)
{
    const QString wantedPath = QDir::cleanPath(wanted);
    QString path = wantedPath;
    if (!isTaken(path))
        return path;
    number = std::max(2, number);
    if (const std::optional<NumberingTemplate> shape = numberingTemplate(wantedPath)) {
        for (path = shape->path(number); isTaken(path); path = shape->path(++number)) {
        }
        return path;
    }
    const QFileInfo file(wantedPath);
    QString stem;
    QString extension;
    splitName(file, stem, extension);
    for (;; ++number) {
        path =
            file.dir().filePath(QStringLiteral("%1 (%2)%3").arg(stem).arg(number).arg(extension));
        if (!isTaken(path))
            return path;
    }
}

void ConversionQueue::assignOutputURL(ConversionJob *job, const QUrl &wanted)
{
    // The job's own claim does not count against it.
    JobRecord &record = m_records[job];
    if (record.claimedPath) {
        releaseClaim(*record.claimedPath);
        record.claimedPath.reset();
    }
    job->setOutputURL(QUrl::fromLocalFile(freeOutputPath(wanted.toLocalFile())));
    syncClaim(job, m_records[job]);
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

    // The new jobs are indexed as they are made, so a source given twice in one call is
    // caught and names are numbered against each other, and then go in as one range of rows.
    QList<ConversionJob *> added;
    for (const QUrl &candidate : std::as_const(candidates)) {
        if (m_unfinishedSources.contains(candidate))
            continue;
        std::optional<QUrl> folder;
        if (!m_useSourceDirectory && !m_customOutputFolder.isEmpty())
            folder = m_customOutputFolder;
        auto *job = new ConversionJob(candidate, folder, m_defaultSettings, this);
        job->setKeepsForeignFiles(!m_replacesForeignFiles);
        track(job);
        assignOutputURL(job, job->outputURL());
        // A retried job gave up its output name while it was failed or cancelled; another job
        // may have taken it since.
        connect(job, &ConversionJob::extractionAboutToStart, this, [this, job] {
            job->setEncoderThreads(encoderThreadsForStart(job));
            if (m_startsLeftInPass > 0)
                --m_startsLeftInPass;
            const QString output = QDir::cleanPath(job->outputURL().toLocalFile());
            if (isOutputTaken(job, output) || (!m_replacesForeignFiles && isForeignFile(output))) {
                const QFileInfo current(job->outputURL().toLocalFile());
                assignOutputURL(job, QUrl::fromLocalFile(current.dir().filePath(
                                         ConversionJob::baseName(job->sourceURL()) + ".mp3")));
            }
        });
        connect(job, &ConversionJob::statusChanged, this, [this, job] {
            syncJob(job);
            refreshDerivedValues();
        });
        connect(job, &ConversionJob::progressChanged, this, [this, job] {
            syncJob(job);
            refreshDerivedValues();
        });
        connect(job, &ConversionJob::outputURLChanged, this, [this, job] { syncJob(job); });
        connect(job, &ConversionJob::fileInfoChanged, this, [this, job] {
            if (m_waveforms)
                m_waveforms->envelopeOf(*job, false);
        });
        // A freed slot is filled now rather than at the next poll, which would idle a core.
        connect(job, &ConversionJob::extractionEnded, this, [this] {
            if (m_isProcessing && m_batchTimer->isActive())
                m_batchTimer->start(0);
        });

        added.append(job);
    }
    if (!added.isEmpty()) {
        const int first = int(m_jobs.size());
        m_model->beginInsertRows(QModelIndex(), first, first + int(added.size()) - 1);
        m_jobs.append(added);
        m_model->endInsertRows();
        for (ConversionJob *job : std::as_const(added))
            job->inspect();
        emit jobsChanged();
        refreshDerivedValues();
    }

    if (m_selectedJobId.isNull() && !m_jobs.isEmpty())
        setSelectedJobId(m_jobs.first()->id());
}

void ConversionQueue::removeJobsWhere(
    const std::function<bool(const ConversionJob *)> &shouldRemove)
{
    // Contiguous runs of rows, each taken out with one signal, from the last run to the first
    // so the rows before a run keep their numbers.
    QList<bool> remove(m_jobs.size());
    bool removed = false;
    for (qsizetype row = 0; row < m_jobs.size(); ++row) {
        remove[row] = shouldRemove(m_jobs.at(row));
        removed = removed || remove[row];
    }
    if (!removed)
        return;
    QList<ConversionJob *> gone;
    for (qsizetype last = m_jobs.size() - 1; last >= 0; --last) {
        if (!remove[last])
            continue;
        qsizetype first = last;
        while (first > 0 && remove[first - 1])
            --first;
        m_model->beginRemoveRows(QModelIndex(), int(first), int(last));
        for (qsizetype row = first; row <= last; ++row) {
            gone.append(m_jobs.at(row));
            untrack(m_jobs.at(row));
        }
        m_jobs.remove(first, last - first + 1);
        m_model->endRemoveRows();
        last = first;
    }

    for (ConversionJob *job : std::as_const(gone)) {
        disconnect(job, nullptr, this, nullptr);
        if (m_waveforms)
            m_waveforms->forget(job->sourceURL().toLocalFile());
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
    emit jobsChanged();
    refreshDerivedValues();
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
    const qsizetype waiting = qsizetype(m_waiting.size());
    const qsizetype active = m_converting.size();
    if (waiting == 0 && active == 0) {
        endBatch();
        return;
    }

    const qsizetype freeSlots = qsizetype(m_concurrentLimit) - active;
    const qsizetype toStart = freeSlots <= 0 ? 0 : std::min(freeSlots, waiting);
    // Taken before any starts, as starting a job takes it out of the waiting ones.
    QList<ConversionJob *> pending;
    for (auto next = m_waiting.begin(); pending.size() < toStart; ++next)
        pending.append(next->second);
    m_startsLeftInPass = int(toStart);
    m_filesWaitBeyondPass = waiting > toStart;
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
    // The singular on its own keeps the English exact without an English translation.
    return completedCount == 1
               ? QCoreApplication::translate(
                     "ConversionQueue", "Successfully extracted %n audio file to MP3.", nullptr, 1)
               : QCoreApplication::translate("ConversionQueue",
                                             "Successfully extracted %n audio files to MP3.",
                                             nullptr, completedCount);
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
    m_notifier->postNotification(
        QCoreApplication::translate("ConversionQueue", "Audio Extraction Complete"),
        notificationBody(completedCount()));
}

} // namespace tonbrook
