#include "model/ffmpeg_audio_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>

namespace tonbrook::ffmpeg {

namespace {

// Source samples of filter context kept on each side of a range when the rate changes, so the
// resampler's edges fall outside the delivered frames.
constexpr qint64 resamplerContext = 64;
// Decoders need some packets before the first exact one (MDCT overlap, MP3's bit reservoir).
constexpr double minimumPreroll = 0.25;
// How much earlier each new seek aims when a coarse seek landed after the range start.
constexpr std::array<double, 4> seekBackoffs{1.0, 4.0, 15.0, 60.0};
// A run of undecodable packets this long means the stream is broken, not merely damaged.
constexpr int maxConsecutiveInvalidPackets = 500;
// Audio whose first sample comes less than this after the file's start only seems late: the
// decoder cut its codec delay (Opus's pre-skip, Vorbis's first block) from a stream stamped
// from the start, or a muxer rounded. Such audio starts with the timeline, neither padded nor
// cut; a later start is a real gap and becomes silence. Audio this much ahead of its picture
// is below what a viewer notices (about 45 ms).
constexpr double codecDelayTolerance = 0.04;

// The frame index of a time in 1/600 s at a rate, rounded half up.
qint64 framesAt(qint64 units, qint64 rate)
{
    const qint64 scaled = std::max<qint64>(units, 0) * rate;
    return (scaled + MediaTimeRange::timescale / 2) / MediaTimeRange::timescale;
}

bool isCoarseClock(AVRational timeBase, int sampleRate)
{
    return sampleRate > 0 && av_q2d(timeBase) * sampleRate > 1.0;
}

} // namespace

AudioReader::AudioReader(QString filePath, std::vector<int> audioTrackIDs)
    : m_filePath(std::move(filePath)), m_audioTrackIDs(std::move(audioTrackIDs))
{
}

AudioReader::~AudioReader()
{
    av_channel_layout_uninit(&m_resamplerInputLayout);
}

void AudioReader::setTimeRange(const MediaTimeRange &range)
{
    if (m_status.load() != ReaderStatus::unknown)
        return;
    // Far beyond any real media (about 31 years), and small enough that frame arithmetic at
    // any rate stays inside 64 bits.
    constexpr qint64 limit = qint64(1'000'000'000) * MediaTimeRange::timescale;
    m_range = MediaTimeRange{std::clamp<qint64>(range.start, 0, limit),
                             std::clamp<qint64>(range.duration, 0, limit)};
}

bool AudioReader::canAddOutput(const MediaTrack &track, const PcmOutputSettings &settings) const
{
    return m_status.load() == ReaderStatus::unknown && m_trackID < 0 &&
           track.mediaType == MediaType::audio &&
           std::find(m_audioTrackIDs.begin(), m_audioTrackIDs.end(), track.trackID) !=
               m_audioTrackIDs.end() &&
           settings.channelCount >= 1 && settings.channelCount <= 8 && settings.sampleRate >= 1 &&
           settings.sampleRate <= 384000;
}

void AudioReader::addOutput(const MediaTrack &track, const PcmOutputSettings &settings)
{
    if (!canAddOutput(track, settings))
        throw makeError(m_filePath,
                        readerText(QT_TRANSLATE_NOOP(
                            "MediaReader", "The audio output cannot be added to the reader")));
    m_trackID = track.trackID;
    m_settings = settings;
}

bool AudioReader::startReading()
{
    if (m_status.load() != ReaderStatus::unknown)
        return false;
    if (m_trackID < 0) {
        fail(makeError(m_filePath, readerText(QT_TRANSLATE_NOOP(
                                       "MediaReader", "The reader has no audio output"))));
        return false;
    }
    try {
        m_packet = makePacket();
        m_frame = makeFrame();
        openDemuxerAndDecoder();
        if (m_range) {
            m_rangeStart = std::max(0.0, m_range->startSeconds());
            m_rangeLength = std::max(0.0, m_range->durationSeconds());
            m_targetFrames = std::llround(m_rangeLength * m_settings.sampleRate);
            // A range from the very start needs no seek.
            if (m_rangeStart > 0.0) {
                const bool coarse = isCoarseClock(m_stream->time_base, m_decoder->sample_rate);
                // A stream stamped from well after the file's start cannot move the timeline.
                const bool lateStart =
                    m_stream->start_time != AV_NOPTS_VALUE &&
                    double(m_stream->start_time) * av_q2d(m_stream->time_base) - m_origin >=
                        codecDelayTolerance;
                if (coarse || !lateStart)
                    readStreamStart(coarse);
                m_timelineSettled = true;
                const int rate = m_decoder->sample_rate > 0 ? m_decoder->sample_rate : 48000;
                const double preroll =
                    std::max(minimumPreroll, double(m_stream->codecpar->seek_preroll) / rate);
                seekBefore(m_rangeStart - preroll);
            }
        }
    } catch (const MediaReaderError &error) {
        fail(error);
        return false;
    }
    ReaderStatus expected = ReaderStatus::unknown;
    return m_status.compare_exchange_strong(expected, ReaderStatus::reading);
}

void AudioReader::cancelReading()
{
    m_cancelRequested = true;
    ReaderStatus current = m_status.load();
    while ((current == ReaderStatus::unknown || current == ReaderStatus::reading) &&
           !m_status.compare_exchange_weak(current, ReaderStatus::cancelled)) {
    }
}

void AudioReader::finishWith(ReaderStatus status)
{
    ReaderStatus expected = ReaderStatus::reading;
    m_status.compare_exchange_strong(expected, status);
    // Nothing more will be read; give the file and the decoder back now.
    m_resampler.reset();
    m_decoder.reset();
    m_context.reset();
}

void AudioReader::fail(const MediaReaderError &error)
{
    m_error = error;
    ReaderStatus current = m_status.load();
    while ((current == ReaderStatus::unknown || current == ReaderStatus::reading) &&
           !m_status.compare_exchange_weak(current, ReaderStatus::failed)) {
    }
    finishWith(ReaderStatus::failed);
}

void AudioReader::openDemuxerAndDecoder()
{
    m_decoder.reset();
    m_context = openInput(m_filePath, &m_cancelRequested);
    if (m_trackID >= int(m_context->nb_streams) ||
        m_context->streams[m_trackID]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        throw makeError(m_filePath, readerText(QT_TRANSLATE_NOOP(
                                        "MediaReader", "The audio track cannot be found")));
    m_stream = m_context->streams[m_trackID];
    // Only our stream's packets are wanted; this also makes it the stream seeks go by.
    for (unsigned i = 0; i < m_context->nb_streams; ++i)
        m_context->streams[i]->discard = int(i) == m_trackID ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    m_decoder = openDecoder(m_filePath, m_stream, 1);
    m_origin = timelineOrigin(m_context.get()) + m_originShift;
    m_decoderDrained = false;
}

qint64 AudioReader::settleTimeline(std::optional<qint64> firstPosition)
{
    m_timelineSettled = true;
    if (!firstPosition || *firstPosition <= 0 ||
        double(*firstPosition) >= codecDelayTolerance * m_sourceRate)
        return 0;
    const qint64 shift = *firstPosition;
    m_originShift = double(shift) / m_sourceRate;
    m_origin += m_originShift;
    m_anchorPosition -= double(shift);
    return shift;
}

void AudioReader::readStreamStart(bool learnGrid)
{
    std::array<std::pair<qint64, int>, 3> frames{};
    const size_t wanted = learnGrid ? frames.size() : 1;
    size_t count = 0;
    try {
        for (; count < wanted && decodeNextFrame(); ++count) {
            noteSourceRate(m_frame->sample_rate);
            auto position = locateFrame(m_frame.get());
            if (count == 0 && position)
                *position -= settleTimeline(position);
            if (!position)
                break;
            frames[count] = {*position, m_frame->nb_samples};
        }
    } catch (const MediaReaderError &) {
        // Damage at the start is no reason to refuse a range further on: the seek that follows
        // skips it, and the timeline and the grid stay as they are.
        count = 0;
    }
    m_timelineSettled = true;
    m_anchored = false;
    // The first frame may be short (encoder delay); the grid is what follows it.
    if (learnGrid && count == frames.size() && frames[1].second > 0 &&
        frames[1].second == frames[2].second) {
        m_gridFrameSize = frames[1].second;
        m_gridBase = frames[0].first + frames[0].second;
    }
}

void AudioReader::seekBefore(double seconds)
{
    m_seekTarget = seconds;
    if (seconds <= 0.0) {
        restartFromBeginning();
        return;
    }
    const int64_t timestamp = std::llround((m_origin + seconds) * AV_TIME_BASE);
    // Containers index their video key frames (Matroska's cues often list nothing else), and
    // seeking by a stream without index entries falls back to reading the file through.
    int result = -1;
    for (unsigned i = 0; i < m_context->nb_streams && result < 0; ++i) {
        const AVStream *stream = m_context->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            const int64_t target = av_rescale_q(timestamp, AV_TIME_BASE_Q, stream->time_base);
            result = avformat_seek_file(m_context.get(), int(i), INT64_MIN, target, target, 0);
            break;
        }
    }
    if (result < 0)
        result = avformat_seek_file(m_context.get(), -1, INT64_MIN, timestamp, timestamp, 0);
    if (result < 0) {
        result = av_seek_frame(m_context.get(), m_stream->index,
                               av_rescale_q(timestamp, AV_TIME_BASE_Q, m_stream->time_base),
                               AVSEEK_FLAG_BACKWARD);
    }
    if (result < 0) {
        restartFromBeginning();
        return;
    }
    avcodec_flush_buffers(m_decoder.get());
    m_decoderDrained = false;
    m_seeked = true;
    m_firstFrameAfterSeek = true;
    m_positionKnown = false;
    m_anchored = false;
    ++m_seekAttempts;
}

void AudioReader::restartFromBeginning()
{
    openDemuxerAndDecoder();
    m_seeked = false;
    m_firstFrameAfterSeek = false;
    m_positionKnown = false;
    m_anchored = false;
    m_seekAttempts = INT_MAX;
}

// Decoders report a garbled packet as invalid data or, for some codecs (AAC), as an
// unimplemented feature; both are damage to skip, not a reason to give up the file.
static bool isDamagedData(int result)
{
    return result == AVERROR_INVALIDDATA || result == AVERROR_PATCHWELCOME;
}

bool AudioReader::decodeNextFrame()
{
    for (;;) {
        int result = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (result == 0) {
            if (m_frame->nb_samples > 0)
                return true;
            continue;
        }
        if (result == AVERROR_EOF)
            return false;
        if (isDamagedData(result)) {
            if (++m_invalidPackets > maxConsecutiveInvalidPackets)
                throw makeError(
                    m_filePath,
                    readerText(QT_TRANSLATE_NOOP("MediaReader", "The audio could not be decoded")),
                    result);
            continue;
        }
        if (result != AVERROR(EAGAIN))
            throw makeError(
                m_filePath,
                readerText(QT_TRANSLATE_NOOP("MediaReader", "The audio could not be decoded")),
                result);
        if (m_decoderDrained)
            return false;

        result = av_read_frame(m_context.get(), m_packet.get());
        if (result < 0) {
            if (m_cancelRequested)
                return false;
            if (result != AVERROR_EOF && !avio_feof(m_context->pb))
                throw makeError(
                    m_filePath,
                    readerText(QT_TRANSLATE_NOOP("MediaReader", "The file could not be read")),
                    result);
            // The end of the file: let the decoder give out what it still holds.
            avcodec_send_packet(m_decoder.get(), nullptr);
            m_decoderDrained = true;
            continue;
        }
        if (m_packet->stream_index != m_stream->index) {
            av_packet_unref(m_packet.get());
            continue;
        }
        result = avcodec_send_packet(m_decoder.get(), m_packet.get());
        av_packet_unref(m_packet.get());
        if (isDamagedData(result)) {
            // A damaged packet costs its own samples only, as in any player.
            if (++m_invalidPackets > maxConsecutiveInvalidPackets)
                throw makeError(
                    m_filePath,
                    readerText(QT_TRANSLATE_NOOP("MediaReader", "The audio could not be decoded")),
                    result);
            continue;
        }
        if (result < 0 && result != AVERROR(EAGAIN))
            throw makeError(
                m_filePath,
                readerText(QT_TRANSLATE_NOOP("MediaReader", "The audio could not be decoded")),
                result);
        m_invalidPackets = 0;
    }
}

void AudioReader::noteSourceRate(int sampleRate)
{
    if (m_sourceRate > 0 || sampleRate <= 0)
        return;
    m_sourceRate = sampleRate;
    if (m_range) {
        const qint64 context = m_sourceRate == m_settings.sampleRate ? 0 : resamplerContext;
        m_feedStart = framesAt(m_range->start, m_sourceRate) - context;
        m_feedEnd = qint64(std::ceil((m_rangeStart + m_rangeLength) * m_sourceRate)) + context;
    } else {
        // Far enough from the limits that position arithmetic cannot overflow.
        m_feedStart = std::numeric_limits<qint64>::min() / 4;
        m_feedEnd = std::numeric_limits<qint64>::max() / 4;
    }
}

std::optional<qint64> AudioReader::locateFrame(const AVFrame *frame)
{
    int64_t timestamp = frame->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE)
        timestamp = frame->pts;
    if (m_sourceRate <= 0 || (timestamp == AV_NOPTS_VALUE && !m_anchored))
        return std::nullopt;
    if (timestamp != AV_NOPTS_VALUE) {
        m_anchored = true;
        m_anchorPosition =
            (double(timestamp) * av_q2d(m_stream->time_base) - m_origin) * m_sourceRate;
        m_anchorCounted = 0;
    }
    const double estimate = m_anchorPosition + double(m_anchorCounted);
    m_anchorCounted += frame->nb_samples;
    if (m_gridFrameSize > 0 && frame->nb_samples == m_gridFrameSize) {
        // Millisecond clocks (Matroska, FLV, ASF) cannot place a frame to the sample; the grid of
        // equal frames from the stream's start can.
        const double tolerance = 0.5 * av_q2d(m_stream->time_base) * m_sourceRate + 1.0;
        const qint64 k = std::llround((estimate - double(m_gridBase)) / double(m_gridFrameSize));
        const qint64 snapped = m_gridBase + k * m_gridFrameSize;
        if (std::abs(double(snapped) - estimate) <= tolerance)
            return snapped;
    }
    return std::llround(estimate);
}

void AudioReader::setUpResampler(const AVFrame *frame)
{
    AVChannelLayout inputLayout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
        !av_channel_layout_check(&frame->ch_layout))
        av_channel_layout_default(&inputLayout, frame->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&inputLayout, &frame->ch_layout);
    AVChannelLayout outputLayout{};
    av_channel_layout_default(&outputLayout, m_settings.channelCount);

