#include "engine/loudness.h"
#include "engine/true_peak_limiter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

std::optional<ReplayGainTags> replayGainTagsFor(const LoudnessMeasurement &measured, double gainDb,
                                                double peakCeilingDbtp)
{
    if (!std::isfinite(measured.integratedLufs) || measured.seconds < shortestMeasurableSeconds ||
        !std::isfinite(gainDb))
        return std::nullopt;
    const double gain = replayGainReferenceLufs - (measured.integratedLufs + gainDb);
    const double peakDb = std::min(measured.truePeakDbtp + gainDb, peakCeilingDbtp);
    const double peak = std::isfinite(peakDb) ? std::pow(10.0, peakDb / 20.0) : 0.0;
    // Players parse these with the C locale: a point, a sign, and " dB" after the gain.
    char gainText[32];
    char peakText[32];
    std::snprintf(gainText, sizeof gainText, "%+.2f dB", gain);
    std::snprintf(peakText, sizeof peakText, "%.6f", peak);
    return ReplayGainTags{gainText, peakText};
}

namespace {

using State = std::unique_ptr<ebur128_state, StateDeleter>;

// Feeds one range, or the whole track when there is none, into a state of its own; through
// the gain and a limiter when there is one.
State measurePart(MediaAsset &asset, const MediaTrack &track, const PcmOutputSettings &output,
                  const std::optional<MediaTimeRange> &range, const std::stop_token &stop,
                  const std::optional<LimitedGain> &limited, qint64 &frames, int &samplePeak,
                  double &truePeak)
{
    TruePeakMeter meter(output.channelCount);
    // libebur128 measures the loudness; the true peak comes from our meter, which skips what
    // cannot pass the peak already found and costs a tenth of libebur128's on music.
    State state(ebur128_init(unsigned(output.channelCount),
                             static_cast<unsigned long>(output.sampleRate), EBUR128_MODE_I));
    if (!state)
        return nullptr;
    std::optional<TruePeakLimiter> limiter;
    if (limited)
        limiter.emplace(output.sampleRate, output.channelCount, limited->ceiling);
    std::vector<float> scaled;
    std::vector<float> held;
    const auto addHeld = [&] {
        const size_t count = held.size() / size_t(output.channelCount);
        const bool added = count == 0 || ebur128_add_frames_float(state.get(), held.data(),
                                                                  count) == EBUR128_SUCCESS;
        held.clear();
        return added;
    };

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
        frames += qint64(count);
        if (limiter) {
            // The limiter works in 16-bit units; libebur128 takes full scale as 1.
            scaled.resize(count * size_t(output.channelCount));
            const float gain = limited->gain;
            std::transform(buffer->samples.begin(),
                           buffer->samples.begin() + qsizetype(scaled.size()), scaled.begin(),
                           [gain](qint16 x) { return float(x) * gain; });
            limiter->process(scaled, held);
            for (float &x : held)
                x /= 32768.0f;
            if (!addHeld())
                return nullptr;
            continue;
        }
        if (ebur128_add_frames_short(state.get(), buffer->samples.data(), count) != EBUR128_SUCCESS)
            return nullptr;
        for (const qint16 sample : buffer->samples)
            samplePeak = std::max(samplePeak, std::abs(int(sample)));
        meter.add(buffer->samples);
    }
    if (reader->status() == ReaderStatus::failed || stop.stop_requested())
        return nullptr;
    truePeak = meter.peak();
    if (limiter) {
        limiter->finish(held);
        for (float &x : held)
            x /= 32768.0f;
        if (!addHeld())
            return nullptr;
    }
    return state;
}

// Measures each range into a state of its own, side by side; nothing unless all succeeded.
std::vector<State>
measureRanges(MediaAsset &asset, const MediaTrack &track, const PcmOutputSettings &output,
              const std::vector<std::optional<MediaTimeRange>> &ranges, const std::stop_token &stop,
              const std::optional<LimitedGain> &limited, std::vector<qint64> &frames,
              std::vector<int> &samplePeaks, std::vector<double> &truePeaks)
{
    std::vector<State> states(ranges.size());
    frames.assign(ranges.size(), 0);
    samplePeaks.assign(ranges.size(), 0);
    truePeaks.assign(ranges.size(), 0.0);
    {
        const auto measure = [&](size_t i) {
            try {
                states[i] = measurePart(asset, track, output, ranges[i], stop, limited, frames[i],
                                        samplePeaks[i], truePeaks[i]);
            } catch (...) {
            }
        };
        std::vector<std::jthread> helpers;
        for (size_t i = 1; i < ranges.size(); ++i)
            helpers.emplace_back(measure, i);
        measure(0);
    }
    for (const State &state : states) {
        if (!state)
            return {};
    }
    return states;
}

