#include "engine/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace tonbrook {

namespace {

// One gating block: below this nothing is measured.
constexpr double shortestMeasurableSeconds = 0.4;

struct StateDeleter {
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};

} // namespace

double encoderTruePeakMarginDb(BitrateOption bitrate)
{
    // The largest rise measured, decoded with FFmpeg's MP3 decoder, over speech, music and
    // film-like signals, square waves and full-scale white noise, with about 0.2 dB to spare:
    // 0.8 dB at 320 and 256 kbit/s, 1.4 at 192, 2.2 at 128, and 1.5 (V0) to 1.9 (V2) in VBR.
    switch (bitrate.caseValue()) {
    case BitrateOption::Case::cbr320:
    case BitrateOption::Case::cbr256:
        return 1.0;
    case BitrateOption::Case::cbr192:
        return 1.6;
    case BitrateOption::Case::cbr128:
        return 2.4;
    case BitrateOption::Case::vbr0:
    case BitrateOption::Case::vbr2:
        return 2.1;
    }
    return 2.4;
}

double encoderLevelLossDb(BitrateOption bitrate)
{
    // Measured as for the margin above, on speech and music: 0.5 LU at 128 kbit/s, 0.2 to 0.3
    // at 192, none above or in VBR.
    switch (bitrate.caseValue()) {
    case BitrateOption::Case::cbr128:
        return 0.5;
    case BitrateOption::Case::cbr192:
        return 0.25;
    case BitrateOption::Case::cbr320:
    case BitrateOption::Case::cbr256:
    case BitrateOption::Case::vbr0:
    case BitrateOption::Case::vbr2:
        break;
    }
    return 0.0;
}

LoudnessGain loudnessGainFor(const LoudnessMeasurement &measured, double targetLufs,
                             double peakCeilingDbtp)
{
    if (!std::isfinite(measured.integratedLufs) || measured.seconds < shortestMeasurableSeconds)
        return {};
    LoudnessGain result{targetLufs - measured.integratedLufs, false};
    if (std::isfinite(measured.truePeakDbtp) &&
        measured.truePeakDbtp + result.gainDb > peakCeilingDbtp) {
        result.gainDb = peakCeilingDbtp - measured.truePeakDbtp;
        result.belowTarget = true;
    }
    return result;
}

namespace {

using State = std::unique_ptr<ebur128_state, StateDeleter>;

// Feeds one range, or the whole track when there is none, into a state of its own.
State measurePart(MediaAsset &asset, const MediaTrack &track, const PcmOutputSettings &output,
                  const std::optional<MediaTimeRange> &range, const std::stop_token &stop,
                  qint64 &frames)
{
    State state(ebur128_init(unsigned(output.channelCount),
                             static_cast<unsigned long>(output.sampleRate),
                             EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!state)
        return nullptr;
    auto reader = asset.createReader();
    MediaAssetReader *const activeReader = reader.get();
    const std::stop_callback cancelReader(stop, [activeReader] { activeReader->cancelReading(); });
    if (range)
        reader->setTimeRange(*range);
    if (!reader->canAddOutput(track, output))
        return nullptr;
    reader->addOutput(track, output);
    if (!reader->startReading())
        return nullptr;
    while (reader->status() == ReaderStatus::reading) {
        if (stop.stop_requested())
            return nullptr;
        const auto buffer = reader->copyNextSampleBuffer();
        if (!buffer)
            break;
        const size_t count = buffer->samples.size() / size_t(output.channelCount);
        if (count == 0)
            continue;
        if (ebur128_add_frames_short(state.get(), buffer->samples.data(), count) != EBUR128_SUCCESS)
            return nullptr;
        frames += qint64(count);
    }
    if (reader->status() == ReaderStatus::failed || stop.stop_requested())
        return nullptr;
    return state;
}

} // namespace

std::optional<LoudnessMeasurement> measureLoudness(MediaAsset &asset, const MediaTrack &track,
                                                   const PcmOutputSettings &output,
                                                   const std::optional<MediaTimeRange> &timeRange,
                                                   double durationSeconds, int parts,
                                                   std::stop_token stop)
{
    // Split into abutting ranges of at least a minute, measured side by side. A part misses
    // the few gating blocks that straddle its start, and its true-peak filter starts from
    // silence there: the loudness moves by far less than 0.1 LU, and the peak can only read
    // high, which costs gain but never lets a peak through.
    const MediaTimeRange whole =
        timeRange.value_or(MediaTimeRange::fromSeconds(0.0, durationSeconds));
    const qint64 minute = 60 * MediaTimeRange::timescale;
    parts = int(std::clamp<qint64>(whole.duration / minute, 1, std::max(parts, 1)));
    std::vector<std::optional<MediaTimeRange>> ranges;
    if (parts == 1) {
        ranges.push_back(timeRange);
    } else {
        for (int i = 0; i < parts; ++i) {
            const qint64 from = whole.start + whole.duration * i / parts;
            const qint64 to = whole.start + whole.duration * (i + 1) / parts;
            // Untrimmed, the last part reads on past the stated duration, as the encoder does: a
            // track may run longer than its container says.
            const bool open = !timeRange && i == parts - 1;
            const qint64 slack = open ? 3600 * qint64(MediaTimeRange::timescale) : 0;
            ranges.push_back(MediaTimeRange{from, to - from + slack});
        }
    }

    std::vector<State> states(ranges.size());
    std::vector<qint64> frames(ranges.size(), 0);
    {
        std::vector<std::jthread> helpers;
        for (size_t i = 1; i < ranges.size(); ++i) {
            helpers.emplace_back([&, i] {
                try {
                    states[i] = measurePart(asset, track, output, ranges[i], stop, frames[i]);
                } catch (...) {
                }
            });
        }
        try {
            states[0] = measurePart(asset, track, output, ranges[0], stop, frames[0]);
        } catch (...) {
        }
    }
    std::vector<ebur128_state *> measured;
    for (const State &state : states) {
        if (!state)
            return std::nullopt;
        measured.push_back(state.get());
    }

    LoudnessMeasurement result;
    for (const qint64 count : frames)
        result.seconds += double(count) / output.sampleRate;
    if (ebur128_loudness_global_multiple(measured.data(), measured.size(),
                                         &result.integratedLufs) != EBUR128_SUCCESS)
        return std::nullopt;
    double peak = 0.0;
    for (ebur128_state *state : measured) {
        for (int channel = 0; channel < output.channelCount; ++channel) {
            double channelPeak = 0.0;
            if (ebur128_true_peak(state, unsigned(channel), &channelPeak) != EBUR128_SUCCESS)
                return std::nullopt;
            peak = std::max(peak, channelPeak);
        }
    }
    result.truePeakDbtp =
        peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
    return result;
}

} // namespace tonbrook