    SwrContext *raw = nullptr;
    int result = swr_alloc_set_opts2(&raw, &outputLayout, AV_SAMPLE_FMT_S16, m_settings.sampleRate,
                                     &inputLayout, AVSampleFormat(frame->format),
                                     frame->sample_rate, 0, nullptr);
    m_resampler.reset(raw);
    av_channel_layout_uninit(&outputLayout);
    if (result >= 0 && inputLayout.nb_channels == 1) {
        // Mono goes to every output channel at full level, not 3 dB down as a centre would.
        const std::vector<double> matrix(size_t(m_settings.channelCount), 1.0);
        result = swr_set_matrix(raw, matrix.data(), 1);
    }
    if (result >= 0)
        result = swr_init(raw);
    av_channel_layout_uninit(&m_resamplerInputLayout);
    m_resamplerInputLayout = inputLayout;
    m_resamplerInputFormat = AVSampleFormat(frame->format);
    m_resamplerInputRate = frame->sample_rate;
    if (result < 0) {
        m_resampler.reset();
        throw makeError(
            m_filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The audio could not be converted")),
            result);
    }
}

void AudioReader::convert(const uint8_t *const *input, int inputCount, std::vector<qint16> &out)
{
    const int capacity = swr_get_out_samples(m_resampler.get(), inputCount);
    if (capacity <= 0)
        return;
    m_scratch.resize(size_t(capacity) * size_t(m_settings.channelCount));
    auto *output = reinterpret_cast<uint8_t *>(m_scratch.data());
    const int produced = swr_convert(m_resampler.get(), &output, capacity,
                                     const_cast<const uint8_t **>(input), inputCount);
    if (produced < 0)
        throw makeError(
            m_filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The audio could not be converted")),
            produced);
    appendOutput(m_scratch.data(), produced, out);
}

