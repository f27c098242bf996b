#pragma once

#include "model/extraction_settings.h"
#include "model/media_reader.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

namespace tonbrook {

// What happens to the samples of one extraction between the reader and the encoder: one gain,
// a linear fade-in and fade-out counted in frames, saturation to 16 bits. Fixed once per
// extraction; all sample arithmetic is single precision.
struct ConditioningPlan {
    float gain = 1.0f;             // G
    bool unity = true;             // |G - 1| <= 0.001
    qint64 totalFrames = 0;        // N = T x r
    qint64 fadeInFrames = 0;       // Fi
    qint64 fadeOutFrames = 0;      // Fo
    qint64 fadeOutStart = 0;       // S = max(N - Fo, 0)
    qint64 fadeOutLength = 0;      // L = N - S
    bool fadeOutRequested = false; // fadeOutDuration > 0, even when Fo truncates to 0

    // rangeSeconds is T, the resolved trim length; sampleRate is the output rate r.
    static ConditioningPlan make(float overallGain, double rangeSeconds, int sampleRate,
                                 double fadeInSeconds, double fadeOutSeconds);

    // False when the block can reach the encoder exactly as the reader delivered it.
    bool blockNeedsConditioning(qint64 framesBefore, qint64 frameCount, int channels,
                                qsizetype sampleCount) const;
    // Applies gain and fades in place to the block's first frameCount whole frames.
    void conditionBlock(std::span<int16_t> samples, qint64 frameCount, int channels,
                        qint64 framesBefore) const;
    // The same into out, in float and not saturated, for a stage that follows.
    void conditionBlock(std::span<const int16_t> samples, qint64 frameCount, int channels,
                        qint64 framesBefore, std::vector<float> &out) const;

private:
    // Gain times fades for the frame at this position.
    float gainAt(qint64 frame) const;
};

// Saturates float samples to 16 bits as conditionBlock does.
void saturateToInt16(std::span<const float> samples, std::vector<int16_t> &out);

// Gv: 1 for exactly 0 dB, else 10^(dB/20) in single precision.
float volumeGain(double volumeGainDb);

// Gp from the loudest magnitude found (32768 for -32768): brings it to 32000, at most x6.
float peakGainForPeak(int peak);

// Decodes the range once with a second reader and returns Gp; 1.0 on any failure. Returns
// early, also with 1.0, once stop is requested: the extraction is about to be cancelled anyway.
float calculatePeakGain(MediaAsset &asset, const MediaTrack &track,
                        const PcmOutputSettings &outputSettings,
                        const std::optional<MediaTimeRange> &timeRange, std::stop_token stop = {});

} // namespace tonbrook
