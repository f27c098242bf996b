#pragma once

#include "model/media_reader.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <stop_token>
#include <vector>

namespace tonbrook {

// The shape of one audio track for drawing: the time from startSeconds on is cut into equal
// buckets, and each keeps the lowest and the highest sample over all channels, in 16-bit
// units, taken together with zero: silence, and a bucket no sample fell into, are zeros.
struct WaveformEnvelope {
    double startSeconds = 0.0;
    double secondsPerBucket = 0.0;
    std::vector<qint16> lowest;
    std::vector<qint16> highest;
    // Empty when the audio decoded; otherwise why the envelope stays flat, in English.
    QString problem;
    // The same in the user's language, to be shown.
    QString localizedProblem;

    void setProblem(const TranslatableText &text)
    {
        problem = text.english();
        localizedProblem = text.localized();
    }
    std::size_t bucketCount() const { return lowest.size(); }
    // What the envelope keeps in memory beyond the object itself.
    std::size_t memoryBytes() const
    {
        return (lowest.capacity() + highest.capacity()) * sizeof(qint16) +
               std::size_t(problem.capacity() + localizedProblem.capacity()) * sizeof(QChar);
    }
    bool operator==(const WaveformEnvelope &) const = default;
};

// Enough detail to draw a whole file on a wide screen and zoom in a little; 16,000 bytes.
inline constexpr int overviewWaveformBuckets = 4000;

// Decodes the track over [startSeconds, endSeconds) once, at its own rate, and folds it into
// `buckets` buckets: the whole track for an overview, a stretch of it for a zoomed view.
// Nothing once stop is requested; a track that does not decode gives a flat envelope with a
// problem.
std::optional<WaveformEnvelope> computeWaveform(MediaAsset &asset, const MediaTrack &track,
                                                double startSeconds, double endSeconds, int buckets,
                                                std::stop_token stop = {});

} // namespace tonbrook
