#include "encoder/segmented_mp3_encoder.h"

#include "encoder/lame_encoder.h"
#include "encoder/mp3_encoder.h"
#include "encoder/mp3_frames.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace tonbrook {

namespace {

using mp3::FrameStream;
using mp3::ParsedFrame;

// Frames that must agree, frame for frame, before the later encoder is trusted.
constexpr int kAgreeFrames = 8;
// Frames encoded per call before the boundary, and after it while looking for the join.
constexpr int kChunkFrames = 16;
constexpr int kJoinChunkFrames = 2;
// Frames the first segment encodes while the speed of a filling source is measured.
constexpr int kLatenessFrames = 256;
// Error codes of writeFailed beside LAME's and the C layer's.
constexpr int32_t kFileError = -3;
constexpr int32_t kSourceError = -4;
constexpr int32_t kJoinError = -5;

struct ContextDeleter {
    void operator()(LameEncoderContext *ctx) const { lame_encoder_destroy(ctx); }
};
using ContextPtr = std::unique_ptr<LameEncoderContext, ContextDeleter>;

// Constant-bitrate frames at 44.1 kHz and 32 kHz carry a padding byte in a pattern
// that repeats every this many frames; a later encoder starts on that pattern.
int paddingPeriod(int sampleRate)
{
    switch (sampleRate) {
    case 44100:
        return 49;
    case 32000:
        return 2;
    default:
        return 1;
    }
}

bool isMpeg1Rate(int rate)
{
    return rate == 32000 || rate == 44100 || rate == 48000;
}

struct Segment {
    int64_t startFrame = 0; // first frame encoded
    int64_t boundary = 0;   // nominal first frame of the segment
    int64_t end = 0;        // nominal first frame of the next segment
    ContextPtr ctx;
    FrameStream stream;
    std::atomic<int64_t> encodedFrames{0};

    // The first frames of this segment, copied for the previous segment's join search.
    std::mutex mutex;
    std::condition_variable published;
    std::shared_ptr<const FrameStream> prefix;

    // The join with the next segment, written by this segment's thread.
    SegmentJoin join;
    int relabeledIndex = 0; // bitrate index for the frame before the join; 0: unchanged
};

struct Shared {
    Shared(const SegmentedMp3Settings &s, PcmSource &p, const std::atomic<bool> *c)
        : settings(s), source(p), cancel(c)
    {
    }
    const SegmentedMp3Settings &settings;
    PcmSource &source;
    const std::atomic<bool> *cancel;
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    std::exception_ptr error;
    std::atomic<int> running{0};

    // Segments after the first wait for their places (see planSegments).
    std::mutex planMutex;
    std::condition_variable planReady;
    std::atomic<bool> planned{false};

    bool waitForPlan()
    {
        std::unique_lock lock(planMutex);
        while (!planned.load()) {
            if (stopped())
                return false;
            planReady.wait_for(lock, std::chrono::milliseconds(20));
        }
        return true;
    }
    void publishPlan()
    {
        {
            const std::lock_guard lock(planMutex);
            planned = true;
        }
        planReady.notify_all();
    }

    bool stopped() const
    {
        return failed.load() || (cancel && cancel->load(std::memory_order_relaxed));
    }
    void fail(std::exception_ptr e)
    {
        {
            std::lock_guard lock(errorMutex);
            if (!error)
                error = e;
        }
        failed = true;
    }
};

enum class Verdict { yes, no, needMore };

// Looks for the join between A (the earlier segment, still encoding) and B's first frames.
class JoinSearch {
public:
    JoinSearch(const Segment &a, const FrameStream &b, int64_t bStart, bool constantBitrate)
        : m_a(a), m_b(b), m_bStart(bStart), m_cbr(constantBitrate)
    {
    }

