#include "engine/audio_extraction_engine.h"

#include "encoder/mp3_encoder.h"
#include "engine/sample_conditioning.h"
#include "model/media_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

namespace tonbrook {

namespace {

const QString defaultComment = QStringLiteral("Extracted with Tonbrook");
// No real recording is sampled this slowly (LAME itself upsamples anything from here to 8 kHz).
constexpr double minimumSourceSampleRate = 1000.0;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// The partial MP3 is written under a hidden name beside the destination and only renamed onto
// it once complete, so a failed or cancelled run never touches an earlier result.
QString temporaryPathFor(const QString &to)
{
    const QFileInfo info(to);
    const QString unique = QUuid::createUuid().toString(QUuid::Id128).left(12);
    // File names are limited to 255 bytes; shorten the borrowed name so the temporary one fits
    // wherever the destination's own name does.
    constexpr qsizetype maximumBytes = 255;
    const qsizetype extraBytes = qsizetype(QStringLiteral("...part").size()) + unique.size();
    QString name = info.fileName();
    while (!name.isEmpty() && QFile::encodeName(name).size() + extraBytes > maximumBytes)
        name.chop(name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
    return info.absoluteDir().filePath(QStringLiteral(".%1.%2.part").arg(name, unique));
}

// Releases the encoder (closing the file) and removes the partial file on every exit that
// did not commit.
class PartialOutput {
public:
    explicit PartialOutput(QString path) : m_path(std::move(path)) {}
    ~PartialOutput()
    {
        encoder.reset();
        if (!m_committed)
            QFile::remove(m_path);
    }

    const QString &path() const { return m_path; }

    // Closes the finished file and moves it onto `to`, replacing what was there.
    void commit(const QString &to)
    {
        encoder.reset();
        std::error_code error;
        std::filesystem::rename(nativePath(m_path), nativePath(to), error);
        if (error)
            throw MP3EncoderError::outputFileNotFound();
        m_committed = true;
    }

    std::unique_ptr<MP3Encoder> encoder;

private:
    QString m_path;
    bool m_committed = false;
};

std::optional<std::string> utf8(const QString &text)
{
    return text.toStdString();
}

} // namespace

AudioExtractionEngine::~AudioExtractionEngine()
{
    if (m_worker.joinable() && m_worker.get_id() == std::this_thread::get_id()) {
        // Released from its own completion callback: the thread is ending anyway.
        m_worker.request_stop();
        m_worker.detach();
    }
    // std::jthread requests stop and joins.
}

std::shared_future<void>
AudioExtractionEngine::extractAudio(const QString &from, const QString &to,
                                    const AudioExtractionSettings &settings,
                                    const std::optional<MediaMetadata> &metadata,
                                    ProgressCallback onProgress, CompletionCallback onFinished)
{
    auto promise = std::make_shared<std::promise<void>>();
    std::shared_future<void> future = promise->get_future().share();
    m_worker = std::jthread([=, onProgress = std::move(onProgress),
                             onFinished = std::move(onFinished)](std::stop_token stop) {
        std::exception_ptr failure;
        try {
            run(from, to, settings, metadata, onProgress, stop);
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure)
            promise->set_exception(failure);
        else
            promise->set_value();
        if (onFinished)
            onFinished(failure);
    });
    return future;
}

void AudioExtractionEngine::cancel()
{
    m_worker.request_stop();
}

void AudioExtractionEngine::run(const QString &from, const QString &to,
                                const AudioExtractionSettings &settings,
                                const std::optional<MediaMetadata> &metadata,
                                const ProgressCallback &onProgress, std::stop_token stop)
{
    // A failure here shows up when the encoder cannot create its file.
    QDir().mkpath(QFileInfo(to).absolutePath());

    const std::shared_ptr<MediaAsset> asset = openMediaAsset(from);
    const double duration = asset->loadDuration();
    if (!std::isfinite(duration) || duration <= 0.0)
        throw AudioExtractionError::assetLoadingFailed(
            QStringLiteral("File has zero or invalid duration."));

    const std::vector<MediaTrack> tracks = asset->loadTracks(MediaType::audio);
    if (tracks.empty())
        throw AudioExtractionError::noAudioTrackFound();
    const MediaTrack &track =
        tracks[std::size_t(*resolveTrackIndex(settings.selectedTrackIndex, qint64(tracks.size())))];

    std::optional<double> sourceRate;
    std::optional<quint32> sourceChannels;
    if (!track.formatDescriptions.empty()) {
        if (const auto &basic = track.formatDescriptions.front().streamBasicDescription) {
            sourceRate = basic->sampleRate;
            sourceChannels = basic->channelsPerFrame;
        }
    }
    const SourceAudioFormat source = resolveSourceAudioFormat(sourceRate, sourceChannels);
    // A damaged header can declare a few hertz; resampling that would yield hours of audio.
    if (source.sampleRate < minimumSourceSampleRate)
        throw AudioExtractionError::readerInitializationFailed(
            QStringLiteral("The audio track declares an unusable sample rate of %1 Hz.")
                .arg(source.sampleRate));
    const int rate = resolveOutputSampleRate(settings.sampleRate, source.sampleRate);
    const int channels = resolveOutputChannelCount(settings.channels, source.channelCount);
    const TrimRange trim = resolveTrimRange(settings, duration);
    const PcmOutputSettings output{rate, channels};

    std::unique_ptr<MediaAssetReader> reader;
    try {
        reader = asset->createReader();
    } catch (const std::exception &error) {
        throw AudioExtractionError::readerInitializationFailed(QString::fromUtf8(error.what()));
    }
    // A reader that is busy seeking or decoding for a long time still stops promptly.
    MediaAssetReader *const activeReader = reader.get();
    const std::stop_callback cancelReader(stop, [activeReader] { activeReader->cancelReading(); });
    float gain = volumeGain(settings.volumeGainDb);
    try {
        if (trim.readerRange)
            reader->setTimeRange(*trim.readerRange);
        if (!reader->canAddOutput(track, output))
            throw AudioExtractionError::readerInitializationFailed(
                QStringLiteral("Cannot add audio track output to reader."));
        reader->addOutput(track, output);

        if (settings.normalizePeak)
            gain *= calculatePeakGain(*asset, track, output, reader->timeRange(), stop);

        if (!reader->startReading()) {
            const auto error = reader->error();
            throw AudioExtractionError::readerInitializationFailed(
                error ? error->description() : QStringLiteral("Unknown reader start error"));
        }
    } catch (...) {
        // A reader stopped by a cancel refuses what follows; that is the cancel, not a fault.
        if (stop.stop_requested())
            throw AudioExtractionError::cancelled();
        throw;
    }

    PartialOutput partial(temporaryPathFor(to));
    partial.encoder =
        std::make_unique<MP3Encoder>(rate, rate, channels, settings.bitrate.kbps(),
                                     settings.bitrate.vbrQuality(), nativePath(partial.path()));

    const QString fileTitle = QFileInfo(from).completeBaseName();
    if (!metadata) {
        partial.encoder->setMetadata(utf8(fileTitle), {}, {}, {}, {}, utf8(defaultComment));
    } else {
        const auto &tags = *metadata;
        std::span<const unsigned char> art;
        if (settings.embedCoverArt && tags.coverArtData)
            art = std::span(reinterpret_cast<const unsigned char *>(tags.coverArtData->constData()),
                            std::size_t(tags.coverArtData->size()));
        partial.encoder->setMetadata(utf8(tags.title.isEmpty() ? fileTitle : tags.title),
                                     utf8(tags.artist), utf8(tags.album), utf8(tags.year),
                                     utf8(tags.genre), utf8(tags.comment), art);
    }
    partial.encoder->prepare();

    const auto startTime = std::chrono::steady_clock::now();
    auto lastReport = startTime;
    const ConditioningPlan plan = ConditioningPlan::make(
        gain, trim.lengthSeconds, rate, settings.fadeInDuration, settings.fadeOutDuration);
    qint64 framesWritten = 0;

    while (reader->status() == ReaderStatus::reading) {
        if (stop.stop_requested()) {
            reader->cancelReading();
            throw AudioExtractionError::cancelled();
        }
        std::optional<SampleBuffer> buffer = reader->copyNextSampleBuffer();
        if (!buffer)
            break;
        std::vector<qint16> &samples = buffer->samples;
        const qint64 frames = qint64(samples.size()) / channels;
        // A buffer without a whole frame carries nothing to encode.
        if (frames < 1)
            continue;
        if (plan.blockNeedsConditioning(framesWritten, frames, channels, qsizetype(samples.size())))
            plan.conditionBlock(samples, frames, channels, framesWritten);
        partial.encoder->writePCM16Interleaved(samples, int(frames));
        framesWritten += frames;

        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= std::chrono::milliseconds(100) ||
            framesWritten >= plan.totalFrames) {
            if (onProgress)
                onProgress(ExtractionProgress::report(framesWritten, rate, trim.lengthSeconds,
                                                      secondsSince(startTime)));
            lastReport = now;
        }
    }

    // A stop that cut the reader short is a cancellation, never the end of the input.
    if (stop.stop_requested())
        throw AudioExtractionError::cancelled();
    if (reader->status() == ReaderStatus::failed) {
        const auto error = reader->error();
        throw AudioExtractionError::readerFailed(
            error ? error->description() : QStringLiteral("Reader failed unexpectedly"));
    }

    // Every packet damaged or missing: an MP3 without a single frame of audio is no result.
    if (framesWritten == 0 && plan.totalFrames > 0)
        throw AudioExtractionError::readerFailed(
            QStringLiteral("No audio could be decoded from \"%1\"; the file is damaged or "
                           "incomplete.")
                .arg(QFileInfo(from).fileName()));
    partial.encoder->finish();
    partial.commit(to);
    if (onProgress)
        onProgress(ExtractionProgress::finalReport(framesWritten, rate, trim.lengthSeconds,
                                                   secondsSince(startTime)));
}

} // namespace tonbrook
