#pragma once

// Reading and rewriting MPEG-1 Layer III frames (32, 44.1 and 48 kHz): frame headers,
// side information and the main data the side information points at.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace tonbrook::mp3 {

inline constexpr int samplesPerFrame = 1152;
inline constexpr int granulesPerFrame = 2;

// Fields are as narrow as their ranges allow: a long file's streams hold one of these per
// frame in every segment.
struct FrameHeader {
    int32_t sampleRate = 0;
    int16_t bitrateKbps = 0;
    int16_t frameLength = 0;   // bytes, header included
    uint8_t bitrateIndex = 0;  // 1..14
    uint8_t padding = 0;       // 0 or 1 byte
    uint8_t channels = 0;      // 1 (mode 3) or 2
    uint8_t headerLength = 0;  // 4, or 6 with the check
    uint8_t sideInfoLength = 0; // 17 (mono) or 32 bytes
    bool hasCrc = false;       // 16-bit check after the header
};

// Parses four header bytes; false for anything but an MPEG-1 Layer III header with a
// valid bitrate index and sample rate.
bool parseHeader(const uint8_t *bytes, FrameHeader &header);

// Frame length in bytes for an MPEG-1 Layer III bitrate, rate and padding.
int frameLength(int bitrateKbps, int sampleRate, int padding);

// kbit/s of an MPEG-1 Layer III bitrate index (0 for free format or an invalid index).
int bitrateForIndex(int index);

// The fields of one granule of one channel that matter when frames are joined.
struct GranuleChannel {
    int16_t part23Length = 0; // bits of main data (scale factors and Huffman code)
    uint8_t blockType = 0;    // 0 long, 1 start, 2 short, 3 stop
};

struct SideInfo {
    int16_t mainDataBegin = 0; // bytes before this frame's data region where its main data starts
    int16_t payloadBits = 0;   // sum of part2_3_length over granules and channels
    std::array<std::array<GranuleChannel, 2>, granulesPerFrame> granules{};
};

SideInfo parseSideInfo(const uint8_t *sideInfo, int channels);

// Whether two side informations are equal apart from main_data_begin.
bool sameSideInfoButBegin(const uint8_t *a, const uint8_t *b, int length);

// Whether bits [aBit, aBit + count) of a equal bits [bBit, bBit + count) of b, where
// both start on a byte boundary (aBit, bBit multiples of 8).
bool sameBits(const uint8_t *a, const uint8_t *b, int64_t count);

// Header (with its check, if any) and side information: at most 6 + 32 bytes.
inline constexpr int maxHeadLength = 38;

// One frame of a stream of frames: its header and side information, and where its data
// region lies in the stream's main-data coordinates (the concatenation of every frame's
// data region).
struct ParsedFrame {
    int64_t dataStart = 0;    // main-data coordinate of the data region
    int64_t payloadStart = 0; // dataStart - mainDataBegin
    int64_t payloadEnd = 0;   // end of the main data of this and every earlier frame
    FrameHeader header;
    SideInfo side;
    std::array<uint8_t, maxHeadLength> head{}; // header and side information bytes
    int32_t dataLength = 0;                    // bytes of the data region

    int headLength() const { return header.headerLength + header.sideInfoLength; }
    const uint8_t *sideInfo() const { return head.data() + header.headerLength; }
};

// Frames parsed while the encoder's bytes come in. A frame counts once all of its bytes
// are there; its header and side information are kept with it and its data region is
// appended to the main data, so the stream's bytes are held only until then. Main data
// can move to an unnamed temporary file as it ages (see setSpill).
class FrameStream {
public:
    // The first frame of an encoder's output holds the place of the info frame: it is
    // kept out of frames() and main data when skipFirst is set.
    explicit FrameStream(bool skipFirst = true) : m_skipFirst(skipFirst) {}
    FrameStream(const FrameStream &) = delete;
    FrameStream &operator=(const FrameStream &) = delete;

    // Once more than spillAbove bytes of main data are in memory, all but the newest
    // keep bytes go to a temporary file (spillAbove 0: everything stays in memory).
    void setSpill(size_t spillAbove, size_t keep);
    // Room for this many frames, so that a long stream's list is not copied as it grows.
    void reserveFrames(size_t count) { m_frames.reserve(count); }

    // Appends bytes and parses every frame they complete; false once the bytes stop
    // being a stream of MPEG-1 Layer III frames or the temporary file failed (the
    // stream then stays broken).
    bool append(const uint8_t *bytes, size_t count);

    bool broken() const { return m_broken; }
    bool spillFailed() const { return m_spillFailed; }
    const std::vector<ParsedFrame> &frames() const { return m_frames; }

    int64_t mainDataSize() const { return m_heldFrom + int64_t(m_held.size()); }
    // Main data from pos on while it is in memory (until the next append); null for
    // bytes already moved to the file.
    const uint8_t *heldMainData(int64_t pos) const;
    // Copies main data [pos, pos + count) from memory or the file; false on a failure.
    bool readMainData(int64_t pos, size_t count, uint8_t *out) const;

    // A copy of the frames and the main data in memory (the file is not copied: the
    // copy's older bytes are not readable when some were moved).
    std::shared_ptr<const FrameStream> snapshot() const;

private:
    struct FileCloser {
        void operator()(std::FILE *file) const { std::fclose(file); }
    };

    bool m_skipFirst;
    bool m_broken = false;
    bool m_spillFailed = false;
    bool m_skipped = false;
    size_t m_spillAbove = 0;
    size_t m_keep = 0;
    std::vector<uint8_t> m_pending; // bytes of frames not yet complete
    std::vector<ParsedFrame> m_frames;
    std::vector<uint8_t> m_held; // main data [m_heldFrom, mainDataSize())
    int64_t m_heldFrom = 0;
    std::unique_ptr<std::FILE, FileCloser> m_spill; // main data [0, m_heldFrom)
    mutable int64_t m_spillPosition = -1;
};

// CRC-16 with polynomial 0x8005, reflected, starting at crc (the check LAME's tag uses).
uint16_t crc16(uint16_t crc, const uint8_t *bytes, size_t count);

} // namespace tonbrook::mp3