    // Whether A's frames and B's agree from global frame j on.
    Verdict agrees(int64_t j) const
    {
        const auto &af = m_a.stream.frames();
        const auto &bf = m_b.frames();
        const int64_t a = j - m_a.startFrame;
        const int64_t b = j - m_bStart;
        if (int64_t(bf.size()) < b + kAgreeFrames)
            return Verdict::no;
        if (int64_t(af.size()) < a + kAgreeFrames)
            return Verdict::needMore;
        for (int t = 0; t < kAgreeFrames; ++t) {
            const ParsedFrame &fa = af[size_t(a + t)];
            const ParsedFrame &fb = bf[size_t(b + t)];
            if (fa.header.sideInfoLength != fb.header.sideInfoLength ||
                fa.header.headerLength != fb.header.headerLength)
                return Verdict::no;
            if (m_cbr && fa.side.mainDataBegin != fb.side.mainDataBegin)
                return Verdict::no;
            // Mode and mode extension (mid/side, intensity) change what the bits mean;
            // at a variable bitrate the bitrate index may differ, it only sizes the frame.
            const uint8_t *ha = fa.head.data();
            const uint8_t *hb = fb.head.data();
            const uint8_t rateMask = m_cbr ? 0xFF : 0x0C;
            if (ha[1] != hb[1] || ha[3] != hb[3] || (ha[2] & rateMask) != (hb[2] & rateMask))
                return Verdict::no;
            if (!mp3::sameSideInfoButBegin(fa.sideInfo(), fb.sideInfo(), fa.header.sideInfoLength))
                return Verdict::no;
            const uint8_t *pa = m_a.stream.heldMainData(fa.payloadStart);
            const uint8_t *pb = m_b.heldMainData(fb.payloadStart);
            if (!pa || !pb)
                throw MP3EncoderError::writeFailed(kJoinError);
            if (!mp3::sameBits(pa, pb, fa.side.payloadBits))
                return Verdict::no;
        }
        return Verdict::yes;
    }

    // Whether the reservoir A leaves before j holds what B's frame j reaches back for,
    // enlarging A's frame j-1 at a variable bitrate; fills the join's relabel fields.
    Verdict fits(int64_t j, SegmentJoin &join, int &relabeledIndex) const
    {
        const auto &af = m_a.stream.frames();
        const auto &bf = m_b.frames();
        int64_t a = 0, b = 0;
        if (const auto missing = locate(j, a, b))
            return *missing;
        const ParsedFrame &before = af[size_t(a - 1)];
        const int64_t free = af[size_t(a)].dataStart - before.payloadEnd;
        const int needed = bf[size_t(b)].side.mainDataBegin;
        join.relabels = 0;
        join.paddingBytes = 0;
        relabeledIndex = 0;
        if (free >= needed)
            return Verdict::yes;
        if (m_cbr)
            return Verdict::no;
        const int oldLength = before.header.frameLength;
        for (int index = before.header.bitrateIndex + 1; index <= 14; ++index) {
            const int grown = mp3::frameLength(mp3::bitrateForIndex(index),
                                               before.header.sampleRate, before.header.padding);
            if (free + (grown - oldLength) >= needed) {
                join.relabels = index - before.header.bitrateIndex;
                join.paddingBytes = grown - oldLength;
                relabeledIndex = index;
                return Verdict::yes;
            }
        }
        return Verdict::no;
    }

    // Whether the window shapes of A's last granule before j and B's first at j may follow
    // each other (long or stop before long or start; start or short before short or stop).
    Verdict windowsFollow(int64_t j) const
    {
        const auto &af = m_a.stream.frames();
        const auto &bf = m_b.frames();
        int64_t a = 0, b = 0;
        if (const auto missing = locate(j, a, b))
            return *missing;
        const ParsedFrame &before = af[size_t(a - 1)];
        const ParsedFrame &after = bf[size_t(b)];
        if (before.header.channels != after.header.channels)
            return Verdict::no;
        for (int ch = 0; ch < before.header.channels; ++ch) {
            const int prev = before.side.granules[1][size_t(ch)].blockType;
            const int next = after.side.granules[0][size_t(ch)].blockType;
            const bool prevLong = prev == 0 || prev == 3;
            const bool nextLong = next == 0 || next == 1;
            if (prevLong != nextLong)
                return Verdict::no;
        }
        return Verdict::yes;
    }

private:
    // Where frame j lies in A's frames (a) and in B's (b); a verdict when either lacks it.
    std::optional<Verdict> locate(int64_t j, int64_t &a, int64_t &b) const
    {
        a = j - m_a.startFrame;
        b = j - m_bStart;
        if (b >= int64_t(m_b.frames().size()) || b < 0)
            return Verdict::no;
        if (a >= int64_t(m_a.stream.frames().size()))
            return Verdict::needMore;
        return std::nullopt;
    }

