#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <vector>

// A few seconds of tone plus noise: enough for the encoder to produce real frames.
inline std::vector<int16_t> toneWithNoise(int sampleRate, int channels, double seconds,
                                          double frequency = 440.0)
{
    const auto frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> samples(frames * static_cast<size_t>(channels));
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double tone =
                std::sin(2.0 * M_PI * frequency * (c + 1) * static_cast<double>(i) / sampleRate);
            const double hiss = (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0;
            samples[i * channels + c] = static_cast<int16_t>(12000.0 * tone + 2000.0 * hiss);
        }
    }
    return samples;
}

// Bytes that LAME takes for a JPEG picture (it only looks at the signature), filled
// with noise so that any truncation or reordering shows.
inline std::vector<unsigned char> jpegLikeBytes(size_t size)
{
    std::vector<unsigned char> bytes(size);
    uint32_t state = 2463534242u;
    for (auto &b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<unsigned char>(state);
    }
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xE0};
    std::copy(std::begin(head), std::end(head), bytes.begin());
    bytes[size - 2] = 0xFF;
    bytes[size - 1] = 0xD9;
    return bytes;
}
