#include "engine/sample_conditioning.h"

#include <algorithm>
#include <cmath>

namespace tonbrook {

float volumeGain(double volumeGainDb)
{
    if (volumeGainDb == 0.0)
        return 1.0f;
    return std::pow(10.0f, static_cast<float>(volumeGainDb) / 20.0f);
}

float peakGainForPeak(int peak)
{
    if (peak >= 32767)
        return 1.0f;
    return std::min(32000.0f / static_cast<float>(std::max(peak, 1)), 6.0f);
}

ConditioningPlan ConditioningPlan::make(float overallGain, double rangeSeconds, int sampleRate,
                                        double fadeInSeconds, double fadeOutSeconds)
{
    // Frame counts truncate toward zero; a count that is not a number counts as none.
    const auto frames = [](double value) -> qint64 {
        if (!(std::abs(value) < 9.0e18))
            return 0;
        return static_cast<qint64>(value);
    };
    ConditioningPlan plan;
    plan.gain = overallGain;
    plan.unity = std::abs(overallGain - 1.0f) <= 0.001f;
    plan.totalFrames = frames(rangeSeconds * sampleRate);
    plan.fadeInFrames = frames(fadeInSeconds * sampleRate);
    plan.fadeOutFrames = frames(fadeOutSeconds * sampleRate);
    plan.fadeOutStart = std::max<qint64>(plan.totalFrames - plan.fadeOutFrames, 0);
    plan.fadeOutLength = plan.totalFrames - plan.fadeOutStart;
    plan.fadeOutRequested = fadeOutSeconds > 0.0;
    return plan;
}

bool ConditioningPlan::blockNeedsConditioning(qint64 framesBefore, qint64 frameCount, int channels,
                                              qsizetype sampleCount) const
{
    if (sampleCount < channels)
        return false;
    const bool inFadeIn = fadeInFrames > 0 && framesBefore < fadeInFrames;
    if (fadeOutRequested)
        return !(unity && !inFadeIn && framesBefore + frameCount < fadeOutStart);
    return !(unity && !inFadeIn);
}

float ConditioningPlan::gainAt(qint64 frame) const
{
    float g = gain;
    if (fadeInFrames >= 1 && frame < fadeInFrames)
        g = gain * (static_cast<float>(frame) / static_cast<float>(fadeInFrames));
    if (fadeOutRequested && fadeOutLength >= 1 && frame >= fadeOutStart) {
        const float f =
            1.0f - static_cast<float>(frame - fadeOutStart) / static_cast<float>(fadeOutLength);
        g *= std::max(f, 0.0f);
    }
    return g;
}

namespace {

int16_t saturated(float y)
{
    if (y >= 32767.0f)
        return 32767;
    if (y < -32768.0f)
        return -32768;
    if (y == y)
        return static_cast<int16_t>(y); // truncates toward zero
    return 0;                           // an infinite gain times silence
}

} // namespace

void ConditioningPlan::conditionBlock(std::span<int16_t> samples, qint64 frameCount, int channels,
                                      qint64 framesBefore) const
{
    const qint64 frames = std::min<qint64>(frameCount, qint64(samples.size()) / channels);
    int16_t *sample = samples.data();
    for (qint64 i = 0; i < frames; ++i) {
        const float g = gainAt(framesBefore + i);
        for (int c = 0; c < channels; ++c, ++sample)
            *sample = saturated(g * static_cast<float>(*sample));
    }
}

void ConditioningPlan::conditionBlock(std::span<const int16_t> samples, qint64 frameCount,
                                      int channels, qint64 framesBefore,
                                      std::vector<float> &out) const
{
    const qint64 frames = std::min<qint64>(frameCount, qint64(samples.size()) / channels);
    out.resize(std::size_t(frames * channels));
    const int16_t *sample = samples.data();
    float *result = out.data();
    for (qint64 i = 0; i < frames; ++i) {
        const float g = gainAt(framesBefore + i);
        for (int c = 0; c < channels; ++c)
            *result++ = g * static_cast<float>(*sample++);
    }
}

void saturateToInt16(std::span<const float> samples, std::vector<int16_t> &out)
{
    out.resize(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(), saturated);
}

float calculatePeakGain(MediaAsset &asset, const MediaTrack &track,
                        const PcmOutputSettings &outputSettings,
                        const std::optional<MediaTimeRange> &timeRange, std::stop_token stop)
{
    try {
        auto reader = asset.createReader();
        MediaAssetReader *const activeReader = reader.get();
        const std::stop_callback cancelReader(stop,
                                              [activeReader] { activeReader->cancelReading(); });
        if (timeRange)
            reader->setTimeRange(*timeRange);
        if (!reader->canAddOutput(track, outputSettings))
            return 1.0f;
        reader->addOutput(track, outputSettings);
        if (!reader->startReading())
            return 1.0f;
        int peak = 1;
        while (reader->status() == ReaderStatus::reading) {
            if (stop.stop_requested()) {
                reader->cancelReading();
                return 1.0f;
            }
            const auto buffer = reader->copyNextSampleBuffer();
            if (!buffer)
                break;
            for (const int16_t x : buffer->samples)
                peak = std::max(peak, std::abs(int(x)));
        }
        return peakGainForPeak(peak);
    } catch (...) {
        return 1.0f;
    }
}

} // namespace tonbrook
