#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

namespace tonbrook {

// The true peak of interleaved 16-bit samples, by the same 4x interpolation as the limiter
// below. Only the neighbourhoods of samples loud enough to pass the highest peak found so far
// are interpolated: on most audio a small part of it, so that this costs little more than
// finding the sample peak.
class TruePeakMeter {
public:
    explicit TruePeakMeter(int channels);

    void add(std::span<const int16_t> samples);
    // The highest magnitude found, full scale being 1; the last frames count once the input
    // has ended, so call it after the last add().
    double peak();

private:
    void examine(std::size_t end);

    int m_channels;
    // Interleaved: frames already examined that the next ones reach back to, then frames
    // waiting for the ones they reach ahead to.
    std::vector<float> m_buffer;
    std::size_t m_examined; // frames of m_buffer examined
    float m_peak = 0.0f;
    bool m_finished = false;
};

// A look-ahead limiter that holds the true peak of interleaved float samples under a ceiling:
// the peaks between samples count, estimated by 4x oversampling as ITU-R BS.1770 does. One gain
// for all channels. It attacks over the look-ahead, so that the gain is already down when a
// peak arrives, and releases exponentially. Samples come out delayed by latencyFrames(); the
// last ones come out of finish(), so the count that comes out equals the count that went in.
class TruePeakLimiter {
public:
    // ceiling is in the samples' own unit (32767 for 16-bit scale floats, 1 for unit scale).
    TruePeakLimiter(int sampleRate, int channels, float ceiling, double lookAheadSeconds = 0.005,
                    double releaseSeconds = 0.080);

    int latencyFrames() const;

    // Takes whole frames and appends to out the frames that are ready.
    void process(std::span<const float> samples, std::vector<float> &out);
    // Appends the frames still held back.
    void finish(std::vector<float> &out);

    // The lowest gain applied so far, 1 when the limiter never acted.
    float lowestGain() const { return m_lowestGain; }

private:
    void push(const float *frame, std::vector<float> &out);
    float peakAfter(std::size_t frame) const;

    int m_channels;
    float m_ceiling;
    int m_lookAhead;
    double m_releaseStep;
    std::size_t m_pushed = 0;  // frames that went in
    std::size_t m_emitted = 0; // frames that came out
    std::size_t m_capacity;    // frames kept in m_history, a power of two
    std::vector<float> m_history;
    std::vector<float> m_magnitude; // per kept frame: the largest |sample| over the channels
    std::size_t m_loudInReach = 0;  // frames in the interpolator's reach that could pass
    float m_previousPeak = 0.0f;    // the largest magnitude over [j - 1, j)
    std::deque<std::pair<std::size_t, float>> m_minimum; // sliding minimum of required gains
    // Double: a float's steps near 1 are coarser than the release's last ones.
    double m_released = 1.0;
    std::vector<float> m_smoothed; // released gains of the last m_lookAhead frames
    double m_smoothedSum = 0.0;
    float m_lowestGain = 1.0f;
};

} // namespace tonbrook