    const Segment &m_a;
    const FrameStream &m_b;
    int64_t m_bStart;
    bool m_cbr;
};

void appendOrFail(Segment &seg, const unsigned char *bytes, int32_t count)
{
    if (count < 0)
        throw MP3EncoderError::writeFailed(count);
    if (count > 0 && !seg.stream.append(bytes, size_t(count)))
        throw MP3EncoderError::writeFailed(seg.stream.spillFailed() ? kFileError : kJoinError);
}

void publishPrefix(Segment &seg)
{
    auto copy = seg.stream.snapshot();
    {
        std::lock_guard lock(seg.mutex);
        seg.prefix = std::move(copy);
    }
    seg.published.notify_all();
}

std::shared_ptr<const FrameStream> waitForPrefix(Segment &seg, const Shared &shared)
{
    std::unique_lock lock(seg.mutex);
    while (!seg.prefix) {
        if (shared.stopped())
            return nullptr;
        seg.published.wait_for(lock, std::chrono::milliseconds(20));
    }
    return seg.prefix;
}

void encodeSegment(Shared &shared, std::vector<std::unique_ptr<Segment>> &segments, size_t k)
{
    const SegmentedMp3Settings &settings = shared.settings;
    if (k > 0 && !shared.waitForPlan())
        return;
    Segment &seg = *segments[k];
    Segment *next = k + 1 < segments.size() ? segments[k + 1].get() : nullptr;
    const int channels = settings.channels;
    const bool cbr = uint32_t(settings.vbrQuality) > 9u;
    const int64_t prefixFrames =
        (seg.boundary - seg.startFrame) + settings.maxOverlapFrames + kAgreeFrames + 2;

    std::vector<int16_t> pcm(size_t(kChunkFrames) * mp3::samplesPerFrame * size_t(channels));
    int64_t position = seg.startFrame * mp3::samplesPerFrame;
    bool ended = false; // the input ends at position
    bool flushed = false;
    bool published = k == 0;
    std::shared_ptr<const FrameStream> nextPrefix;
    std::optional<JoinSearch> search;
    int64_t candidate = 0; // set once the boundary is known
    bool fallback = settings.forceFallbackJoin;

    for (;;) {
        if (shared.stopped())
            return;
        // The first segment starts before the plan; it is made long before the first
        // boundary could be reached.
        const bool pastBoundary = next && shared.planned.load() &&
                                  position >= next->boundary * mp3::samplesPerFrame;
        if (!ended) {
            const int32_t wanted = (pastBoundary ? kJoinChunkFrames : kChunkFrames) *
                                   mp3::samplesPerFrame;
            const int32_t count = shared.source.readUpTo(position, wanted, pcm.data());
            if (count < 0)
                throw MP3EncoderError::writeFailed(kSourceError);
            if (count > 0) {
                const unsigned char *bytes = nullptr;
                const int32_t produced =
                    lame_encoder_encode_pcm16(seg.ctx.get(), pcm.data(), count, &bytes);
                appendOrFail(seg, bytes, produced);
                position += count;
                seg.encodedFrames =
                    (position + mp3::samplesPerFrame - 1) / mp3::samplesPerFrame - seg.startFrame;
            }
            ended = count < wanted;
        } else if (!flushed) {
            const unsigned char *bytes = nullptr;
            const int32_t produced = lame_encoder_flush(seg.ctx.get(), &bytes);
            appendOrFail(seg, bytes, produced);
            flushed = true;
        }
        if (!published && (int64_t(seg.stream.frames().size()) >= prefixFrames || flushed)) {
            publishPrefix(seg);
            published = true;
        }
        if (!next) {
            if (flushed)
                return;
            continue;
        }
        if (!pastBoundary && !flushed)
            continue;

        if (!nextPrefix) {
            nextPrefix = waitForPrefix(*next, shared);
            if (!nextPrefix)
                return;
            search.emplace(seg, *nextPrefix, next->startFrame, cbr);
            candidate = next->boundary;
        }
        // Try candidates in order until one needs frames A has not produced yet.
        for (;;) {
            if (!fallback && candidate - next->boundary > settings.maxOverlapFrames) {
                fallback = true;
                candidate = next->boundary;
            }
            SegmentJoin join;
            int relabeled = 0;
            Verdict verdict;
            if (fallback) {
                verdict = search->windowsFollow(candidate);
                if (verdict == Verdict::yes)
                    verdict = search->fits(candidate, join, relabeled);
            } else {
                verdict = search->agrees(candidate);
                if (verdict == Verdict::yes)
                    verdict = search->fits(candidate, join, relabeled);
            }
            if (verdict == Verdict::needMore)
                break;
            if (verdict == Verdict::yes) {
                join.boundaryFrame = next->boundary;
                join.startFrame = next->startFrame;
                join.joinFrame = candidate;
                join.converged = !fallback;
                seg.join = join;
                seg.relabeledIndex = relabeled;
                return;
            }
            ++candidate;
            if (fallback && candidate - next->boundary > 2 * settings.maxOverlapFrames)
                throw MP3EncoderError::writeFailed(kJoinError);
        }
        if (flushed)
            throw MP3EncoderError::writeFailed(kJoinError);
    }
}

// Xing/Info seek table: LAME samples the running sum of frame bitrates into at most 400
// slots, halving their density whenever they fill, and reads 100 points from them.
std::array<uint8_t, 100> seekTable(const std::vector<int> &kbpsPerFrame)
{
    constexpr int size = 400;
    std::vector<int> bag(size);
    int pos = 0, want = 1, seen = 0;
    int sum = 0;
    for (int kbps : kbpsPerFrame) {
        sum += kbps;
        ++seen;
        if (seen < want)
            continue;
        if (pos < size) {
            bag[size_t(pos)] = sum;
            ++pos;
            seen = 0;
        }
        if (pos == size) {
            for (int i = 1; i < size; i += 2)
                bag[size_t(i / 2)] = bag[size_t(i)];
            want *= 2;
            pos /= 2;
        }
    }
    std::array<uint8_t, 100> toc{};
    if (pos <= 0)
        return toc;
    for (int i = 1; i < 100; ++i) {
        const float j = float(i) / 100.0f;
        int index = int(std::floor(j * float(pos)));
        if (index > pos - 1)
            index = pos - 1;
        const float act = float(bag[size_t(index)]);
        const float all = float(sum);
        const int point = int(256.0 * act / all);
        toc[size_t(i)] = uint8_t(std::min(point, 255));
    }
    return toc;
}

void putBigEndian32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Rewrites the info frame LAME made for the first segment so that it describes the
// whole stream.
bool patchInfoFrame(std::vector<uint8_t> &frame, int64_t frames, int64_t audioBytes,
                    uint16_t musicCrc, const std::vector<int> &kbpsPerFrame, int64_t samples)
{
    mp3::FrameHeader header;
    if (frame.size() < 4 || !mp3::parseHeader(frame.data(), header))
        return false;
    size_t at = size_t(header.headerLength + header.sideInfoLength);
    if (frame.size() < at + 8 ||
        (std::memcmp(&frame[at], "Info", 4) != 0 && std::memcmp(&frame[at], "Xing", 4) != 0))
        return false;
    const uint32_t flags = (uint32_t(frame[at + 4]) << 24) | (uint32_t(frame[at + 5]) << 16) |
                           (uint32_t(frame[at + 6]) << 8) | frame[at + 7];
    at += 8;
    const int64_t streamBytes = audioBytes + int64_t(frame.size());
    if (flags & 1) {
        putBigEndian32(&frame[at], uint32_t(frames));
        at += 4;
    }
    if (flags & 2) {
        putBigEndian32(&frame[at], uint32_t(streamBytes));
        at += 4;
    }
    if (flags & 4) {
        const auto toc = seekTable(kbpsPerFrame);
        std::copy(toc.begin(), toc.end(), frame.begin() + std::ptrdiff_t(at));
        at += 100;
    }
    if (flags & 8)
        at += 4;
    // The LAME tag: 36 bytes, its own check over everything before the check.
    if (frame.size() < at + 36)
        return false;
    uint8_t *lame = &frame[at];
    const int delay = (lame[21] << 4) | (lame[22] >> 4);
    const int64_t padding = frames * mp3::samplesPerFrame - delay - samples;
    if (padding < 0 || padding > 4095)
        return false;
    lame[22] = uint8_t((lame[22] & 0xF0) | ((padding >> 8) & 0x0F));
    lame[23] = uint8_t(padding);
    putBigEndian32(lame + 28, uint32_t(streamBytes));
    lame[32] = uint8_t(musicCrc >> 8);
    lame[33] = uint8_t(musicCrc);
    const uint16_t tagCrc = mp3::crc16(0, frame.data(), at + 34);
    lame[34] = uint8_t(tagCrc >> 8);
    lame[35] = uint8_t(tagCrc);
    return true;
}

// The output's main data: ranges of the segments' main data and runs of zero bytes,
// read in order without copying them into one buffer.
class SplicedMainData {
public:
    // Appends [begin, end) of source's main data, or end - begin zero bytes when source
    // is null.
    void append(const FrameStream *source, int64_t begin, int64_t end)
    {
        if (end > begin) {
            m_pieces.push_back({source, begin, end});
            m_size += end - begin;
        }
    }
    // Drops the last count bytes; false when there are fewer.
    bool trim(int64_t count)
    {
        if (count > m_size)
            return false;
        m_size -= count;
        while (count > 0) {
            Piece &last = m_pieces.back();
            const int64_t length = last.end - last.begin;
            if (length <= count) {
                count -= length;
                m_pieces.pop_back();
            } else {
                last.end -= count;
                count = 0;
            }
        }
        return true;
    }
    int64_t size() const { return m_size; }

