#include "engine/audio_extraction_engine.h"

#include "encoder/mp3_encoder.h"
#include "encoder/segmented_mp3_encoder.h"
#include "engine/loudness.h"
#include "engine/sample_conditioning.h"
#include "engine/true_peak_limiter.h"
#include "model/media_reader.h"
#include "model/output_mark.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

namespace tonbrook {

namespace {

const QString defaultComment = QStringLiteral("Extracted with Tonbrook");

TranslatableText engineText(const char *source,
                            std::initializer_list<TranslatableText> arguments = {})
{
    return TranslatableText("AudioExtractionEngine", source, arguments);
}

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

    // Closes the finished file and moves it onto `to`, replacing what was there, and returns
    // `to`. With keepForeign a file there that Tonbrook did not write stays: the MP3 then goes
    // to the first "name (N).mp3" beside it (N from 2) where nothing is, which is returned.
    QString commit(const QString &to, bool keepForeign)
    {
        encoder.reset();
        const auto moveTo = [this](const QString &target) {
            std::error_code error;
            std::filesystem::rename(nativePath(m_path), nativePath(target), error);
            if (error)
                throw MP3EncoderError::outputFileNotFound(error.value());
            m_committed = true;
            return target;
        };
        if (!keepForeign || !isForeignFile(to))
            return moveTo(to);
        const QFileInfo wanted(to);
        const QString suffix = wanted.suffix().isEmpty() ? QString() : u'.' + wanted.suffix();
        for (int number = 2;; ++number) {
            const QString candidate = wanted.dir().filePath(
                QStringLiteral("%1 (%2)%3").arg(wanted.completeBaseName()).arg(number).arg(suffix));
            // A hard link never replaces what may have appeared meanwhile.
            if (::link(nativePath(m_path).c_str(), nativePath(candidate).c_str()) == 0) {
                ::unlink(nativePath(m_path).c_str());
                m_committed = true;
                return candidate;
            }
            const int reason = errno;
            if (reason == EEXIST)
                continue;
            // A file system without hard links: look, then move.
            if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink())
                continue;
            return moveTo(candidate);
        }
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
        tags.userTexts = {{sourceMarkDescription, QFileInfo(from).fileName().toStdString()}};
        return tags;
    }
    const MediaMetadata &source = *metadata;
    tags.title = utf8(source.title.isEmpty() ? fileTitle : source.title);
    tags.artist = utf8(source.artist);
    tags.album = utf8(source.album);
    tags.year = utf8(source.year);
    tags.genre = utf8(source.genre);
    tags.comment = utf8(source.comment);
    if (settings.embedCoverArt && source.coverArtData) {
        // Read back from the cache; art that has vanished or changed there fails the job.
        const QByteArray art = source.coverArtData->bytes();
        tags.coverArt.assign(art.cbegin(), art.cend());
    }
    tags.userTexts = {{sourceMarkDescription, QFileInfo(from).fileName().toStdString()}};
    return tags;
}

// The conditioned PCM of a segmented extraction, written to a hidden file beside the
// partial MP3 as it is decoded and removed with it on every path. The segment encoders
// read it while it fills, each its own range, waiting for the frames not decoded yet.
class TemporaryPcm : public PcmSource {
public:
    TemporaryPcm(QString path, int channels, int64_t expectedFrames)
        : m_path(std::move(path)), m_channels(channels), m_expected(expectedFrames)
    {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0600);
        if (m_fd < 0)
            throw MP3EncoderError::contextCreationFailed(errno);
    }
    ~TemporaryPcm() override
    {
        ::close(m_fd);
        QFile::remove(m_path);
    }
    TemporaryPcm(const TemporaryPcm &) = delete;
    TemporaryPcm &operator=(const TemporaryPcm &) = delete;

    // Frames reach the file, and the readers, a block at a time: one write per decoded
    // buffer would cost more system time than the decoding. A full disk fails as the
    // encoder's own file write does.
    void append(const qint16 *samples, qint64 frames)
    {
        const auto *bytes = reinterpret_cast<const char *>(samples);
        m_buffer.insert(m_buffer.end(), bytes,
                        bytes + std::size_t(frames) * std::size_t(m_channels) * sizeof(qint16));
        m_buffered += frames;
        if (m_buffer.size() >= blockBytes)
            flush();
    }

    // No more frames follow: readers get what there is.
    void finish()
    {
        flush();
        end(false);
    }
    // The input stops short (a failure or a stop): waiting readers fail.
    void abandon() { end(true); }

    int64_t frameCount() const override
    {
        std::unique_lock lock(m_mutex);
        m_grown.wait(lock, [this] { return m_ended; });
        return m_frames;
    }

    int64_t expectedFrameCount() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_ended ? m_frames : m_expected;
    }

    int64_t readyFrameCount() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_frames;
    }

    int32_t readUpTo(int64_t firstFrame, int32_t count, int16_t *interleaved) override
    {
        int64_t available = 0;
        {
            std::unique_lock lock(m_mutex);
            m_grown.wait(lock, [&] { return m_ended || m_frames >= firstFrame + count; });
            if (m_abandoned)
                return -1;
            available = std::clamp<int64_t>(m_frames - firstFrame, 0, count);
        }
        return available == 0 || readFile(firstFrame, int32_t(available), interleaved)
                   ? int32_t(available)
                   : -1;
    }

    bool read(int64_t firstFrame, int32_t count, int16_t *interleaved) override
    {
        return readUpTo(firstFrame, count, interleaved) == count;
    }