void AudioReader::appendOutput(const qint16 *samples, qint64 frames, std::vector<qint16> &out)
{
    const qint64 channels = m_settings.channelCount;
    auto room = [this] {
        return m_targetFrames < 0 ? std::numeric_limits<qint64>::max()
                                  : m_targetFrames - m_deliveredFrames;
    };
    if (m_padFrames > 0) {
        const qint64 pad = std::min(m_padFrames, room());
        out.insert(out.end(), size_t(pad * channels), qint16(0));
        m_deliveredFrames += pad;
        m_padFrames = 0;
    }
    const qint64 dropped = std::min(m_dropFrames, frames);
    m_dropFrames -= dropped;
    samples += dropped * channels;
    frames = std::min(frames - dropped, room());
    if (frames <= 0)
        return;
    out.insert(out.end(), samples, samples + frames * channels);
    m_deliveredFrames += frames;
}

void AudioReader::processFrame(std::vector<qint16> &out)
{
    const AVFrame *frame = m_frame.get();
    noteSourceRate(frame->sample_rate);
    const qint64 count = frame->nb_samples;
    qint64 position = 0;
    qint64 skip = 0;
    if (!m_feeding) {
        auto stamped = locateFrame(frame);
        if (!m_timelineSettled && !m_seeked && stamped)
            *stamped -= settleTimeline(stamped);
        m_timelineSettled = true;
        if (stamped) {
            position = *stamped;
        } else if (m_positionKnown) {
            position = m_nextPosition;
        } else if (m_seeked) {
            // Nothing to tell where a seek landed: count from the start instead.
            restartFromBeginning();
            return;
        }
        if (m_firstFrameAfterSeek) {
            m_firstFrameAfterSeek = false;
            if (position > m_feedStart) {
                // The seek went past the range start (coarse index or none): aim earlier.
                if (m_seekAttempts <= int(seekBackoffs.size()))
                    seekBefore(m_seekTarget - seekBackoffs[size_t(m_seekAttempts - 1)]);
                else
                    restartFromBeginning();
                return;
            }
        }
        m_nextPosition = position + count;
        m_positionKnown = true;
        if (m_nextPosition <= m_feedStart)
            return;
        skip = std::max<qint64>(0, m_feedStart - position);
        position += skip;
        m_feeding = true;
        // Output frame k of this feed lies at frame k + offset of the read (a whole read starts
        // at the timeline's start, so a late start is silence there too); integer arithmetic
        // keeps a start that falls on half a sample from rounding either way.
        const qint64 firstOutput =
            m_sourceRate == m_settings.sampleRate
                ? position
                : std::llround(double(position) * m_settings.sampleRate / m_sourceRate);
        const qint64 offset =
            firstOutput - (m_range ? framesAt(m_range->start, m_settings.sampleRate) : 0);
        m_dropFrames = m_range ? std::max<qint64>(0, -offset) : 0;
        m_padFrames = std::max<qint64>(0, offset);
    } else {
        position = m_nextPosition;
        m_nextPosition += count;
    }

    const qint64 fed = std::min(count - skip, m_feedEnd - position);
    if (fed <= 0) {
        // Audio that starts after the range leaves the range silent.
        appendOutput(nullptr, 0, out);
        m_inputFinished = true;
        return;
    }
    // Joined recordings and broadcast dumps change rate or layout mid-stream.
    if (!m_resampler || frame->format != m_resamplerInputFormat ||
        frame->sample_rate != m_resamplerInputRate ||
        av_channel_layout_compare(&frame->ch_layout, &m_resamplerInputLayout) != 0) {
        if (m_resampler)
            convert(nullptr, 0, out);
        setUpResampler(frame);
    }
    const auto format = AVSampleFormat(frame->format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels;
    const qint64 offsetBytes = skip * av_get_bytes_per_sample(format) * (planar ? 1 : channels);
    std::vector<const uint8_t *> planes(planar ? size_t(channels) : 1);
    for (size_t i = 0; i < planes.size(); ++i)
        planes[i] = frame->extended_data[i] + offsetBytes;
    convert(planes.data(), int(fed), out);
    if (position + fed >= m_feedEnd)
        m_inputFinished = true;
}

void AudioReader::endOfInput(std::vector<qint16> &out)
{
    if (m_range && !m_feeding) {
        if (m_seeked && !m_positionKnown) {
            // The seek landed after the last audio packet: look from earlier before deciding.
            if (m_seekAttempts <= int(seekBackoffs.size()))
                seekBefore(m_seekTarget - seekBackoffs[size_t(m_seekAttempts - 1)]);
            else
                restartFromBeginning();
            return;
        }
        if (m_positionKnown) {
            // Audio was decoded, all of it before the range (a track shorter than its video,
            // a start past the end): the range is silence, not a damaged file.
            m_padFrames = m_targetFrames - m_deliveredFrames;
            appendOutput(nullptr, 0, out);
        }
    }
    m_inputFinished = true;
}

std::optional<SampleBuffer> AudioReader::copyNextSampleBuffer()
{
    if (m_status.load() != ReaderStatus::reading)
        return std::nullopt;
    try {
        std::vector<qint16> out;
        while (out.empty()) {
            if (m_cancelRequested) {
                finishWith(ReaderStatus::cancelled);
                return std::nullopt;
            }
            if (m_targetFrames >= 0 && m_deliveredFrames >= m_targetFrames) {
                finishWith(ReaderStatus::completed);
                return std::nullopt;
            }
            if (m_inputFinished) {
                if (m_resampler && !m_resamplerFlushed) {
                    m_resamplerFlushed = true;
                    convert(nullptr, 0, out);
                    continue;
                }
                finishWith(ReaderStatus::completed);
                return std::nullopt;
            }
            if (!decodeNextFrame()) {
                if (!m_cancelRequested)
                    endOfInput(out);
                continue;
            }
            processFrame(out);
        }
        return SampleBuffer{std::move(out), m_settings.channelCount};
    } catch (const MediaReaderError &error) {
        fail(error);
    } catch (const std::exception &error) {
        fail(makeError(m_filePath, TranslatableText::verbatim(QString::fromUtf8(error.what()))));
    }
    return std::nullopt;
}

} // namespace tonbrook::ffmpeg
