#include "engine/true_peak_limiter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>

namespace tonbrook {

namespace {

// The interpolator: three phases between each pair of samples, twelve taps each, reaching five
// frames back and six ahead: y(j + p/4) = sum over k of x[j + k] * h[p][k + 5].
constexpr int tapsBack = 5;
constexpr int tapsAhead = 6;
constexpr int taps = tapsBack + tapsAhead + 1;
constexpr int phases = 3;

struct Interpolator {
    std::array<std::array<float, taps>, phases> h{};
    // The most any phase can add to the largest magnitude in its reach.
    float worstGain = 0.0f;

    Interpolator()
    {
        constexpr double halfWidth = tapsAhead + 0.5;
        for (int p = 0; p < phases; ++p) {
            const double offset = double(p + 1) / 4.0;
            double sum = 0.0;
            std::array<double, taps> raw{};
            for (int k = -tapsBack; k <= tapsAhead; ++k) {
                const double t = k - offset;
                const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
                const double window = 0.5 * (1.0 + std::cos(std::numbers::pi * t / halfWidth));
                raw[std::size_t(k + tapsBack)] = sinc * window;
                sum += sinc * window;
            }
            double absolute = 0.0;
            for (int k = 0; k < taps; ++k) {
                h[std::size_t(p)][std::size_t(k)] = float(raw[std::size_t(k)] / sum);
                absolute += std::abs(raw[std::size_t(k)] / sum);
            }
            worstGain = std::max(worstGain, float(absolute));
        }
    }
};

const Interpolator &interpolator()
{
    static const Interpolator shared;
    return shared;
}

} // namespace

TruePeakMeter::TruePeakMeter(int channels)
    : m_channels(std::max(channels, 1)),
      m_buffer(std::size_t(tapsBack) * std::size_t(m_channels), 0.0f), m_examined(tapsBack)
{
}

void TruePeakMeter::add(std::span<const int16_t> samples)
{
    const std::size_t frames = samples.size() / std::size_t(m_channels);
    m_buffer.insert(m_buffer.end(), samples.begin(),
                    samples.begin() + std::ptrdiff_t(frames * std::size_t(m_channels)));
    const std::size_t available = m_buffer.size() / std::size_t(m_channels);
    if (available >= std::size_t(tapsAhead))
        examine(available - std::size_t(tapsAhead));
}

double TruePeakMeter::peak()
{
    if (!m_finished) {
        // The last frames reach ahead into silence.
        m_buffer.insert(m_buffer.end(), std::size_t(tapsAhead) * std::size_t(m_channels), 0.0f);
        examine(m_buffer.size() / std::size_t(m_channels) - std::size_t(tapsAhead));
        m_finished = true;
    }
    return double(m_peak) / 32768.0;
}

// Examines the frames from m_examined up to end, then drops all but what the next ones need.
void TruePeakMeter::examine(std::size_t end)
{
    const Interpolator &filter = interpolator();
    const std::size_t channels = std::size_t(m_channels);
    constexpr std::size_t chunk = 64;
    for (std::size_t from = m_examined; from < end; from += chunk) {
        const std::size_t to = std::min(end, from + chunk);
        // Nothing between these frames can pass the peak unless a sample in reach is loud.
        float loudest = 0.0f;
        for (std::size_t i = (from - tapsBack) * channels; i < (to + tapsAhead) * channels; ++i)
            loudest = std::max(loudest, std::abs(m_buffer[i]));
        if (loudest * filter.worstGain <= m_peak)
            continue;
        // One channel at a time, contiguous, so that the sums vectorise over the frames.
        const std::size_t count = to - from;
        std::array<float, chunk + taps> x{};
        std::array<float, chunk> y{};
        for (std::size_t c = 0; c < channels; ++c) {
            for (std::size_t i = 0; i < count + taps - 1; ++i)
                x[i] = m_buffer[(from - tapsBack + i) * channels + c];
            float highest = 0.0f;
            for (std::size_t j = 0; j < count; ++j)
                highest = std::max(highest, std::abs(x[j + tapsBack]));
            for (const auto &h : filter.h) {
                y.fill(0.0f);
                for (std::size_t k = 0; k < std::size_t(taps); ++k)
                    for (std::size_t j = 0; j < chunk; ++j)
                        y[j] += h[k] * x[j + k];
                for (std::size_t j = 0; j < count; ++j)
                    highest = std::max(highest, std::abs(y[j]));
            }
            m_peak = std::max(m_peak, highest);
        }
    }
    m_examined = std::max(m_examined, end);
    const std::size_t keepFrom = m_examined - tapsBack;
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(keepFrom * channels));
    m_examined = tapsBack;
}

TruePeakLimiter::TruePeakLimiter(int sampleRate, int channels, float ceiling,
                                 double lookAheadSeconds, double releaseSeconds)
    : m_channels(std::max(channels, 1)), m_ceiling(ceiling),
      m_lookAhead(std::max(1, int(std::lround(lookAheadSeconds * sampleRate)))),
      m_releaseStep(1.0 - std::exp(-1.0 / std::max(1.0, releaseSeconds * sampleRate))),
      m_capacity(std::bit_ceil(std::size_t(m_lookAhead + taps + 1))),
      m_history(m_capacity * std::size_t(m_channels), 0.0f), m_magnitude(m_capacity, 0.0f),
      m_smoothed(std::size_t(m_lookAhead), 1.0f), m_smoothedSum(double(m_lookAhead))
{
}

