#include "cli_session.h"

#include "cli_report.h"
#include "engine/extraction_progress.h"
#include "model/output_mark.h"
#include "queue/conversion_queue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>
#include <QTimer>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tonbrook::cli {

namespace {

// The command line gives no desktop notices; its summary line takes their place.
class SilentNotifier : public BatchNotifier {
public:
    void requestPermission() override {}
    void playCompletionSound() override {}
    void postNotification(const QString &, const QString &) override {}
};

QString sourcePath(const ConversionJob *job)
{
    return job->sourceURL().toLocalFile();
}

QString fileName(const ConversionJob *job)
{
    return QFileInfo(sourcePath(job)).fileName();
}

int terminalWidth(std::FILE *stream)
{
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20)
        return size.ws_col;
    return 80;
}

} // namespace

CliSession::CliSession(CliOptions options, Console console, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_console(console)
{
}

CliSession::~CliSession()
{
    eraseBars();
}

void CliSession::writeOut(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), m_console.out);
    std::fflush(m_console.out);
}

void CliSession::writeErr(const QByteArray &text)
{
    // Bars live on the same terminal, so they make room for the message.
    eraseBars();
    std::fwrite(text.constData(), 1, size_t(text.size()), m_console.err);
    std::fflush(m_console.err);
    m_barsDirty = true;
}

bool CliSession::showsBars() const
{
    return m_console.interactive && !m_options.json && !m_options.quiet && !m_options.inspectOnly;
}

bool CliSession::prepareOutputFolder()
{
    if (!m_options.outputDir || m_options.inspectOnly)
        return true;
    const QString folder = *m_options.outputDir;
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error || !QFileInfo(folder).isDir()) {
        const QString reason =
            systemErrorText(error ? error.value() : int(std::errc::not_a_directory)).localized();
        writeErr((QCoreApplication::translate(
                      "CliSession", "tonbrook-cli: cannot create the output folder '%1'. %2")
                      .arg(folder, reason) +
                  u'\n')
                     .toUtf8());
        return false;
    }
    // The queue is not told about the folder: addInputs gives every job its output itself.
    return true;
}

void CliSession::start()
{
    m_clock.start();
    m_queue = new ConversionQueue(std::make_unique<SilentNotifier>(), this);
    m_queue->setPlaySoundOnFinish(false);
    m_queue->setSendNotificationOnFinish(false);
    m_queue->setReplacesForeignFiles(m_options.overwrite);
    m_queue->setDefaultSettings(m_options.settings);
    m_queue->setConcurrentLimit(m_options.jobs);
    if (m_options.threads)
        m_queue->setEncoderThreadCapacity(*m_options.threads);
    if (!prepareOutputFolder()) {
        finish(exitUsage);
        return;
    }

    if (addInputs() == 0) {
        writeErr((QCoreApplication::translate(
                      "CliSession",
                      "tonbrook-cli: no supported video files among the arguments (see --help)") +
                  u'\n')
                     .toUtf8());
        finish(exitUsage);
        return;
    }

    m_phase = Phase::inspecting;
    for (ConversionJob *job : m_queue->jobs()) {
        Record &record = m_records[job];
        record.inspecting = job->status().is(JobStatus::Case::inspecting);
        m_inspecting += record.inspecting ? 1 : 0;
        ++m_unreported;
        connect(job, &ConversionJob::statusChanged, this, [this, job] {
            Record &record = m_records[job];
            const bool inspecting = job->status().is(JobStatus::Case::inspecting);
            if (inspecting != record.inspecting) {
                record.inspecting = inspecting;
                m_inspecting += inspecting ? 1 : -1;
            }
            onStatusChanged(job);
        });
        connect(job, &ConversionJob::extractionEnded, this, &CliSession::checkExtractionsStopped);
        if (m_options.json && !m_options.inspectOnly)
            writeOut(jsonLine(addedEvent(*job)));
    }
    if (m_options.inspectOnly)
        writeOut("[\n");
    if (showsBars()) {
        m_redraw = new QTimer(this);
        m_redraw->setInterval(progressIntervalMs);
        connect(m_redraw, &QTimer::timeout, this, [this] {
            if (m_barsDirty)
                drawBars();
        });
        m_redraw->start();
        drawBars();
    }
    checkInspectionsDone();
}