private:
    static constexpr std::size_t blockBytes = std::size_t(512) << 10;

    void flush()
    {
        const char *bytes = m_buffer.data();
        std::size_t left = m_buffer.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd, bytes, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw MP3EncoderError::writeFailed(-3, written < 0 ? errno : ENOSPC);
            bytes += written;
            left -= std::size_t(written);
        }
        m_buffer.clear();
        {
            const std::lock_guard lock(m_mutex);
            m_frames += m_buffered;
        }
        m_buffered = 0;
        m_grown.notify_all();
    }

    void end(bool abandoned)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_ended)
                return;
            m_ended = true;
            m_abandoned = abandoned;
        }
        m_grown.notify_all();
    }

    bool readFile(int64_t firstFrame, int32_t count, int16_t *interleaved) const
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

    QString m_path;
    int m_channels;
    int64_t m_expected;
    int m_fd = -1;
    std::vector<char> m_buffer; // decoded frames not written yet
    qint64 m_buffered = 0;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_grown;
    int64_t m_frames = 0;
    bool m_ended = false;
    bool m_abandoned = false;
};

// Encodes the PCM on `threads` encoders into the partial file on a thread of its own while
// the caller decodes into it; a stop ends it as a cancellation.
class SegmentedEncoding {
public:
    SegmentedEncoding(TemporaryPcm &pcm, const AudioExtractionSettings &settings,
                      const Mp3Tags &tags, int rate, int channels, int threads, const QString &path,
                      std::stop_token stop, std::function<void(double)> progress)
        : m_pcm(pcm)
    {
        SegmentedMp3Settings segmented;
        segmented.sampleRate = rate;
        segmented.channels = channels;
        segmented.bitrateKbps = writtenBitrateKbps(settings.bitrate, rate);
        segmented.vbrQuality = settings.bitrate.vbrQuality();
        segmented.segments = threads;
        // Each segment's older frames wait on disk beyond this; 1 MiB costs no speed here.
        segmented.memoryPerSegmentBytes = std::size_t(1) << 20;
        segmented.tags = tags;
        m_thread = std::jthread([this, segmented = std::move(segmented), path = nativePath(path),
                                 stop = std::move(stop), progress = std::move(progress)] {
            const std::stop_callback onStop(stop, [this] { m_cancelled = true; });
            try {
                encodeSegmentedMp3(m_pcm, segmented, path, &m_cancelled, progress);
            } catch (const MP3EncoderError &error) {
                m_failure = error.kind() == MP3EncoderError::Kind::encodingCancelled ||
                                    stop.stop_requested()
                                ? std::make_exception_ptr(AudioExtractionError::cancelled())
                                : std::current_exception();
            } catch (...) {
                m_failure = std::current_exception();
            }
            m_done = true;
        });
    }
    // Leaving early (a failure or a stop while decoding) stops the encoders first.
    ~SegmentedEncoding()
    {
        if (m_thread.joinable()) {
            m_cancelled = true;
            m_pcm.abandon();
        }
    }
    SegmentedEncoding(const SegmentedEncoding &) = delete;
    SegmentedEncoding &operator=(const SegmentedEncoding &) = delete;

    // Whether the encoders stopped before the input ended: only a failure does that.
    bool failedEarly() const { return m_done.load(); }

