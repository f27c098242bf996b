#include "encoder/mp3_frames.h"

#include <algorithm>
#include <cstring>

namespace tonbrook::mp3 {

namespace {

constexpr int kBitrates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kRates[3] = {44100, 48000, 32000};

class BitReader {
public:
    explicit BitReader(const uint8_t *bytes) : m_bytes(bytes) {}
    int read(int count)
    {
        int value = 0;
        for (int i = 0; i < count; ++i, ++m_bit)
            value = (value << 1) | ((m_bytes[m_bit >> 3] >> (7 - (m_bit & 7))) & 1);
        return value;
    }
    void skip(int count) { m_bit += count; }

private:
    const uint8_t *m_bytes;
    size_t m_bit = 0;
};

// Room beyond the spill limit for the frames of one append.
constexpr size_t kAppendSlack = 64 * 1024;

} // namespace

int bitrateForIndex(int index)
{
    return index >= 1 && index <= 14 ? kBitrates[index] : 0;
}

int frameLength(int bitrateKbps, int sampleRate, int padding)
{
    return 144 * bitrateKbps * 1000 / sampleRate + padding;
}

bool parseHeader(const uint8_t *b, FrameHeader &h)
{
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    if (((b[1] >> 3) & 3) != 3 || ((b[1] >> 1) & 3) != 1) // MPEG-1, Layer III
        return false;
    const int bitrateIndex = b[2] >> 4;
    const int rateIndex = (b[2] >> 2) & 3;
    if (bitrateIndex < 1 || bitrateIndex > 14 || rateIndex == 3)
        return false;
    h.bitrateIndex = bitrateIndex;
    h.bitrateKbps = kBitrates[bitrateIndex];
    h.sampleRate = kRates[rateIndex];
    h.padding = (b[2] >> 1) & 1;
    h.channels = (b[3] >> 6) == 3 ? 1 : 2;
    h.hasCrc = (b[1] & 1) == 0;
    h.frameLength = frameLength(h.bitrateKbps, h.sampleRate, h.padding);
    h.headerLength = h.hasCrc ? 6 : 4;
    h.sideInfoLength = h.channels == 1 ? 17 : 32;
    return true;
}

SideInfo parseSideInfo(const uint8_t *bytes, int channels)
{
    SideInfo side;
    BitReader r(bytes);
    side.mainDataBegin = r.read(9);
    r.skip(channels == 1 ? 5 : 3); // private bits
    r.skip(4 * channels);          // scfsi
    for (int gr = 0; gr < granulesPerFrame; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannel &g = side.granules[gr][ch];
            g.part23Length = r.read(12);
            r.skip(9 + 8 + 4); // big_values, global_gain, scalefac_compress
            if (r.read(1)) {   // window switching
                g.blockType = r.read(2);
                r.skip(1 + 2 * 5 + 3 * 3); // mixed block, table_select, subblock_gain
            } else {
                g.blockType = 0;
                r.skip(3 * 5 + 4 + 3); // table_select, region0_count, region1_count
            }
            r.skip(3); // preflag, scalefac_scale, count1table_select
            side.payloadBits += g.part23Length;
        }
    }
    return side;
}

bool sameSideInfoButBegin(const uint8_t *a, const uint8_t *b, int length)
{
    // main_data_begin is the first byte and the top bit of the second.
    return (a[1] & 0x7F) == (b[1] & 0x7F) && std::memcmp(a + 2, b + 2, size_t(length - 2)) == 0;
}

bool sameBits(const uint8_t *a, const uint8_t *b, int64_t count)
{
    const auto whole = size_t(count / 8);
    if (std::memcmp(a, b, whole) != 0)
        return false;
    const int rest = int(count % 8);
    if (rest == 0)
        return true;
    const auto mask = uint8_t(0xFF << (8 - rest));
    return (a[whole] & mask) == (b[whole] & mask);
}