qsizetype CliSession::addInputs()
{
    // One argument at a time, so an argument that yields nothing can be named.
    QList<QUrl> sources;
    QSet<QUrl> seen;
    for (const QString &input : std::as_const(m_options.inputs)) {
        const QFileInfo item(input);
        const QList<QUrl> found = ConversionQueue::videoFiles(
            {QUrl::fromLocalFile(QDir::cleanPath(item.absoluteFilePath()))});
        const qsizetype before = sources.size();
        for (const QUrl &source : found) {
            if (!seen.contains(source)) {
                seen.insert(source);
                sources.append(source);
            }
        }
        if (sources.size() > before)
            continue;
        QString reason;
        if (!item.exists())
            reason = QCoreApplication::translate("CliSession", "no such file or folder");
        else if (item.isDir())
            reason =
                QCoreApplication::translate("CliSession", "no new supported video files inside");
        else if (!ConversionQueue::acceptedExtensions().contains(item.suffix().toLower()))
            reason = QCoreApplication::translate("CliSession", "not a supported video file (%1)")
                         .arg(ConversionQueue::acceptedExtensions().join(QStringLiteral(", ")));
        else
            continue; // the same file given twice
        writeErr((QCoreApplication::translate("CliSession", "tonbrook-cli: skipping '%1': %2")
                      .arg(input, reason) +
                  u'\n')
                     .toUtf8());
    }

    // Every file is named in order as if all were queued, by the queue's own numbering rule;
    // then only this run's part is queued, each job with the output it was given here. The
    // names never depend on the part or on what another run has written meanwhile, so parts
    // run on several machines write exactly the files one run would. (Files another run has
    // written carry the mark and so are no obstacle; only files Tonbrook did not write are.)
    QSet<QString> taken;
    // Per wanted path, the number its numbering has reached: taken only grows.
    QHash<QString, int> numbers;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QUrl &source = sources.at(i);
        const QUrl folder = QUrl::fromLocalFile(
            m_options.outputDir.value_or(QFileInfo(source.toLocalFile()).absolutePath()));
        const QString wanted =
            QDir::cleanPath(ConversionJob::outputURLFor(source, folder).toLocalFile());
        // A file there that Tonbrook did not write counts as taken too (all parts see it).
        const QString output = ConversionQueue::numberedPath(
            wanted,
            [&](const QString &path) {
                return taken.contains(path) || (!m_options.overwrite && isForeignFile(path));
            },
            numbers[wanted]);
        taken.insert(output);
        if (m_options.shard && i % m_options.shard->count != m_options.shard->index - 1)
            continue;
        const qsizetype before = m_queue->jobs().size();
        m_queue->addFiles({source});
        if (m_queue->jobs().size() > before)
            m_queue->jobs().constLast()->setOutputURL(QUrl::fromLocalFile(output));
    }
    return sources.size();
}

void CliSession::onStatusChanged(ConversionJob *job)
{
    // After an interruption the outcome of every job is read once all extractions have ended.
    if (m_phase == Phase::stopping || m_phase == Phase::done)
        return;
    Record &record = m_records[job];
    if (record.reported)
        return;
    const JobStatus &status = job->status();
    switch (status.caseValue()) {
    case JobStatus::Case::pending:
    case JobStatus::Case::inspecting:
        break;
    case JobStatus::Case::ready:
        if (m_phase == Phase::inspecting)
            onInspected(job);
        break;
    case JobStatus::Case::converting:
        if (!record.started)
            reportStarted(job);
        else
            reportProgress(job);
        break;
    case JobStatus::Case::completed:
        reportCompleted(job);
        break;
    case JobStatus::Case::failed:
        reportFailed(job, status.reason());
        break;
    case JobStatus::Case::cancelled:
        if (record.failure)
            reportFailed(job, *record.failure);
        else
            reportCancelled(job);
        break;
    }
    if (m_phase == Phase::inspecting)
        checkInspectionsDone();
    else
        checkAllReported();
}

