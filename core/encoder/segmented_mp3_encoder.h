#pragma once

// One MP3 file encoded on several threads: the PCM is cut into segments on the frame
// grid, each segment is encoded by its own encoder that starts a little early, and the
// frame streams are joined where the later encoder has caught up with the earlier one,
// so that the file decodes to the same samples as one encoder over the whole input.
// Only MPEG-1 rates (32, 44.1, 48 kHz) are split; other rates are encoded in one piece.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tonbrook {

// Random access to the whole input as interleaved signed 16-bit PCM. read() is called
// from several threads at once, each for its own range of positions.
//
// A source may still be filling while it is read (a decoder appending to it): the
// segments are then planned on expectedFrameCount(), readUpTo() waits for the frames it
// is asked for, and the exact length is taken once the source has ended.
class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Number of sample frames (samples per channel); a source still filling waits for
    // its end (or its failure) first.
    virtual int64_t frameCount() const = 0;
    // Copies count sample frames from position firstFrame on into interleaved; false on
    // a read failure.
    virtual bool read(int64_t firstFrame, int32_t count, int16_t *interleaved) = 0;

    // The frames the source expects to hold in all, to plan segments on before it ends.
    virtual int64_t expectedFrameCount() const { return frameCount(); }
    // The frames that can be read now, without waiting.
    virtual int64_t readyFrameCount() const { return frameCount(); }
    // Copies up to count frames from firstFrame on, fewer only where the input ends there;
    // returns how many, or -1 on a read failure. A source still filling waits for them.
    virtual int32_t readUpTo(int64_t firstFrame, int32_t count, int16_t *interleaved)
    {
        const auto available =
            int32_t(std::clamp<int64_t>(frameCount() - firstFrame, 0, int64_t(count)));
        if (available == 0)
            return 0;
        return read(firstFrame, available, interleaved) ? available : -1;
    }
};

struct Mp3Tags {
    std::optional<std::string> title, artist, album, year, genre, comment;
    std::vector<unsigned char> coverArt;
    // User text frames (TXXX) as description and value.
    std::vector<std::pair<std::string, std::string>> userTexts;
};

struct SegmentedMp3Settings {
    int sampleRate = 44100;      // of the PCM and the MP3
    int channels = 2;            // 1 or 2
    int bitrateKbps = 320;       // at a constant bitrate
    int vbrQuality = -1;         // 0..9 selects VBR at that quality
    int segments = 2;            // wanted number of threads; fewer for short or non-MPEG-1 input
    std::optional<Mp3Tags> tags; // ID3v2 at the start and ID3v1 at the end, as a single pass

    // Main data a segment holds in memory before the older part moves to an unnamed
    // temporary file (0: all of it stays in memory). Raised to what the join needs.
    size_t memoryPerSegmentBytes = size_t(8) << 20;

    // Frames a later encoder starts before its segment (then rounded down so that the
    // padding of constant-bitrate frames falls where a single pass puts it).
    int warmupFrames = 16;
    // Frames past a boundary within which the earlier encoder looks for the join before
    // it settles for the fallback join.
    int maxOverlapFrames = 128;
    // Joins at the first place the fallback rules allow, without waiting for the two
    // encoders to agree (to exercise that path).
    bool forceFallbackJoin = false;
};

// How one boundary between two segments was joined.
struct SegmentJoin {
    int64_t boundaryFrame = 0; // nominal first frame of the later segment
    int64_t startFrame = 0;    // first frame the later encoder encoded
    int64_t joinFrame = 0;     // first frame taken from the later encoder
    bool converged = false;    // false: the fallback join was used
    int relabels = 0;          // bitrate steps added to the frame before the join
    int paddingBytes = 0;      // zero bytes those steps added
    // Frames the later encoder ran before the join (its warm-up).
    int64_t warmup() const { return joinFrame - startFrame; }
    // Frames past the boundary taken from the earlier encoder (it encoded some more to
    // see that the later one agreed).
    int64_t pastBoundary() const { return joinFrame - boundaryFrame; }
};

struct SegmentedMp3Result {
    int segments = 1;
    int64_t frames = 0; // audio frames, the info frame not counted
    int64_t bytes = 0;  // file bytes written
    std::vector<SegmentJoin> joins;
};

// Encodes source into out (positioned at the start of the file to be; left open) and
// returns how it went. Throws MP3EncoderError: contextCreationFailed or
// initializationFailed when an encoder could not be made; writeFailed for an encoder or
// file failure (LAME's and the C layer's codes, -3 for the output or the temporary
// file, -4 for a source read failure, -5 when the frames could not be joined);
// encodingCancelled once *cancel is set (checked between blocks of frames on every
// thread). progress, when given, is called on the calling thread with the done
// fraction (0..1).
SegmentedMp3Result encodeSegmentedMp3(PcmSource &source, const SegmentedMp3Settings &settings,
                                      std::FILE *out, const std::atomic<bool> *cancel = nullptr,
                                      const std::function<void(double)> &progress = {});

// The same into a file created (or truncated) at path (UTF-8).
SegmentedMp3Result encodeSegmentedMp3(PcmSource &source, const SegmentedMp3Settings &settings,
                                      const std::string &path,
                                      const std::atomic<bool> *cancel = nullptr,
                                      const std::function<void(double)> &progress = {});

} // namespace tonbrook
