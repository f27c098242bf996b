#pragma once

#include "model/extraction_settings.h"
#include "model/media_reader.h"

#include <optional>
#include <stop_token>
#include <string>

namespace tonbrook {

// The loudness of one range of one track as ITU-R BS.1770 measures it, over the samples the
// encoder will be given: the same rate, the same channels.
struct LoudnessMeasurement {
    // Gated integrated loudness in LUFS; -infinity when nothing passed the gate (silence, or
    // less than one 400 ms block).
    double integratedLufs = 0.0;
    // The highest true peak over all channels, in dB against full scale (dBTP).
    double truePeakDbtp = 0.0;
    // The largest sample magnitude, 32768 for -32768: what peak normalisation goes by.
    int samplePeak = 0;
    double seconds = 0.0;
};

// ReplayGain 2.0 track tags for a file whose measured loudness and true peak were changed by
// gainDb: the gain to -18 LUFS and the linear peak, as TXXX descriptions and values.
struct ReplayGainTags {
    std::string trackGain; // "-3.21 dB"
    std::string trackPeak; // "0.891251"
};
inline constexpr double replayGainReferenceLufs = -18.0;
std::optional<ReplayGainTags> replayGainTagsFor(const LoudnessMeasurement &measured, double gainDb,
                                                double peakCeilingDbtp);

// What loudness normalisation does to one measurement.
struct LoudnessGain {
    double gainDb = 0.0;
    // The ceiling held the gain under target - measured: the result is quieter than asked.
    bool belowTarget = false;
};

// The highest true peak loudness normalisation lets a player decode from the MP3.
inline constexpr double loudnessPeakCeilingDbtp = -1.0;

// Loudness normalisation aims the true peak this far under -1 dBTP before encoding: MP3
// encoding raises the true peak of what a player decodes, by more the lower the bitrate.
double encoderTruePeakMarginDb(BitrateOption bitrate);

// LAME's coarser quantisation at low constant bitrates lowers the level of everything it
// encodes by this much; loudness normalisation adds it back.
double encoderLevelLossDb(BitrateOption bitrate);

// target - measured, lowered where it would lift the true peak over peakCeilingDbtp. No gain
// for silence or a range shorter than one 400 ms block.
LoudnessGain loudnessGainFor(const LoudnessMeasurement &measured, double targetLufs,
                             double peakCeilingDbtp);

// Decodes the range, or the whole track of durationSeconds, once more and measures it; a range
// of several minutes is split over up to `parts` readers on threads of their own. Nothing on
// any failure or once stop is requested.
std::optional<LoudnessMeasurement> measureLoudness(MediaAsset &asset, const MediaTrack &track,
                                                   const PcmOutputSettings &output,
                                                   const std::optional<MediaTimeRange> &timeRange,
                                                   double durationSeconds, int parts,
                                                   std::stop_token stop = {});

// A gain, and a true-peak limiter that holds what it gives at a ceiling in 16-bit units.
struct LimitedGain {
    float gain = 1.0f;
    float ceiling = 32767.0f;
};

// Measures as measureLoudness does, but the integrated loudness only, of what the limiter
// gives after the gain. A limiter that takes down loud passages takes loudness with them; this
// says how much.
std::optional<double> measureLimitedLoudness(MediaAsset &asset, const MediaTrack &track,
                                             const PcmOutputSettings &output,
                                             const std::optional<MediaTimeRange> &timeRange,
                                             double durationSeconds, int parts, LimitedGain limited,
                                             std::stop_token stop = {});

} // namespace tonbrook
