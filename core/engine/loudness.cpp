#include "engine/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

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

std::optional<LoudnessMeasurement> measureLoudness(MediaAsset &asset, const MediaTrack &track,
                                                   const PcmOutputSettings &output,
                                                   const std::optional<MediaTimeRange> &timeRange,
                                                   std::stop_token stop)
{
    try {
        const std::unique_ptr<ebur128_state, StateDeleter> state(ebur128_init(
            unsigned(output.channelCount), static_cast<unsigned long>(output.sampleRate),
            EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
        if (!state)
            return std::nullopt;
        auto reader = asset.createReader();
        MediaAssetReader *const activeReader = reader.get();
        const std::stop_callback cancelReader(stop,
                                              [activeReader] { activeReader->cancelReading(); });
        if (timeRange)
            reader->setTimeRange(*timeRange);
        if (!reader->canAddOutput(track, output))
            return std::nullopt;
        reader->addOutput(track, output);
        if (!reader->startReading())
            return std::nullopt;
        qint64 frames = 0;
        while (reader->status() == ReaderStatus::reading) {
            if (stop.stop_requested())
                return std::nullopt;
            const auto buffer = reader->copyNextSampleBuffer();
            if (!buffer)
                break;
            const size_t count = buffer->samples.size() / size_t(output.channelCount);
            if (count == 0)
                continue;
            if (ebur128_add_frames_short(state.get(), buffer->samples.data(), count) !=
                EBUR128_SUCCESS)
                return std::nullopt;
            frames += qint64(count);
        }
        if (reader->status() == ReaderStatus::failed || stop.stop_requested())
            return std::nullopt;

        LoudnessMeasurement measured;
        measured.seconds = double(frames) / output.sampleRate;
        if (ebur128_loudness_global(state.get(), &measured.integratedLufs) != EBUR128_SUCCESS)
            return std::nullopt;
        double peak = 0.0;
        for (int channel = 0; channel < output.channelCount; ++channel) {
            double channelPeak = 0.0;
            if (ebur128_true_peak(state.get(), unsigned(channel), &channelPeak) != EBUR128_SUCCESS)
                return std::nullopt;
            peak = std::max(peak, channelPeak);
        }
        measured.truePeakDbtp =
            peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
        return measured;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace tonbrook
