#include "queue/conversion_job.h"

#include "engine/audio_extraction_engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace tonbrook {

namespace {

// Work crosses threads here only through Qt: into the inspection pool (QThreadPool::start) and
// back to the main thread (a queued invokeMethod). Qt orders the sender's writes before the
// receiver's call with the queue's lock, and the call before the functor's destruction, which
// may come on either thread, with a reference count. Qt is not built with ThreadSanitizer, so
// the sanitizer sees neither and would report every capture. Under the sanitizer HandedOver
// states both on the functor's own address: released once it is in place (each move or copy
// ends with it) and after the call, acquired before the call and before its destruction. In
// other builds it only forwards the call.
template <typename Fn> class HandedOver {
public:
    explicit HandedOver(Fn fn) : m_fn(std::move(fn)) { release(); }
    HandedOver(HandedOver &&other) : m_fn(std::move(other.m_fn)) { release(); }
    HandedOver(const HandedOver &other) : m_fn(other.m_fn) { release(); }
    HandedOver &operator=(const HandedOver &) = delete;
    ~HandedOver() { acquire(); }

    void operator()()
    {
        acquire();
        m_fn();
        release();
    }

private:
    void release()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(this);
#endif
    }
    void acquire()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(this);
#endif
    }

    Fn m_fn;
};

// Runs fn on the main thread; the application object is the one receiver that outlives jobs.
template <typename Fn> void postToMainThread(Fn &&fn)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, HandedOver<std::decay_t<Fn>>(std::forward<Fn>(fn)),
                                  Qt::QueuedConnection);
}

} // namespace

ConversionJob::ConversionJob(const QUrl &sourceURL, const std::optional<QUrl> &outputDirectory,
                             const AudioExtractionSettings &defaultSettings, QObject *parent)
    : QObject(parent), m_id(QUuid::createUuid()), m_sourceURL(sourceURL),
      m_settings(defaultSettings)
{
    const QUrl folder =
        outputDirectory ? *outputDirectory
                        : QUrl::fromLocalFile(QFileInfo(sourceURL.toLocalFile()).absolutePath());
    m_outputURL = outputURLFor(sourceURL, folder);
    m_metadata =
        MediaMetadata(baseName(sourceURL), QString(), QString(), QString(),
                      QStringLiteral("Soundtrack"), QStringLiteral("Extracted with Tonbrook"));
}

ConversionJob::~ConversionJob()
{
    m_alive->store(false);
}

QString ConversionJob::baseName(const QUrl &sourceURL)
{
    const QString name = QFileInfo(sourceURL.toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    // A leading dot starts a hidden name, not an extension.
    return dot > 0 ? name.left(dot) : name;
}

QUrl ConversionJob::outputURLFor(const QUrl &sourceURL, const QUrl &folder)
{
    return QUrl::fromLocalFile(
        QDir(folder.toLocalFile()).filePath(baseName(sourceURL) + QStringLiteral(".mp3")));
}

namespace {

std::atomic<int> inspectionNiceness{0};

// Raises the calling pool thread's nice value to what was asked, once per thread; a thread
// cannot lower it again without privileges, so the pool's threads only ever step down.
void yieldAsAsked()
{
    thread_local int applied = 0;
    const int wanted = inspectionNiceness.load(std::memory_order_relaxed);
    if (wanted > applied && ::setpriority(PRIO_PROCESS, ::gettid(), wanted) == 0)
        applied = wanted;
}

} // namespace

void ConversionJob::setInspectionNiceness(int niceness)
{
    inspectionNiceness.store(std::clamp(niceness, 0, 19), std::memory_order_relaxed);
}

QThreadPool *ConversionJob::inspectionPool()
{
    // Never destroyed: an inspection can block in the kernel for good (a FIFO that nobody
    // writes, a dead network mount), and a pool's destructor would wait for it. When the
    // application goes, queued inspections are dropped and running ones get half a second;
    // any still blocked are left to the process's exit.
    static QThreadPool *const pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        qAddPostRoutine([] {
            inspectionPool()->clear();
            inspectionPool()->waitForDone(500);
        });
        return created;
    }();
    return pool;
}

void ConversionJob::assertOwningThread() const
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "ConversionJob",
               "job state is written on its own (main) thread only");
}