    // Waits for the encoders once the whole input is in; rethrows their failure.
    void finish()
    {
        m_pcm.finish();
        m_thread.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    TemporaryPcm &m_pcm;
    std::atomic<bool> m_cancelled = false;
    std::atomic<bool> m_done = false;
    std::exception_ptr m_failure;
    std::jthread m_thread; // last: it stops and is joined before the rest goes
};

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
    m_worker = std::jthread([=, this, threads = m_encoderThreads, keep = m_keepForeignFiles,
                             onProgress = std::move(onProgress),
                             onFinished = std::move(onFinished)](std::stop_token stop) {
        std::exception_ptr failure;
        try {
            run(from, to, settings, metadata, onProgress, stop, threads, keep, &m_writtenPath);
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
                                int encoderThreads, bool keepForeignFiles, QString *writtenPath)
{
    // Cover art that cannot be read back fails the job before any work is done.
    Mp3Tags tags = tagsFor(from, settings, metadata);
    // A failure here shows up when the encoder cannot create its file.
    QDir().mkpath(QFileInfo(to).absolutePath());

    const std::shared_ptr<MediaAsset> asset = openMediaAsset(from);
    const double duration = asset->loadDuration();
    if (!std::isfinite(duration) || duration <= 0.0)
        throw AudioExtractionError::assetLoadingFailed(engineText(
            QT_TRANSLATE_NOOP("AudioExtractionEngine", "File has zero or invalid duration.")));

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
        throw AudioExtractionError::readerInitializationFailed(engineText(
            QT_TRANSLATE_NOOP("AudioExtractionEngine",
                              "The audio track declares an unusable sample rate of %1 Hz."),
            {TranslatableText::verbatim(QStringLiteral("%1").arg(source.sampleRate))}));
    const int rate = resolveOutputSampleRate(settings.sampleRate, source.sampleRate);
    const int channels = resolveOutputChannelCount(settings.channels, source.channelCount);
    const TrimRange trim = resolveTrimRange(settings, duration);
    const PcmOutputSettings output{rate, channels};

    std::unique_ptr<MediaAssetReader> reader;
    try {
        reader = asset->createReader();
    } catch (const std::exception &error) {
        throw AudioExtractionError::readerInitializationFailed(
            failureText(std::current_exception()));
    }
    // A reader that is busy seeking or decoding for a long time still stops promptly.
    MediaAssetReader *const activeReader = reader.get();
    const std::stop_callback cancelReader(stop, [activeReader] { activeReader->cancelReading(); });
    float gain = volumeGain(settings.volumeGainDb);
    TranslatableText note;
    // Set when a limiter must hold the peaks at this level, in 16-bit units.
    std::optional<float> limiterCeiling;
    try {
        if (trim.readerRange)
            reader->setTimeRange(*trim.readerRange);
        if (!reader->canAddOutput(track, output))
            throw AudioExtractionError::readerInitializationFailed(engineText(QT_TRANSLATE_NOOP(
                "AudioExtractionEngine", "Cannot add audio track output to reader.")));
        reader->addOutput(track, output);

        const std::optional<double> target = resolveLoudnessTarget(settings.loudnessTarget);
        // One pass measures for loudness normalisation and for ReplayGain tags alike, and gives
        // the sample peak too.
        std::optional<LoudnessMeasurement> measured;
        if (target || settings.writeReplayGain)
            measured = measureLoudness(*asset, track, output, reader->timeRange(), duration,
                                       std::max(1, encoderThreads), stop);
        // How far under full scale the true peak is held before encoding, so that what a
        // player decodes stays under -1 dBTP.
        const double peakCeiling =
            loudnessPeakCeilingDbtp - encoderTruePeakMarginDb(settings.bitrate);
        const double levelLoss = encoderLevelLossDb(settings.bitrate);
        std::optional<double> heldCeiling;
        // The gain that ReplayGain tags account for, when it is not simply the gain applied.
        std::optional<double> taggedGainDb;
        if (target && measured) {
            // The limiter lets the gain reach the target and takes the peaks down itself.
            const bool limits = settings.loudnessLimiter;
            const LoudnessGain loudness =
                loudnessGainFor(*measured, *target + levelLoss,
                                limits ? std::numeric_limits<double>::infinity() : peakCeiling);
            gain *= float(std::pow(10.0, loudness.gainDb / 20.0));
            if (limits && measured->truePeakDbtp + loudness.gainDb > peakCeiling) {
                heldCeiling = peakCeiling;
                limiterCeiling = float(32768.0 * std::pow(10.0, peakCeiling / 20.0));
                // What the limiter takes down is loudness lost: measure what it gives and make
                // up the difference. More gain makes it work harder, so a dB of gain brings
                // less than a dB of loudness; the second step goes by the slope the first found.
                const double wanted = measured->integratedLufs + 20.0 * std::log10(double(gain));
                double gainDb = wanted - measured->integratedLufs;
                double expected = wanted; // what gainDb is expected to reach
                // Gated loudness can fall as the gain rises: quiet passages lifted over the
                // relative gate start to count. The loudest gain measured then stands.
                std::optional<std::pair<double, double>> best; // gain, loudness
                for (int pass = 0; pass < 3; ++pass) {
                    const std::optional<double> reached = measureLimitedLoudness(
                        *asset, track, output, reader->timeRange(), duration,
                        std::max(1, encoderThreads),
                        {float(std::pow(10.0, gainDb / 20.0)), *limiterCeiling}, stop);
                    if (!reached || !std::isfinite(*reached))
                        break;
                    if (best && *reached <= best->second) {
                        std::tie(gainDb, expected) = *best;
                        break;
                    }
                    expected = *reached;
                    if (wanted - *reached < 0.1)
                        break;
                    double slope = 1.0;
                    if (best)
                        slope = std::clamp((*reached - best->second) / (gainDb - best->first), 0.05,
                                           1.0);
                    best = std::pair(gainDb, *reached);
                    // Every gain kept has been measured.
                    if (pass == 2)
                        break;
                    const double step = std::min((wanted - *reached) / slope, 12.0);
                    gainDb += step;
                }
                gain = float(std::pow(10.0, gainDb / 20.0));
                taggedGainDb = expected - measured->integratedLufs;
                // A target that needs the peaks squeezed flat is beyond what a limiter should do.
                if (wanted - expected > 0.5)
                    note = engineText(
                        QT_TRANSLATE_NOOP("AudioExtractionEngine",
                                          "Loudness reached about %1 LUFS of the %2 LUFS target: "
                                          "limiting the peaks harder would not make it louder."),
                        {TranslatableText::number(expected - settings.volumeGainDb - levelLoss, 1),
                         TranslatableText::number(*target, 0)});
            }
            if (loudness.belowTarget)
                note = engineText(
                    QT_TRANSLATE_NOOP("AudioExtractionEngine",
                                      "Loudness reached about %1 LUFS of the %2 LUFS target: "
                                      "more would have pushed the true peak over -1 dBTP."),
                    {TranslatableText::number(
                         measured->integratedLufs + loudness.gainDb - levelLoss, 1),
                     TranslatableText::number(*target, 0)});
        } else if (!target && settings.normalizePeak) {
            gain *= measured ? peakGainForPeak(measured->samplePeak)
                             : calculatePeakGain(*asset, track, output, reader->timeRange(), stop);
        }
        if (measured) {
            const double gainDb =
                taggedGainDb.value_or(20.0 * std::log10(double(gain))) - levelLoss;
            if (const auto replayGain =
                    replayGainTagsFor(*measured, gainDb, heldCeiling.value_or(HUGE_VAL))) {
                tags.userTexts.emplace_back("REPLAYGAIN_TRACK_GAIN", replayGain->trackGain);
                tags.userTexts.emplace_back("REPLAYGAIN_TRACK_PEAK", replayGain->trackPeak);
            }
        }

        if (!reader->startReading()) {
            const auto error = reader->error();
            throw AudioExtractionError::readerInitializationFailed(
                error ? error->text()
                      : engineText(QT_TRANSLATE_NOOP("AudioExtractionEngine",
                                                     "Unknown reader start error")));
        }
    } catch (...) {
        // A reader stopped by a cancel refuses what follows; that is the cancel, not a fault.
        if (stop.stop_requested())
            throw AudioExtractionError::cancelled();
        throw;
    }

    PartialOutput partial(temporaryPathFor(to));
    const auto startTime = std::chrono::steady_clock::now();
    auto lastReport = startTime;
    const ConditioningPlan plan = ConditioningPlan::make(
        gain, trim.lengthSeconds, rate, settings.fadeInDuration, settings.fadeOutDuration);

    // Split over several encoders, the PCM goes to a file they read while it is decoded;
    // otherwise one encoder takes it block by block. The encoders report the progress then.
    std::unique_ptr<TemporaryPcm> pcm;
    std::unique_ptr<SegmentedEncoding> segmented;
    if (encodesInSegments(encoderThreads, rate, trim.lengthSeconds)) {
        pcm = std::make_unique<TemporaryPcm>(
            partial.path().chopped(qsizetype(sizeof(".part") - 1)) + QStringLiteral(".pcm"),
            channels, plan.totalFrames);
        std::function<void(double)> progress;
        if (onProgress)
            // An input that ends well short of its duration is planned again once it has
            // ended; the bar then waits where it was.
            progress = [&onProgress, &plan, &lastReport, startTime, rate,
                        length = trim.lengthSeconds, shown = 0.0](double done) mutable {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastReport < std::chrono::milliseconds(100))
                    return;
                shown = std::max(shown, done);
                onProgress(ExtractionProgress::report(qint64(double(plan.totalFrames) * shown),
                                                      rate, length, secondsSince(startTime)));
                lastReport = now;
            };
        segmented = std::make_unique<SegmentedEncoding>(*pcm, settings, tags, rate, channels,
                                                        encoderThreads, partial.path(), stop,
                                                        std::move(progress));
    } else {
        partial.encoder = std::make_unique<MP3Encoder>(
            rate, rate, channels, writtenBitrateKbps(settings.bitrate, rate),
            settings.bitrate.vbrQuality(), nativePath(partial.path()));
        partial.encoder->setMetadata(
            tags.title, tags.artist, tags.album, tags.year, tags.genre, tags.comment,
            std::span<const unsigned char>(tags.coverArt.data(), tags.coverArt.size()));
        for (const auto &[description, value] : tags.userTexts)
            partial.encoder->addUserText(description, value);
        partial.encoder->prepare();
    }

    const auto write = [&](std::span<const qint16> samples, qint64 frames) {
        if (pcm)
            pcm->append(samples.data(), frames);
        else
            partial.encoder->writePCM16Interleaved(samples, int(frames));
    };
    // With a limiter the conditioned samples stay in float until it has held their peaks.
    std::optional<TruePeakLimiter> limiter;
    if (limiterCeiling)
        limiter.emplace(rate, channels, *limiterCeiling);
    std::vector<float> conditioned;
    std::vector<float> limited;
    std::vector<qint16> saturated;
    const auto writeLimited = [&] {
        saturateToInt16(limited, saturated);
        if (!saturated.empty())
            write(saturated, qint64(saturated.size()) / channels);
        limited.clear();
    };

    qint64 framesWritten = 0;
    while (reader->status() == ReaderStatus::reading) {
        if (stop.stop_requested()) {
            reader->cancelReading();
            throw AudioExtractionError::cancelled();
        }
        // The encoders only stop before the input ends when they failed.
        if (segmented && segmented->failedEarly())
            break;
        std::optional<SampleBuffer> buffer = reader->copyNextSampleBuffer();
        if (!buffer)
            break;
        std::vector<qint16> &samples = buffer->samples;
        const qint64 frames = qint64(samples.size()) / channels;
        // A buffer without a whole frame carries nothing to encode.
        if (frames < 1)
            continue;
        if (limiter) {
            plan.conditionBlock(samples, frames, channels, framesWritten, conditioned);
            limiter->process(conditioned, limited);
            writeLimited();
        } else {
            if (plan.blockNeedsConditioning(framesWritten, frames, channels,
                                            qsizetype(samples.size())))
                plan.conditionBlock(samples, frames, channels, framesWritten);
            write(samples, frames);
        }
        framesWritten += frames;

        const auto now = std::chrono::steady_clock::now();
        if (!segmented && onProgress &&
            (now - lastReport >= std::chrono::milliseconds(100) ||
             framesWritten >= plan.totalFrames)) {
            onProgress(ExtractionProgress::report(framesWritten, rate, trim.lengthSeconds,
                                                  secondsSince(startTime)));
            lastReport = now;
        }
    }

    // A stop that cut the reader short is a cancellation, never the end of the input.
    if (stop.stop_requested())
        throw AudioExtractionError::cancelled();
    if (segmented && segmented->failedEarly())
        segmented->finish(); // rethrows the encoders' failure
    if (reader->status() == ReaderStatus::failed) {
        const auto error = reader->error();
        throw AudioExtractionError::readerFailed(
            error ? error->text()
                  : engineText(
                        QT_TRANSLATE_NOOP("AudioExtractionEngine", "Reader failed unexpectedly")));
    }

    // Every packet damaged or missing: an MP3 without a single frame of audio is no result.
    if (framesWritten == 0 && plan.totalFrames > 0)
        throw AudioExtractionError::readerFailed(
            engineText(QT_TRANSLATE_NOOP("AudioExtractionEngine",
                                         "No audio could be decoded from \"%1\"; the file is "
                                         "damaged or incomplete."),
                       {TranslatableText::verbatim(QFileInfo(from).fileName())}));
    if (limiter) {
        limiter->finish(limited);
        writeLimited();
    }
    if (segmented)
        segmented->finish();
    else
        partial.encoder->finish();
    const QString written = partial.commit(to, keepForeignFiles);
    if (writtenPath)
        *writtenPath = written;
    if (onProgress) {
        ExtractionProgress last = ExtractionProgress::finalReport(
            framesWritten, rate, trim.lengthSeconds, secondsSince(startTime));
        last.note = note;
        onProgress(last);
    }
}

} // namespace tonbrook