void CliSession::onInspected(ConversionJob *job)
{
    if (m_options.inspectOnly)
        return;
    const TagOverrides &tags = m_options.tags;
    MediaMetadata metadata = job->metadata();
    metadata.title = tags.title.value_or(metadata.title);
    metadata.artist = tags.artist.value_or(metadata.artist);
    metadata.album = tags.album.value_or(metadata.album);
    metadata.year = tags.year.value_or(metadata.year);
    metadata.genre = tags.genre.value_or(metadata.genre);
    metadata.comment = tags.comment.value_or(metadata.comment);
    job->setMetadata(metadata);

    // The engine would quietly take the last track instead; a typed index must mean that track.
    const qint64 trackCount = job->fileInfo() ? qint64(job->fileInfo()->audioTracks.size()) : 0;
    const qint64 wanted = job->settings().selectedTrackIndex;
    if (trackCount > 0 && wanted >= trackCount) {
        // The singular on its own keeps the English exact without an English translation.
        const std::initializer_list<TranslatableText> numbers{
            TranslatableText::verbatim(QString::number(wanted)),
            TranslatableText::verbatim(QString::number(trackCount))};
        m_records[job].failure =
            trackCount == 1
                ? TranslatableText("CliSession",
                                   QT_TRANSLATE_NOOP("CliSession",
                                                     "Audio track %1 does not exist: the file has "
                                                     "%2 audio track (numbered from 0)"),
                                   numbers)
                : TranslatableText("CliSession",
                                   QT_TRANSLATE_NOOP("CliSession",
                                                     "Audio track %1 does not exist: the file has "
                                                     "%2 audio tracks (numbered from 0)"),
                                   numbers);
        job->cancel();
    }
}

void CliSession::checkInspectionsDone()
{
    if (m_phase != Phase::inspecting)
        return;
    if (m_options.inspectOnly)
        writeInspected();
    if (m_inspecting > 0)
        return;
    if (m_options.inspectOnly) {
        finish(m_failed > 0 ? exitFailed : exitCompleted);
        return;
    }
    m_phase = Phase::converting;
    m_barsDirty = true;
    m_queue->startBatch();
    checkAllReported();
}

void CliSession::writeInspected()
{
    // A file's object goes out once it and every file before it are inspected, so the array
    // keeps the queue's order while a slow file holds back only those after it. Nothing is
    // kept once written. Each object is laid out as QJsonDocument lays out a whole array.
    const QList<ConversionJob *> &jobs = m_queue->jobs();
    while (m_inspectWritten < jobs.size()) {
        const ConversionJob *job = jobs.at(m_inspectWritten);
        if (job->status().is(JobStatus::Case::inspecting))
            return;
        // JSON strings hold no raw line breaks, so every break starts a line of the layout.
        QByteArray object =
            QJsonDocument(inspectObject(*job)).toJson(QJsonDocument::Indented).trimmed();
        object.replace('\n', "\n    ");
        writeOut((m_inspectWritten == 0 ? "    " : ",\n    ") + object);
        ++m_inspectWritten;
    }
}

void CliSession::reportStarted(ConversionJob *job)
{
    Record &record = m_records[job];
    record.started = true;
    record.lastProgress.start();
    if (m_options.json)
        writeOut(jsonLine(startedEvent(*job)));
    m_barsDirty = true;
}

void CliSession::reportProgress(ConversionJob *job)
{
    m_barsDirty = true;
    if (!m_options.json)
        return;
    Record &record = m_records[job];
    if (record.lastProgress.isValid() && record.lastProgress.elapsed() < progressIntervalMs)
        return;
    record.lastProgress.start();
    writeOut(jsonLine(progressEvent(*job)));
}