QString ConversionJob::writtenBitrateName() const
{
    if (!m_fileInfo || m_fileInfo->audioTracks.empty())
        return m_settings.bitrate.shortName();
    const auto &tracks = m_fileInfo->audioTracks;
    const auto index = resolveTrackIndex(m_settings.selectedTrackIndex, qint64(tracks.size()));
    const int rate =
        resolveOutputSampleRate(m_settings.sampleRate, tracks[std::size_t(*index)].sampleRate);
    return tonbrook::writtenBitrateName(m_settings.bitrate, rate);
}

void ConversionJob::setOutputURL(const QUrl &url)
{
    assertOwningThread();
    if (m_outputURL == url)
        return;
    m_outputURL = url;
    emit outputURLChanged();
}

void ConversionJob::setSettings(const AudioExtractionSettings &settings)
{
    assertOwningThread();
    if (m_settings == settings)
        return;
    m_settings = settings;
    emit settingsChanged();
}

void ConversionJob::setMetadata(const MediaMetadata &metadata)
{
    assertOwningThread();
    if (m_metadata == metadata)
        return;
    m_metadata = metadata;
    emit metadataChanged();
}

void ConversionJob::setFileInfo(std::optional<VideoFileInfo> info)
{
    assertOwningThread();
    m_fileInfo = std::move(info);
    emit fileInfoChanged();
}

void ConversionJob::setStatus(const JobStatus &status)
{
    assertOwningThread();
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged();
}

void ConversionJob::setProgress(double progress)
{
    assertOwningThread();
    if (m_progress == progress)
        return;
    m_progress = progress;
    emit progressChanged();
}

void ConversionJob::setSpeedString(const QString &text)
{
    assertOwningThread();
    if (m_speedString == text)
        return;
    m_speedString = text;
    emit speedStringChanged();
}

void ConversionJob::setEtaString(const QString &text)
{
    assertOwningThread();
    if (m_etaString == text)
        return;
    m_etaString = text;
    emit etaStringChanged();
}

void ConversionJob::setErrorMessage(const std::optional<QString> &text)
{
    assertOwningThread();
    if (m_errorMessage == text)
        return;
    m_errorMessage = text;
    emit errorMessageChanged();
}

void ConversionJob::inspect()
{
    assertOwningThread();
    setStatus(JobStatus::inspecting());
    const QPointer<ConversionJob> self(this);
    const QUrl source = m_sourceURL;
    const quint64 extractionsBefore = m_lastGeneration;
    auto inspection = [self, source, extractionsBefore, alive = m_alive] {
        // A folder of a thousand files queues a thousand inspections; skip those nobody awaits.
        if (!alive->load())
            return;
        yieldAsAsked();
        std::optional<VideoFileInfo> info;
        TranslatableText error;
        try {
            info = VideoFileInfo::inspect(source);
        } catch (...) {
            error = failureText(std::current_exception());
        }
        postToMainThread([self, extractionsBefore, info = std::move(info), error] {
            if (self)
                self->finishInspection(extractionsBefore, info, error);
        });
    };
    inspectionPool()->start(HandedOver(std::move(inspection)));
}

void ConversionJob::finishInspection(quint64 extractionsBefore, std::optional<VideoFileInfo> info,
                                     const TranslatableText &error)
{
    // An extraction started meanwhile owns the status now; a late "ready" would let the batch
    // start the job a second time.
    const bool statusIsOurs = m_lastGeneration == extractionsBefore;
    if (info) {
        const MediaMetadata metadata = info->metadata;
        setFileInfo(std::move(info));
        setMetadata(metadata);
        if (statusIsOurs)
            setStatus(JobStatus::ready());
    } else if (statusIsOurs) {
        setStatus(JobStatus::failed(error));
        setErrorMessage(error.english());
    }
}