// Abutting ranges of at least a minute each, up to `parts` of them, covering the range or the
// whole track. A part misses the few gating blocks that straddle its start, and its true-peak
// filter starts from silence there: the loudness moves by far less than 0.1 LU, and the peak
// can only read high, which costs gain but never lets a peak through.
std::vector<std::optional<MediaTimeRange>>
splitForMeasuring(const std::optional<MediaTimeRange> &timeRange, double durationSeconds, int parts)
{
    const MediaTimeRange whole =
        timeRange.value_or(MediaTimeRange::fromSeconds(0.0, durationSeconds));
    const qint64 minute = 60 * MediaTimeRange::timescale;
    parts = int(std::clamp<qint64>(whole.duration / minute, 1, std::max(parts, 1)));
    if (parts == 1)
        return {timeRange};
    std::vector<std::optional<MediaTimeRange>> ranges;
    for (int i = 0; i < parts; ++i) {
        const qint64 from = whole.start + whole.duration * i / parts;
        const qint64 to = whole.start + whole.duration * (i + 1) / parts;
        // Untrimmed, the last part reads on past the stated duration, as the encoder does: a
        // track may run longer than its container says.
        const bool open = !timeRange && i == parts - 1;
        const qint64 slack = open ? 3600 * qint64(MediaTimeRange::timescale) : 0;
        ranges.push_back(MediaTimeRange{from, to - from + slack});
    }
    return ranges;
}

// Measures every part, through the limiter when there is one, and combines them.
std::optional<LoudnessMeasurement>
measureParts(MediaAsset &asset, const MediaTrack &track, const PcmOutputSettings &output,
             const std::optional<MediaTimeRange> &timeRange, double durationSeconds, int parts,
             const std::optional<LimitedGain> &limited, const std::stop_token &stop)
{
    std::vector<qint64> frames;
    std::vector<int> samplePeaks;
    std::vector<double> truePeaks;
    const std::vector<State> states =
        measureRanges(asset, track, output, splitForMeasuring(timeRange, durationSeconds, parts),
                      stop, limited, frames, samplePeaks, truePeaks);
    if (states.empty())
        return std::nullopt;
    std::vector<ebur128_state *> measured;
    for (const State &state : states)
        measured.push_back(state.get());

    LoudnessMeasurement result;
    result.samplePeak = *std::max_element(samplePeaks.begin(), samplePeaks.end());
    for (const qint64 count : frames)
        result.seconds += double(count) / output.sampleRate;
    if (ebur128_loudness_global_multiple(measured.data(), measured.size(),
                                         &result.integratedLufs) != EBUR128_SUCCESS)
        return std::nullopt;
    const double peak = *std::max_element(truePeaks.begin(), truePeaks.end());
    result.truePeakDbtp =
        peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
    return result;
}

} // namespace

std::optional<LoudnessMeasurement> measureLoudness(MediaAsset &asset, const MediaTrack &track,
                                                   const PcmOutputSettings &output,
                                                   const std::optional<MediaTimeRange> &timeRange,
                                                   double durationSeconds, int parts,
                                                   std::stop_token stop)
{
    return measureParts(asset, track, output, timeRange, durationSeconds, parts, std::nullopt,
                        stop);
}

std::optional<double> measureLimitedLoudness(MediaAsset &asset, const MediaTrack &track,
                                             const PcmOutputSettings &output,
                                             const std::optional<MediaTimeRange> &timeRange,
                                             double durationSeconds, int parts, LimitedGain limited,
                                             std::stop_token stop)
{
    const auto measured =
        measureParts(asset, track, output, timeRange, durationSeconds, parts, limited, stop);
    if (!measured)
        return std::nullopt;
    return measured->integratedLufs;
}

} // namespace tonbrook
