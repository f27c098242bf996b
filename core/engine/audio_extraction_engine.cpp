#include "engine/audio_extraction_engine.h"

#include "encoder/mp3_encoder.h"
#include "encoder/segmented_mp3_encoder.h"
#include "engine/sample_conditioning.h"
#include "model/media_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

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

// Shorter inputs gain less from several encoders than their warm-up costs.
constexpr double minimumSegmentedSeconds = 30.0;
// The share of the progress bar the decode of a segmented extraction takes; encoding is
// the rest.
constexpr double segmentedDecodeShare = 0.1;

// Whether an extraction is split over several encoder threads: only MPEG-1 rates are.
bool encodesInSegments(int threads, int rate, double seconds)
{
    return threads > 1 && (rate == 32000 || rate == 44100 || rate == 48000) &&
           seconds >= minimumSegmentedSeconds;
}

// The tags both encoder paths write: the file's own, else its name and the default comment.
Mp3Tags tagsFor(const QString &from, const AudioExtractionSettings &settings,
                const std::optional<MediaMetadata> &metadata)
{
    const QString fileTitle = QFileInfo(from).completeBaseName();
    Mp3Tags tags;
    if (!metadata) {
        tags.title = utf8(fileTitle);
        tags.comment = utf8(defaultComment);
        return tags;
    }
    const MediaMetadata &source = *metadata;
    tags.title = utf8(source.title.isEmpty() ? fileTitle : source.title);
    tags.artist = utf8(source.artist);
    tags.album = utf8(source.album);
    tags.year = utf8(source.year);
    tags.genre = utf8(source.genre);
    tags.comment = utf8(source.comment);
    if (settings.embedCoverArt && source.coverArtData)
        tags.coverArt.assign(source.coverArtData->cbegin(), source.coverArtData->cend());
    return tags;
}

// The conditioned PCM of a segmented extraction, decoded once into a hidden file beside the
// partial MP3 and removed with it on every path. The segment encoders read it at once, each
// its own range.
class TemporaryPcm : public PcmSource {
public:
    TemporaryPcm(QString path, int channels) : m_path(std::move(path)), m_channels(channels)
    {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0600);
        if (m_fd < 0)
            throw MP3EncoderError::contextCreationFailed();
    }
    ~TemporaryPcm() override
    {
        ::close(m_fd);
        QFile::remove(m_path);
    }
    TemporaryPcm(const TemporaryPcm &) = delete;
    TemporaryPcm &operator=(const TemporaryPcm &) = delete;

    // A full disk fails as the encoder's own file write does.
    void append(const qint16 *samples, qint64 frames)
    {
        const char *bytes = reinterpret_cast<const char *>(samples);
        std::size_t left = std::size_t(frames) * std::size_t(m_channels) * sizeof(qint16);
        while (left > 0) {
            const ssize_t written = ::write(m_fd, bytes, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw MP3EncoderError::writeFailed(-3);
            bytes += written;
            left -= std::size_t(written);
        }
        m_frames += frames;
    }

    int64_t frameCount() const override { return m_frames; }

    bool read(int64_t firstFrame, int32_t count, int16_t *interleaved) override
    {
        const std::size_t frameBytes = std::size_t(m_channels) * sizeof(int16_t);
        char *bytes = reinterpret_cast<char *>(interleaved);
        std::size_t left = std::size_t(count) * frameBytes;
        off_t offset = off_t(firstFrame) * off_t(frameBytes);
        while (left > 0) {
            const ssize_t got = ::pread(m_fd, bytes, left, offset);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            bytes += got;
            offset += got;
            left -= std::size_t(got);
        }
        return true;
    }

private:
    QString m_path;
    int m_channels;
    int m_fd = -1;
    qint64 m_frames = 0;
};