int TruePeakLimiter::latencyFrames() const
{
    return m_lookAhead - 1 + tapsAhead;
}

void TruePeakLimiter::process(std::span<const float> samples, std::vector<float> &out)
{
    const std::size_t frames = samples.size() / std::size_t(m_channels);
    out.reserve(out.size() + samples.size());
    for (std::size_t i = 0; i < frames; ++i)
        push(samples.data() + i * std::size_t(m_channels), out);
}

void TruePeakLimiter::finish(std::vector<float> &out)
{
    const std::vector<float> silence(std::size_t(m_channels), 0.0f);
    const std::size_t total = m_pushed;
    // Silence pushes the held frames out; none of it comes out itself.
    while (m_emitted < total)
        push(silence.data(), out);
}

// The largest magnitude over [frame, frame + 1): the sample and the three points after it.
float TruePeakLimiter::peakAfter(std::size_t frame) const
{
    const std::size_t mask = m_capacity - 1;
    float peak = m_magnitude[frame & mask];
    const Interpolator &filter = interpolator();
    for (int c = 0; c < m_channels; ++c) {
        std::array<float, taps> x{};
        for (int k = 0; k < taps; ++k) {
            const std::size_t at = (frame + std::size_t(k) - std::size_t(tapsBack)) & mask;
            x[std::size_t(k)] = m_history[at * std::size_t(m_channels) + std::size_t(c)];
        }
        for (const auto &h : filter.h) {
            float y = 0.0f;
            for (std::size_t k = 0; k < std::size_t(taps); ++k)
                y += h[k] * x[k];
            peak = std::max(peak, std::abs(y));
        }
    }
    return peak;
}

void TruePeakLimiter::push(const float *frame, std::vector<float> &out)
{
    const std::size_t mask = m_capacity - 1;
    const std::size_t n = m_pushed++;
    const float threshold = m_ceiling / interpolator().worstGain;

    // Whether the frame leaving the interpolator's reach, and the one entering it, are loud
    // enough for a point between samples near them to pass the ceiling.
    if (n >= std::size_t(taps) && m_magnitude[(n - taps) & mask] > threshold)
        --m_loudInReach;
    float magnitude = 0.0f;
    for (int c = 0; c < m_channels; ++c) {
        m_history[(n & mask) * std::size_t(m_channels) + std::size_t(c)] = frame[c];
        magnitude = std::max(magnitude, std::abs(frame[c]));
    }
    m_magnitude[n & mask] = magnitude;
    if (magnitude > threshold)
        ++m_loudInReach;

    // The frame whose neighbourhood is now complete, and the gain the peaks on either side of
    // it need.
    if (n < std::size_t(tapsAhead))
        return;
    const std::size_t j = n - std::size_t(tapsAhead);
    const float peak = m_loudInReach > 0 ? peakAfter(j) : m_magnitude[j & mask];
    const float around = std::max(peak, m_previousPeak);
    m_previousPeak = peak;
    const float required = around > m_ceiling ? m_ceiling / around : 1.0f;

    // The lowest requirement over the look-ahead, released slowly, then averaged over the
    // look-ahead: every average that reaches a frame covers the minimum taken at it, so the
    // frame gets no more than it needs.
    while (!m_minimum.empty() && m_minimum.back().second >= required)
        m_minimum.pop_back();
    m_minimum.emplace_back(j, required);
    while (m_minimum.front().first + std::size_t(m_lookAhead) <= j)
        m_minimum.pop_front();
    const double held = m_minimum.front().second;
    m_released = held < m_released ? held : m_released + (held - m_released) * m_releaseStep;
    // A release ends: the last millionth is no audible gain, and the samples after it come
    // through untouched.
    if (held - m_released < 1e-6)
        m_released = held;
    const std::size_t slot = j % std::size_t(m_lookAhead);
    m_smoothedSum += m_released - double(m_smoothed[slot]);
    m_smoothed[slot] = float(m_released);
    // A running sum drifts; summing afresh once per look-ahead keeps it exact.
    if (slot + 1 == std::size_t(m_lookAhead)) {
        m_smoothedSum = 0.0;
        for (const float value : m_smoothed)
            m_smoothedSum += value;
    }

    if (j + 1 < std::size_t(m_lookAhead))
        return;
    const std::size_t emitted = j + 1 - std::size_t(m_lookAhead);
    const float gain = std::min(1.0f, float(m_smoothedSum / m_lookAhead));
    m_lowestGain = std::min(m_lowestGain, gain);
    const float *source = &m_history[(emitted & mask) * std::size_t(m_channels)];
    for (int c = 0; c < m_channels; ++c)
        out.push_back(source[c] * gain);
    m_emitted = emitted + 1;
}

} // namespace tonbrook