void CliSession::reportCompleted(ConversionJob *job)
{
    markReported(job);
    ++m_completed;
    const JobStatus &status = job->status();
    if (m_options.json) {
        writeOut(jsonLine(completedEvent(*job)));
    } else if (!m_options.quiet) {
        eraseBars();
        writeOut(
            (QCoreApplication::translate("CliSession", "completed: %1 -> %2 (%3, %4, %5)")
                 .arg(
                     sourcePath(job), status.outputURL().toLocalFile(), job->writtenBitrateName(),
                     QLocale().formattedDataSize(status.outputSize(), 1, QLocale::DataSizeSIFormat),
                     formatDuration(status.duration())) +
             u'\n')
                .toUtf8());
        if (!job->resultNote().isEmpty())
            writeOut(QStringLiteral("  %1\n").arg(job->localizedResultNote()).toUtf8());
    }
    m_barsDirty = true;
}

void CliSession::reportFailed(ConversionJob *job, const TranslatableText &reason)
{
    markReported(job);
    ++m_failed;
    // The event keeps the English reason in every language; the line is for people.
    if (m_options.json && !m_options.inspectOnly)
        writeOut(jsonLine(failedEvent(*job, reason.english())));
    writeErr((QCoreApplication::translate("CliSession", "failed: %1: %2")
                  .arg(sourcePath(job), reason.localized()) +
              u'\n')
                 .toUtf8());
}

void CliSession::reportCancelled(ConversionJob *job)
{
    markReported(job);
    ++m_cancelled;
    if (m_options.json) {
        writeOut(jsonLine(cancelledEvent(*job)));
    } else if (!m_options.quiet) {
        eraseBars();
        writeOut((QCoreApplication::translate("CliSession", "cancelled: %1").arg(sourcePath(job)) +
                  u'\n')
                     .toUtf8());
    }
    m_barsDirty = true;
}

void CliSession::checkAllReported()
{
    if (m_phase != Phase::converting)
        return;
    if (m_unreported == 0)
        finish(m_failed > 0 ? exitFailed : exitCompleted);
}

void CliSession::markReported(ConversionJob *job)
{
    Record &record = m_records[job];
    if (record.reported)
        return;
    record.reported = true;
    --m_unreported;
}

void CliSession::interrupt()
{
    if (m_phase == Phase::stopping || m_phase == Phase::done)
        return;
    if (m_phase == Phase::idle) {
        finish(exitInterrupted);
        return;
    }
    const bool inspectOnly = m_options.inspectOnly;
    m_phase = Phase::stopping;
    m_queue->cancelAll();
    if (inspectOnly) {
        finish(exitInterrupted);
        return;
    }
    checkExtractionsStopped();
}

void CliSession::checkExtractionsStopped()
{
    if (m_phase != Phase::stopping)
        return;
    // No extraction starts once stopping, so the jobs found stopped stay stopped.
    const auto &jobs = m_queue->jobs();
    while (m_stoppedUpTo < jobs.size() && !jobs.at(m_stoppedUpTo)->isExtractionRunning())
        ++m_stoppedUpTo;
    if (m_stoppedUpTo < jobs.size())
        return;
    // An extraction that finished before it saw the cancellation still counts as completed.
    for (ConversionJob *job : jobs) {
        if (m_records[job].reported)
            continue;
        if (job->status().is(JobStatus::Case::completed))
            reportCompleted(job);
        else if (job->status().is(JobStatus::Case::failed))
            reportFailed(job, job->status().reason());
        else if (m_records[job].failure)
            reportFailed(job, *m_records[job].failure);
        else
            reportCancelled(job);
    }
    finish(exitInterrupted);
}