void ConversionJob::startExtraction()
{
    assertOwningThread();
    switch (m_status.caseValue()) {
    case JobStatus::Case::ready:
    case JobStatus::Case::pending:
    case JobStatus::Case::cancelled:
    case JobStatus::Case::failed:
        break;
    case JobStatus::Case::inspecting:
    case JobStatus::Case::converting:
    case JobStatus::Case::completed:
        return;
    }

    emit extractionAboutToStart();
    m_resultNote = {};
    // A new start has no time left to tell yet, as its status says.
    setEtaString(QString());
    setStatus(JobStatus::converting(0.0, QString(), QString()));
    setProgress(0.0);
    setErrorMessage(std::nullopt);

    const quint64 generation = ++m_lastGeneration;
    Extraction &extraction = m_extractions[generation];
    extraction.engine = std::make_unique<AudioExtractionEngine>();
    // Granted by the queue while extractionAboutToStart was handled.
    extraction.engine->setEncoderThreads(m_encoderThreads);
    extraction.engine->setKeepsForeignFiles(m_keepsForeignFiles);
    const AudioExtractionEngine *engine = extraction.engine.get();
    m_activeGeneration = generation;

    const QPointer<ConversionJob> self(this);
    const QUrl output = m_outputURL;
    try {
        extraction.engine->extractAudio(
            m_sourceURL.toLocalFile(), output.toLocalFile(), m_settings, m_metadata,
            [self, generation](const ExtractionProgress &progress) {
                postToMainThread([self, generation, progress] {
                    if (self)
                        self->applyProgress(generation, progress);
                });
            },
            [self, generation, planned = output, engine](std::exception_ptr failure) {
                // Size and duration of the new file are read here, off the main thread. A file
                // that appeared at the planned output meanwhile made the engine write beside it.
                QUrl output = planned;
                qint64 size = 0;
                std::optional<double> duration;
                if (!failure) {
                    if (!engine->writtenPath().isEmpty())
                        output = QUrl::fromLocalFile(engine->writtenPath());
                    const QFileInfo file(output.toLocalFile());
                    size = file.exists() ? file.size() : 0;
                    try {
                        duration = VideoFileInfo::inspect(output).duration;
                    } catch (...) {
                    }
                }
                postToMainThread([self, generation, output, failure, size, duration] {
                    if (self)
                        self->finishExtraction(generation, output, failure, size, duration);
                });
            });
    } catch (...) {
        // No worker was started (no thread to be had): end the extraction here.
        const std::exception_ptr failure = std::current_exception();
        QMetaObject::invokeMethod(
            this,
            [this, generation, output, failure] {
                finishExtraction(generation, output, failure, 0, std::nullopt);
            },
            Qt::QueuedConnection);
    }
}

void ConversionJob::applyProgress(quint64 generation, const ExtractionProgress &progress)
{
    // Reports after cancel() or the end, or from an earlier extraction, would undo the final state.
    if (generation != m_activeGeneration || !m_status.is(JobStatus::Case::converting))
        return;
    if (progress.isComplete)
        m_resultNote = progress.note;
    const QString speed = formatFixed(progress.speedMultiplier, 1) + u'x';
    setProgress(progress.fractionCompleted);
    setSpeedString(speed);
    // The status carries the English text to machine-readable output; people read this one.
    setEtaString(progress.localizedETA());
    setStatus(JobStatus::converting(progress.fractionCompleted, speed, progress.formattedETA()));
}

void ConversionJob::finishExtraction(quint64 generation, const QUrl &output,
                                     std::exception_ptr failure, qint64 outputSize,
                                     std::optional<double> outputDuration)
{
    std::unique_ptr<AudioExtractionEngine> engine;
    bool cancelRequested = false;
    if (const auto found = m_extractions.find(generation); found != m_extractions.end()) {
        engine = std::move(found->second.engine);
        cancelRequested = found->second.cancelRequested;
        m_extractions.erase(found);
    }
    if (m_activeGeneration == generation)
        m_activeGeneration = 0;

    // A newer extraction owns the status; this one only has to be cleaned up.
    if (generation == m_lastGeneration) {
        if (!failure) {
            if (output != m_outputURL)
                setOutputURL(output);
            const double duration =
                outputDuration ? *outputDuration : (m_fileInfo ? m_fileInfo->duration : 0.0);
            setStatus(JobStatus::completed(output, outputSize, duration));
            setProgress(1.0);
        } else if (cancelRequested) {
            setStatus(JobStatus::cancelled());
        } else {
            const TranslatableText text = failureText(failure);
            setStatus(JobStatus::failed(text));
            setErrorMessage(text.english());
        }
    }

    // The worker is past its last callback, so this join is immediate.
    engine.reset();
    emit extractionEnded();
}

void ConversionJob::cancel()
{
    assertOwningThread();
    if (m_activeGeneration != 0) {
        Extraction &extraction = m_extractions[m_activeGeneration];
        extraction.cancelRequested = true;
        extraction.engine->cancel();
    }
    m_activeGeneration = 0;
    setStatus(JobStatus::cancelled());
}

} // namespace tonbrook