// Encodes the decoded PCM on `threads` encoders into the partial file; a stop ends it as a
// cancellation.
void encodeInSegments(TemporaryPcm &pcm, const AudioExtractionSettings &settings,
                      const Mp3Tags &tags, int rate, int channels, int threads, const QString &path,
                      std::stop_token stop, const std::function<void(double)> &progress)
{
    SegmentedMp3Settings segmented;
    segmented.sampleRate = rate;
    segmented.channels = channels;
    segmented.bitrateKbps = settings.bitrate.kbps();
    segmented.vbrQuality = settings.bitrate.vbrQuality();
    segmented.segments = threads;
    // Each segment's older frames wait on disk beyond this; 2 MiB costs no speed here.
    segmented.memoryPerSegmentBytes = std::size_t(2) << 20;
    segmented.tags = tags;
    std::atomic<bool> cancelled = false;
    const std::stop_callback onStop(stop, [&cancelled] { cancelled = true; });
    try {
        encodeSegmentedMp3(pcm, segmented, nativePath(path), &cancelled, progress);
    } catch (const MP3EncoderError &error) {
        if (error.kind() == MP3EncoderError::Kind::encodingCancelled || stop.stop_requested())
            throw AudioExtractionError::cancelled();
        throw;
    }
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
    m_worker = std::jthread([=, threads = m_encoderThreads, onProgress = std::move(onProgress),
                             onFinished = std::move(onFinished)](std::stop_token stop) {
        std::exception_ptr failure;
        try {
            run(from, to, settings, metadata, onProgress, stop, threads);
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
                                const ProgressCallback &onProgress, std::stop_token stop,
                                int encoderThreads)
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
    const Mp3Tags tags = tagsFor(from, settings, metadata);
    // Split over several encoders, the PCM is decoded once into a file they all read;
    // otherwise one encoder takes it block by block as it is decoded.
    std::unique_ptr<TemporaryPcm> pcm;
    if (encodesInSegments(encoderThreads, rate, trim.lengthSeconds)) {
        pcm = std::make_unique<TemporaryPcm>(
            partial.path().chopped(qsizetype(sizeof(".part") - 1)) + QStringLiteral(".pcm"),
            channels);
    } else {
        partial.encoder =
            std::make_unique<MP3Encoder>(rate, rate, channels, settings.bitrate.kbps(),
                                         settings.bitrate.vbrQuality(), nativePath(partial.path()));
        partial.encoder->setMetadata(
            tags.title, tags.artist, tags.album, tags.year, tags.genre, tags.comment,
            std::span<const unsigned char>(tags.coverArt.data(), tags.coverArt.size()));
        partial.encoder->prepare();
    }

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
        if (pcm)
            pcm->append(samples.data(), frames);
        else
            partial.encoder->writePCM16Interleaved(samples, int(frames));
        framesWritten += frames;

        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= std::chrono::milliseconds(100) ||
            framesWritten >= plan.totalFrames) {
            if (onProgress)
                onProgress(ExtractionProgress::report(
                    pcm ? qint64(double(framesWritten) * segmentedDecodeShare) : framesWritten,
                    rate, trim.lengthSeconds, secondsSince(startTime)));
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
    if (pcm)
        encodeInSegments(
            *pcm, settings, tags, rate, channels, encoderThreads, partial.path(), stop,
            [&](double done) {
                const auto now = std::chrono::steady_clock::now();
                if (!onProgress || now - lastReport < std::chrono::milliseconds(100))
                    return;
                const double share = segmentedDecodeShare + (1.0 - segmentedDecodeShare) * done;
                onProgress(ExtractionProgress::report(qint64(double(framesWritten) * share), rate,
                                                      trim.lengthSeconds, secondsSince(startTime)));
                lastReport = now;
            });
    else
        partial.encoder->finish();
    partial.commit(to);
    if (onProgress)
        onProgress(ExtractionProgress::finalReport(framesWritten, rate, trim.lengthSeconds,
                                                   secondsSince(startTime)));
}

} // namespace tonbrook