void CliSession::finish(int exitStatus)
{
    if (m_phase == Phase::done)
        return;
    // A part of a shared run reports even when it got no files.
    const bool ranBatch = (!m_records.isEmpty() || m_options.shard) && !m_options.inspectOnly;
    const bool arrayOpen = m_options.inspectOnly && m_phase != Phase::idle;
    m_phase = Phase::done;
    if (m_redraw)
        m_redraw->stop();
    eraseBars();
    if (arrayOpen) {
        // The array is closed on every way out, Ctrl-C included: an interrupted run leaves
        // the objects of the files inspected so far that have no uninspected file before
        // them (exit status 130 tells it apart from a whole answer).
        writeOut(m_inspectWritten > 0 ? "\n]\n" : "]\n");
    }
    if (ranBatch) {
        const double seconds = double(m_clock.elapsed()) / 1000.0;
        if (m_options.json) {
            QJsonObject batch = batchEvent(m_completed, m_failed, m_cancelled, seconds);
            if (m_options.shard)
                batch.insert(QStringLiteral("shard"),
                             QJsonObject{{"index", m_options.shard->index},
                                         {"count", m_options.shard->count}});
            writeOut(jsonLine(batch));
        } else {
            QString line = summaryLine(m_completed, m_failed, m_cancelled, seconds);
            if (m_options.shard)
                line += QCoreApplication::translate("CliSession", ", shard %1 of %2")
                            .arg(m_options.shard->index)
                            .arg(m_options.shard->count);
            writeOut((line + u'\n').toUtf8());
        }
    }
    emit finished(exitStatus);
}

void CliSession::eraseBars()
{
    if (m_barLines == 0)
        return;
    const QByteArray up = "\x1b[" + QByteArray::number(m_barLines) + "A\r\x1b[J";
    std::fwrite(up.constData(), 1, size_t(up.size()), m_console.out);
    std::fflush(m_console.out);
    m_barLines = 0;
}

void CliSession::drawBars()
{
    if (!showsBars() || m_phase == Phase::done)
        return;
    const int width = terminalWidth(m_console.out) - 1;
    const int barWidth = 20;
    const int nameWidth = std::max(12, width - 56);
    QStringList lines;
    const qsizetype inspecting = m_inspecting;
    int running = 0;
    for (const ConversionJob *job : m_queue->convertingJobs()) {
        const JobStatus &status = job->status();
        ++running;
        lines << QStringLiteral("%1  %2 %3%  %4  %5")
                     .arg(elide(fileName(job), nameWidth), -nameWidth)
                     .arg(progressBar(status.progress(), barWidth))
                     .arg(int(status.progress() * 100.0), 3)
                     .arg(status.speed(), 6)
                     .arg(job->etaString());
    }
    const int total = int(m_queue->jobs().size());
    QString overall;
    if (m_phase == Phase::inspecting) {
        overall = QCoreApplication::translate("CliSession", "Inspecting %1 of %2 files...")
                      .arg(inspecting)
                      .arg(total);
    } else {
        overall = QCoreApplication::translate("CliSession", "%1  %2 %3%  %4/%5 done, %6 running")
                      .arg(QCoreApplication::translate("CliSession", "Overall"), -nameWidth)
                      .arg(progressBar(m_queue->overallProgress(), barWidth))
                      .arg(int(m_queue->overallProgress() * 100.0), 3)
                      .arg(m_completed + m_failed + m_cancelled)
                      .arg(total)
                      .arg(running);
        if (m_failed > 0)
            overall += QCoreApplication::translate("CliSession", ", %1 failed").arg(m_failed);
    }
    lines << overall;

    QByteArray text;
    if (m_barLines > 0)
        text += "\x1b[" + QByteArray::number(m_barLines) + "A\r";
    for (const QString &line : std::as_const(lines))
        text += elide(line, width).toUtf8() + "\x1b[K\n";
    text += "\x1b[J";
    std::fwrite(text.constData(), 1, size_t(text.size()), m_console.out);
    std::fflush(m_console.out);
    m_barLines = int(lines.size());
    m_barsDirty = false;
}

} // namespace tonbrook::cli