    class Reader {
    public:
        explicit Reader(const SplicedMainData &data) : m_data(data) {}
        // Copies the next count bytes; false when fewer are left.
        bool read(uint8_t *out, size_t count)
        {
            while (count > 0) {
                if (m_piece >= m_data.m_pieces.size())
                    return false;
                const Piece &p = m_data.m_pieces[m_piece];
                const int64_t at = p.begin + m_offset;
                const auto take = size_t(std::min<int64_t>(int64_t(count), p.end - at));
                if (p.source) {
                    if (!p.source->readMainData(at, take, out)) {
                        m_fileFailed = true;
                        return false;
                    }
                } else
                    std::memset(out, 0, take);
                out += take;
                count -= take;
                m_offset += int64_t(take);
                if (p.begin + m_offset == p.end) {
                    ++m_piece;
                    m_offset = 0;
                }
            }
            return true;
        }
        bool atEnd() const { return m_piece >= m_data.m_pieces.size(); }
        bool fileFailed() const { return m_fileFailed; }

    private:
        bool m_fileFailed = false;
        const SplicedMainData &m_data;
        size_t m_piece = 0;
        int64_t m_offset = 0;
    };

private:
    struct Piece {
        const FrameStream *source;
        int64_t begin, end;
    };
    std::vector<Piece> m_pieces;
    int64_t m_size = 0;
};

void writeOrFail(std::FILE *out, const uint8_t *bytes, size_t count)
{
    if (count > 0 && std::fwrite(bytes, 1, count, out) != count)
        throw MP3EncoderError::writeFailed(kFileError, errno);
}

std::vector<uint8_t> readTag(const LameEncoderContext *ctx,
                             int32_t (*reader)(const LameEncoderContext *, unsigned char *, size_t))
{
    const int32_t length = reader(ctx, nullptr, 0);
    if (length <= 0)
        return {};
    std::vector<uint8_t> tag(static_cast<size_t>(length));
    // Asked for its length, LAME names the room a tag needs even when there is none.
    const int32_t copied = reader(ctx, tag.data(), tag.size());
    if (copied < 0 || copied > length)
        throw MP3EncoderError::writeFailed(kJoinError);
    tag.resize(static_cast<size_t>(copied));
    return tag;
}

ContextPtr makeContext(const SegmentedMp3Settings &settings, bool withTags)
{
    ContextPtr ctx(lame_encoder_create(settings.sampleRate, settings.sampleRate, settings.channels,
                                       settings.bitrateKbps, settings.vbrQuality, nullptr));
    if (!ctx)
        throw MP3EncoderError::contextCreationFailed();
    if (withTags && settings.tags) {
        const Mp3Tags &t = *settings.tags;
        auto c = [](const std::optional<std::string> &s) {
            return s ? s->c_str() : nullptr;
        };
        (void)lame_encoder_set_metadata(
            ctx.get(), c(t.title), c(t.artist), c(t.album), c(t.year), c(t.genre), c(t.comment),
            t.coverArt.empty() ? nullptr : t.coverArt.data(), t.coverArt.size());
        for (const auto &[description, value] : t.userTexts)
            (void)lame_encoder_set_user_text(ctx.get(), description.c_str(), value.c_str());
    }
    const int32_t result = lame_encoder_init(ctx.get());
    if (result < 0)
        throw MP3EncoderError::initializationFailed(result);
    return ctx;
}

// One encoder, its bytes as LAME made them with the placeholder replaced: for rates
// whose frames this file does not parse, and for an empty input.
SegmentedMp3Result encodeWhole(PcmSource &source, const SegmentedMp3Settings &settings,
                               std::FILE *out, const std::atomic<bool> *cancel,
                               const std::function<void(double)> &progress)
{
    ContextPtr ctx = makeContext(settings, true);
    const int64_t total = source.frameCount();
    std::vector<int16_t> pcm(size_t(kChunkFrames) * mp3::samplesPerFrame *
                             size_t(settings.channels));
    std::vector<uint8_t> bytes;
    auto take = [&](const unsigned char *p, int32_t n) {
        if (n < 0)
            throw MP3EncoderError::writeFailed(n);
        bytes.insert(bytes.end(), p, p + n);
    };
    for (int64_t position = 0; position < total;) {
        if (cancel && cancel->load())
            throw MP3EncoderError::encodingCancelled();
        const auto count = int32_t(
            std::min<int64_t>(int64_t(kChunkFrames) * mp3::samplesPerFrame, total - position));
        if (!source.read(position, count, pcm.data()))
            throw MP3EncoderError::writeFailed(kSourceError);
        const unsigned char *p = nullptr;
        const int32_t n = lame_encoder_encode_pcm16(ctx.get(), pcm.data(), count, &p);
        take(p, n);
        position += count;
        if (progress)
            progress(double(position) / double(total));
    }
    const unsigned char *p = nullptr;
    const int32_t n = lame_encoder_flush(ctx.get(), &p);
    take(p, n);
    const auto id3v2 =
        settings.tags ? readTag(ctx.get(), lame_encoder_get_id3v2_tag) : std::vector<uint8_t>();
    const auto info = readTag(ctx.get(), lame_encoder_get_lametag_frame);
    const auto id3v1 =
        settings.tags ? readTag(ctx.get(), lame_encoder_get_id3v1_tag) : std::vector<uint8_t>();
    if (info.size() > bytes.size())
        throw MP3EncoderError::writeFailed(kJoinError);
    writeOrFail(out, id3v2.data(), id3v2.size());
    writeOrFail(out, info.data(), info.size());
    writeOrFail(out, bytes.data() + info.size(), bytes.size() - info.size());
    writeOrFail(out, id3v1.data(), id3v1.size());
    if (std::fflush(out) != 0 || std::ferror(out))
        throw MP3EncoderError::writeFailed(kFileError, errno);
    SegmentedMp3Result result;
    result.bytes = int64_t(id3v2.size() + bytes.size() + id3v1.size());
    return result;
}

// A segment's own frames and those it encodes past its end while looking for the join.
size_t framesToHold(const Segment &seg, const SegmentedMp3Settings &settings)
{
    return size_t(seg.end - seg.startFrame + 2 * settings.maxOverlapFrames + kAgreeFrames + 8);
}

// Places the segments over inputFrames frames. A later segment cannot start before the
// decoder has reached it, so each starts lateness * (its first frame) frame-times after
// the first, where lateness is the decoder's time per frame over an encoder's; segments
// then shorten by as much as they start late, so that all of them end together.
void planSegments(std::vector<std::unique_ptr<Segment>> &segments, int64_t inputFrames,
                  double lateness, const SegmentedMp3Settings &settings, int64_t minimumSegment)
{
    const auto count = int64_t(segments.size());
    const int period = paddingPeriod(settings.sampleRate);
    std::vector<int64_t> boundaries(size_t(count) + 1, inputFrames);
    const double r = std::clamp(lateness, 0.0, 0.5);
    const double each =
        r > 1e-6 ? double(inputFrames) * r / (1.0 - std::pow(1.0 - r, double(count)))
                 : double(inputFrames) / double(count);
    double at = 0.0;
    for (int64_t k = 0; k < count; ++k) {
        boundaries[size_t(k)] = std::clamp(int64_t(std::llround(at)), k * minimumSegment,
                                           inputFrames - (count - k) * minimumSegment);
        at += each - r * at;
    }
    // The first segment is already encoding: only its end is set.
    segments.front()->end = boundaries[1];
    for (int64_t k = 1; k < count; ++k) {
        Segment &seg = *segments[size_t(k)];
        seg.boundary = boundaries[size_t(k)];
        seg.end = boundaries[size_t(k) + 1];
        const int64_t early = std::max<int64_t>(0, seg.boundary - settings.warmupFrames);
        seg.startFrame = early / period * period;
        seg.stream.reserveFrames(framesToHold(seg, settings));
    }
}

} // namespace

