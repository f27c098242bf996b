#include "engine/waveform.h"

#include "engine/extraction_progress.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tonbrook {

namespace {

constexpr double fallbackRate = 44100.0;

TranslatableText waveformText(const char *source)
{
    return TranslatableText("Waveform", source);
}

// The lowest and highest of count samples. GCC vectorises this loop at -O2 only when asked,
// and it is most of the envelope's own cost.
#if defined(__GNUC__) && !defined(__clang__)
#define TONBROOK_VECTORISED __attribute__((optimize("tree-vectorize")))
#else
#define TONBROOK_VECTORISED
#endif
TONBROOK_VECTORISED std::pair<qint16, qint16> extremes(const qint16 *samples, qint64 count)
{
    qint16 low = 0;
    qint16 high = 0;
    for (qint64 i = 0; i < count; ++i) {
        low = std::min(low, samples[i]);
        high = std::max(high, samples[i]);
    }
    return {low, high};
}

} // namespace

std::optional<WaveformEnvelope> computeWaveform(MediaAsset &asset, const MediaTrack &track,
                                                double startSeconds, double endSeconds, int buckets,
                                                std::stop_token stop)
{
    WaveformEnvelope envelope;
    buckets = std::max(buckets, 1);
    startSeconds = std::max(0.0, startSeconds);
    envelope.startSeconds = startSeconds;
    envelope.lowest.assign(std::size_t(buckets), 0);
    envelope.highest.assign(std::size_t(buckets), 0);
    const double length = endSeconds - startSeconds;
    if (!(length > 0.0) || !std::isfinite(length)) {
        envelope.setProblem(
            waveformText(QT_TRANSLATE_NOOP("Waveform", "The file has no length to draw.")));
        return envelope;
    }
    envelope.secondsPerBucket = length / buckets;

    // The track's own rate and at most two channels: nothing is resampled, and a downmix of
    // more channels keeps the extremes that matter for drawing.
    double rate = fallbackRate;
    int channels = 2;
    if (!track.formatDescriptions.empty()) {
        if (const auto &basic = track.formatDescriptions.front().streamBasicDescription) {
            if (basic->sampleRate >= 1000.0 && basic->sampleRate <= 768000.0)
                rate = basic->sampleRate;
            channels = int(std::clamp<quint32>(basic->channelsPerFrame, 1, 2));
        }
    }
    const PcmOutputSettings output{int(std::lround(rate)), channels};

    std::unique_ptr<MediaAssetReader> reader;
    try {
        reader = asset.createReader();
    } catch (const std::exception &) {
        envelope.setProblem(failureText(std::current_exception()));
        return envelope;
    }
    MediaAssetReader *const activeReader = reader.get();
    const std::stop_callback cancelReader(stop, [activeReader] { activeReader->cancelReading(); });
    reader->setTimeRange(MediaTimeRange::fromSeconds(startSeconds, length));
    if (!reader->canAddOutput(track, output)) {
        envelope.setProblem(
            waveformText(QT_TRANSLATE_NOOP("Waveform", "The audio track cannot be decoded.")));
        return envelope;
    }
    reader->addOutput(track, output);
    if (!reader->startReading()) {
        const auto error = reader->error();
        envelope.setProblem(error ? error->text()
                                  : waveformText(QT_TRANSLATE_NOOP(
                                        "Waveform", "The audio track cannot be decoded.")));
        return envelope;
    }

    // Frame f lies in bucket f * buckets / total, total being the frames the range holds.
    const double framesPerBucket = length * output.sampleRate / buckets;
    qint64 frame = 0;
    bool decoded = false;
    while (reader->status() == ReaderStatus::reading) {
        if (stop.stop_requested())
            return std::nullopt;
        const std::optional<SampleBuffer> buffer = reader->copyNextSampleBuffer();
        if (!buffer)
            break;
        const qint64 frames = buffer->frameCount();
        const qint16 *sample = buffer->samples.data();
        for (qint64 i = 0; i < frames;) {
            const auto bucket =
                std::min<qint64>(qint64(double(frame + i) / framesPerBucket), buckets - 1);
            // The frames up to the end of this bucket, in one go.
            const qint64 bucketEnd = bucket == buckets - 1
                                         ? std::numeric_limits<qint64>::max()
                                         : qint64(std::ceil((bucket + 1) * framesPerBucket));
            const qint64 run = std::clamp<qint64>(bucketEnd - (frame + i), 1, frames - i);
            const auto [low, high] = extremes(sample, run * channels);
            qint16 &lowest = envelope.lowest[std::size_t(bucket)];
            qint16 &highest = envelope.highest[std::size_t(bucket)];
            lowest = std::min(lowest, low);
            highest = std::max(highest, high);
            sample += run * channels;
            i += run;
        }
        frame += frames;
        decoded = decoded || frames > 0;
    }
    if (stop.stop_requested())
        return std::nullopt;
    if (reader->status() == ReaderStatus::failed || !decoded) {
        const auto error = reader->error();
        envelope.lowest.assign(std::size_t(buckets), 0);
        envelope.highest.assign(std::size_t(buckets), 0);
        envelope.setProblem(
            error ? error->text()
                  : waveformText(QT_TRANSLATE_NOOP("Waveform", "No audio could be decoded.")));
    }
    return envelope;
}

} // namespace tonbrook