bool FrameStream::append(const uint8_t *bytes, size_t count)
{
    if (m_broken)
        return false;
    m_pending.insert(m_pending.end(), bytes, bytes + count);
    size_t at = 0;
    while (at + 4 <= m_pending.size()) {
        FrameHeader header;
        if (!parseHeader(m_pending.data() + at, header)) {
            m_broken = true;
            return false;
        }
        if (at + size_t(header.frameLength) > m_pending.size())
            break;
        const uint8_t *frame = m_pending.data() + at;
        at += size_t(header.frameLength);
        if (m_skipFirst && !m_skipped) {
            m_skipped = true;
            continue;
        }
        ParsedFrame f;
        f.header = header;
        const int headLength = header.headerLength + header.sideInfoLength;
        std::memcpy(f.head.data(), frame, size_t(headLength));
        f.side = parseSideInfo(f.sideInfo(), header.channels);
        f.dataStart = mainDataSize();
        f.dataLength = header.frameLength - headLength;
        f.payloadStart = f.dataStart - f.side.mainDataBegin;
        const int64_t end = f.payloadStart + (f.side.payloadBits + 7) / 8;
        f.payloadEnd = std::max(end, m_frames.empty() ? int64_t(0) : m_frames.back().payloadEnd);
        if (f.dataLength < 0 || f.payloadStart < 0 || end > f.dataStart + f.dataLength) {
            m_broken = true;
            return false;
        }
        m_held.insert(m_held.end(), frame + headLength, frame + header.frameLength);
        m_frames.push_back(f);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(at));
    if (m_spillAbove > 0 && m_held.size() > m_spillAbove) {
        const size_t moving = m_held.size() - m_keep;
        if (!m_spill)
            m_spill.reset(std::tmpfile());
        m_spillPosition = -1;
        if (!m_spill || std::fseek(m_spill.get(), 0, SEEK_END) != 0 ||
            std::fwrite(m_held.data(), 1, moving, m_spill.get()) != moving) {
            m_broken = m_spillFailed = true;
            return false;
        }
        m_held.erase(m_held.begin(), m_held.begin() + std::ptrdiff_t(moving));
        m_heldFrom += int64_t(moving);
    }
    return true;
}

void FrameStream::setSpill(size_t spillAbove, size_t keep)
{
    m_spillAbove = spillAbove;
    m_keep = std::min(keep, spillAbove);
    // The main data in memory never grows past the limit by more than one append's worth,
    // so it is allocated once.
    if (spillAbove > 0)
        m_held.reserve(spillAbove + kAppendSlack);
}

const uint8_t *FrameStream::heldMainData(int64_t pos) const
{
    if (pos < m_heldFrom || pos > mainDataSize())
        return nullptr;
    return m_held.data() + (pos - m_heldFrom);
}

bool FrameStream::readMainData(int64_t pos, size_t count, uint8_t *out) const
{
    if (pos < 0 || pos + int64_t(count) > mainDataSize())
        return false;
    if (pos < m_heldFrom) {
        const auto fromFile = size_t(std::min<int64_t>(int64_t(count), m_heldFrom - pos));
        if (!m_spill)
            return false;
        if (m_spillPosition != pos) {
            if (std::fseek(m_spill.get(), long(pos), SEEK_SET) != 0)
                return false;
        }
        if (std::fread(out, 1, fromFile, m_spill.get()) != fromFile) {
            m_spillPosition = -1;
            return false;
        }
        m_spillPosition = pos + int64_t(fromFile);
        pos += int64_t(fromFile);
        out += fromFile;
        count -= fromFile;
    }
    if (count > 0)
        std::memcpy(out, m_held.data() + (pos - m_heldFrom), count);
    return true;
}

std::shared_ptr<const FrameStream> FrameStream::snapshot() const
{
    auto copy = std::make_shared<FrameStream>(m_skipFirst);
    copy->m_broken = m_broken;
    copy->m_skipped = m_skipped;
    copy->m_pending = m_pending;
    copy->m_frames = m_frames;
    copy->m_held = m_held;
    copy->m_heldFrom = m_heldFrom;
    return copy;
}

namespace {

struct Crc16Table {
    std::array<uint16_t, 256> entries{};
    constexpr Crc16Table()
    {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
            entries[i] = uint16_t(crc);
        }
    }
};
constexpr Crc16Table kCrc16;

} // namespace

uint16_t crc16(uint16_t crc, const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        crc = uint16_t((crc >> 8) ^ kCrc16.entries[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

} // namespace tonbrook::mp3