SegmentedMp3Result encodeSegmentedMp3(PcmSource &source, const SegmentedMp3Settings &settings,
                                      std::FILE *out, const std::atomic<bool> *cancel,
                                      const std::function<void(double)> &progress)
{
    if (!out)
        throw MP3EncoderError::outputFileNotFound();
    const int64_t expected = source.expectedFrameCount();
    if (!isMpeg1Rate(settings.sampleRate) || expected <= 0)
        return encodeWhole(source, settings, out, cancel, progress);

    // Segments are planned on the length the source expects; a source still filling
    // may end up shorter or longer than that.
    const int64_t minimumSegment = settings.maxOverlapFrames + 2 * kAgreeFrames + 16;
    auto framesOf = [](int64_t samples) {
        return (samples + mp3::samplesPerFrame - 1) / mp3::samplesPerFrame;
    };
    const int64_t inputFrames = framesOf(expected);
    const int64_t count = std::clamp<int64_t>(settings.segments, 1,
                                              std::max<int64_t>(1, inputFrames / minimumSegment));

    // Every encoder is set up on this thread, one after the other, before any encodes.
    std::vector<std::unique_ptr<Segment>> segments;
    for (int64_t k = 0; k < count; ++k) {
        auto seg = std::make_unique<Segment>();
        seg->ctx = makeContext(settings, k == 0);
        if (settings.memoryPerSegmentBytes > 0) {
            // The join search reads back to the boundary, at most this far behind the
            // newest frame (1441 bytes is the longest MPEG-1 Layer III frame).
            const size_t keep =
                std::max<size_t>(262144, size_t(settings.maxOverlapFrames + 64) * 1441);
            seg->stream.setSpill(std::max(settings.memoryPerSegmentBytes, 2 * keep), keep);
        }
        segments.push_back(std::move(seg));
    }
    // The first segment's room is made before it starts: at most two thirds of the input
    // once placed (a lateness of one half, two segments). Untouched room costs no memory.
    segments.front()->end = std::min(inputFrames, inputFrames * 2 / 3 + 1);
    segments.front()->stream.reserveFrames(framesToHold(*segments.front(), settings));

    Shared shared(settings, source, cancel);
    {
        std::vector<std::jthread> threads;
        shared.running = int(segments.size());
        for (size_t k = 0; k < segments.size(); ++k) {
            threads.emplace_back([&shared, &segments, k] {
                try {
                    encodeSegment(shared, segments, k);
                } catch (...) {
                    shared.fail(std::current_exception());
                }
                --shared.running;
            });
        }
        // A later segment starts once the source has filled up to it. While it fills, the
        // first segment's speed over the source's tells how late that will be, and so where
        // to place the segments.
        // The measurement ends early where the source ends (or fills) first: the first
        // segment then stops at the end of the input and waits for the plan.
        double lateness = 0.0;
        const auto filling = [&] {
            return source.readyFrameCount() < expected &&
                   source.expectedFrameCount() == expected && !shared.stopped();
        };
        if (count > 1 && filling()) {
            const Segment &first = *segments.front();
            while (first.encodedFrames.load() == 0 && filling())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const int64_t encoded0 = first.encodedFrames.load();
            const int64_t ready0 = source.readyFrameCount();
            int64_t encoded1 = encoded0;
            while (encoded1 - encoded0 < kLatenessFrames && filling()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                encoded1 = first.encodedFrames.load();
            }
            const double decoded =
                double(source.readyFrameCount() - ready0) / mp3::samplesPerFrame;
            if (filling() && encoded1 > encoded0 && decoded > 0.0)
                lateness = double(encoded1 - encoded0) / decoded;
        }
        planSegments(segments, inputFrames, lateness, settings, minimumSegment);
        shared.publishPlan();

        int64_t work = 0;
        for (const auto &seg : segments)
            work += seg->end - seg->startFrame;
        while (shared.running.load() > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            if (progress && !shared.stopped()) {
                int64_t done = 0;
                for (const auto &seg : segments)
                    done += std::min(seg->encodedFrames.load(), seg->end - seg->startFrame);
                progress(work > 0 ? double(done) / double(work) : 1.0);
            }
        }
    }
    if (cancel && cancel->load())
        throw MP3EncoderError::encodingCancelled();
    // Every segment has read to its end, so the source has ended unless one failed: a
    // source that ended well short of the plan leaves its last segment too short to
    // join, and the now complete input is planned again.
    bool joinFailed = false;
    if (shared.error) {
        try {
            std::rethrow_exception(shared.error);
        } catch (const MP3EncoderError &error) {
            joinFailed = error.kind() == MP3EncoderError::Kind::writeFailed &&
                         error.code() == kJoinError;
        } catch (...) {
        }
        if (!joinFailed)
            std::rethrow_exception(shared.error);
    }
    const int64_t samples = source.frameCount();
    if (count > 1 && framesOf(samples) < segments.back()->boundary + minimumSegment &&
        source.expectedFrameCount() == samples) {
        segments.clear();
        return encodeSegmentedMp3(source, settings, out, cancel, progress);
    }
    if (joinFailed)
        std::rethrow_exception(shared.error);

    // The output frames: segment k from its join (0 for the first) to the next join.
    struct OutFrame {
        const ParsedFrame *frame;
        int bitrateIndex;
        int length;
    };
    std::vector<OutFrame> frames;
    frames.reserve(size_t(framesOf(samples)) + 2);
    SplicedMainData mainData;
    for (size_t k = 0; k < segments.size(); ++k) {
        const Segment &seg = *segments[k];
        const auto &parsed = seg.stream.frames();
        const int64_t from = k == 0 ? 0 : segments[k - 1]->join.joinFrame - seg.startFrame;
        const int64_t to =
            k + 1 < segments.size() ? seg.join.joinFrame - seg.startFrame : int64_t(parsed.size());
        if (from < 0 || to > int64_t(parsed.size()) || from >= to)
            throw MP3EncoderError::writeFailed(kJoinError);
        const ParsedFrame &first = parsed[size_t(from)];
        if (k > 0 && !mainData.trim(first.side.mainDataBegin))
            throw MP3EncoderError::writeFailed(kJoinError);
        const int64_t dataEnd = to < int64_t(parsed.size())
                                    ? parsed[size_t(to)].dataStart
                                    : parsed.back().dataStart + parsed.back().dataLength;
        mainData.append(&seg.stream, k == 0 ? first.dataStart : first.payloadStart, dataEnd);
        for (int64_t i = from; i < to; ++i) {
            const ParsedFrame &f = parsed[size_t(i)];
            frames.push_back({&f, f.header.bitrateIndex, f.header.frameLength});
        }
        if (k + 1 < segments.size() && seg.relabeledIndex > 0) {
            OutFrame &last = frames.back();
            last.bitrateIndex = seg.relabeledIndex;
            last.length =
                mp3::frameLength(mp3::bitrateForIndex(seg.relabeledIndex),
                                 last.frame->header.sampleRate, last.frame->header.padding);
            mainData.append(nullptr, 0, last.length - last.frame->header.frameLength);
        }
    }

    // Frames are produced twice: once for the sizes and the check in the info frame,
    // then for the file.
    auto forEachFrame = [&](auto &&consume) {
        std::vector<uint8_t> buffer;
        SplicedMainData::Reader reader(mainData);
        for (const OutFrame &o : frames) {
            const ParsedFrame &f = *o.frame;
            const int headLength = f.headLength();
            buffer.resize(size_t(o.length));
            std::memcpy(buffer.data(), f.head.data(), size_t(headLength));
            buffer[2] = uint8_t((buffer[2] & 0x0F) | (o.bitrateIndex << 4));
            if (!reader.read(buffer.data() + headLength, size_t(o.length - headLength)))
                throw MP3EncoderError::writeFailed(reader.fileFailed() ? kFileError : kJoinError);
            consume(buffer);
        }
        if (!reader.atEnd())
            throw MP3EncoderError::writeFailed(kJoinError);
    };
    for (const OutFrame &o : frames) {
        if (o.frame->header.hasCrc)
            throw MP3EncoderError::writeFailed(kJoinError);
    }

    int64_t audioBytes = 0;
    uint16_t musicCrc = 0;
    std::vector<int> kbps;
    kbps.reserve(frames.size());
    for (const OutFrame &o : frames)
        kbps.push_back(mp3::bitrateForIndex(o.bitrateIndex));
    forEachFrame([&](const std::vector<uint8_t> &frame) {
        audioBytes += int64_t(frame.size());
        musicCrc = mp3::crc16(musicCrc, frame.data(), frame.size());
    });

    const LameEncoderContext *first = segments.front()->ctx.get();
    auto info = readTag(first, lame_encoder_get_lametag_frame);
    if (!patchInfoFrame(info, int64_t(frames.size()), audioBytes, musicCrc, kbps, samples))
        throw MP3EncoderError::writeFailed(kJoinError);
    const auto id3v2 =
        settings.tags ? readTag(first, lame_encoder_get_id3v2_tag) : std::vector<uint8_t>();
    const auto id3v1 =
        settings.tags ? readTag(first, lame_encoder_get_id3v1_tag) : std::vector<uint8_t>();

    writeOrFail(out, id3v2.data(), id3v2.size());
    writeOrFail(out, info.data(), info.size());
    forEachFrame(
        [&](const std::vector<uint8_t> &frame) { writeOrFail(out, frame.data(), frame.size()); });
    writeOrFail(out, id3v1.data(), id3v1.size());
    if (std::fflush(out) != 0 || std::ferror(out))
        throw MP3EncoderError::writeFailed(kFileError, errno);

    SegmentedMp3Result result;
    result.segments = int(segments.size());
    result.frames = int64_t(frames.size());
    result.bytes = int64_t(id3v2.size() + info.size() + id3v1.size()) + audioBytes;
    for (size_t k = 0; k + 1 < segments.size(); ++k)
        result.joins.push_back(segments[k]->join);
    if (progress)
        progress(1.0);
    return result;
}

SegmentedMp3Result encodeSegmentedMp3(PcmSource &source, const SegmentedMp3Settings &settings,
                                      const std::string &path, const std::atomic<bool> *cancel,
                                      const std::function<void(double)> &progress)
{
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        throw MP3EncoderError::outputFileNotFound(errno);
    try {
        auto result = encodeSegmentedMp3(source, settings, out, cancel, progress);
        if (std::fclose(out) != 0) {
            out = nullptr;
            throw MP3EncoderError::writeFailed(kFileError, errno);
        }
        return result;
    } catch (...) {
        if (out)
            std::fclose(out);
        throw;
    }
}

} // namespace tonbrook
