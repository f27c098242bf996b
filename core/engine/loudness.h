#pragma once

#include "model/extraction_settings.h"
#include "model/media_reader.h"

#include <optional>
#include <stop_token>

namespace tonbrook {

// The loudness of one range of one track as ITU-R BS.1770 measures it, over the samples the
// encoder will be given: the same rate, the same channels.
struct LoudnessMeasurement {
    // Gated integrated loudness in LUFS; -infinity when nothing passed the gate (silence, or
    // less than one 400 ms block).
    double integratedLufs = 0.0;
    // The highest true peak over all channels, in dB against full scale (dBTP).
    double truePeakDbtp = 0.0;
    double seconds = 0.0;
};

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

} // namespace tonbrook
