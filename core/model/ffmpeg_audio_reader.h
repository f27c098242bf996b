#pragma once

#include "model/ffmpeg_support.h"

#include <atomic>
#include <optional>
#include <vector>

namespace tonbrook::ffmpeg {

// Decodes one audio stream on a demuxer of its own, so readers never share FFmpeg state.
// A time range is met by seeking a little before its start and then trimming by the frames'
// timestamps; after the first fed frame, samples are counted rather than re-timed, so nothing is
// lost or repeated.
class AudioReader final : public MediaAssetReader {
public:
    AudioReader(QString filePath, std::vector<int> audioTrackIDs);
    ~AudioReader() override;

    void setTimeRange(const MediaTimeRange &range) override;
    std::optional<MediaTimeRange> timeRange() const override { return m_range; }
    bool canAddOutput(const MediaTrack &track, const PcmOutputSettings &settings) const override;
    void addOutput(const MediaTrack &track, const PcmOutputSettings &settings) override;
    bool startReading() override;
    ReaderStatus status() const override { return m_status.load(); }
    std::optional<MediaReaderError> error() const override { return m_error; }
    void cancelReading() override;
    std::optional<SampleBuffer> copyNextSampleBuffer() override;

private:
    void openDemuxerAndDecoder();
    // Takes the position of the first frame from the start; returns how far the timeline moved
    // (in source samples) to let audio starting a hair late start with it.
    qint64 settleTimeline(std::optional<qint64> firstPosition);
    // Decodes the stream's first frame to place the audio's start on the file's timeline and,
    // when asked (containers with coarse clocks), its first frames to learn the decoder's grid.
    void readStreamStart(bool learnGrid);
    void seekBefore(double seconds);
    void restartFromBeginning();
    // The next decoded frame, or false at the end of the stream.
    bool decodeNextFrame();
    // Feeds the current frame to the resampler and returns what comes out, trimmed to the range.
    void processFrame(std::vector<qint16> &out);
    // No more frames: ends the read, after a further look or with a silent range.
    void endOfInput(std::vector<qint16> &out);
    void noteSourceRate(int sampleRate);
    void setUpResampler(const AVFrame *frame);
    void convert(const uint8_t *const *input, int inputCount, std::vector<qint16> &out);
    void appendOutput(const qint16 *samples, qint64 frames, std::vector<qint16> &out);
    // Where a frame starts, from its timestamp (or the last one plus the samples since) snapped
    // to the frame grid; call once per frame in order. Nothing before any stamp since a seek.
    std::optional<qint64> locateFrame(const AVFrame *frame);
    void fail(const MediaReaderError &error);
    void finishWith(ReaderStatus status);

    const QString m_filePath;
    const std::vector<int> m_audioTrackIDs;
    std::optional<MediaTimeRange> m_range;
    int m_trackID = -1;
    PcmOutputSettings m_settings;
    std::atomic<ReaderStatus> m_status{ReaderStatus::unknown};
    std::optional<MediaReaderError> m_error;
    // Outlives m_context, whose interrupt callback reads it.
    std::atomic_bool m_cancelRequested{false};

    AVFormatContextUPtr m_context;
    AVCodecContextUPtr m_decoder;
    SwrContextUPtr m_resampler;
    std::vector<qint16> m_scratch;
    AVPacketUPtr m_packet;
    AVFrameUPtr m_frame;
    AVStream *m_stream = nullptr;
    // The timeline's start in the stream's seconds: the file's start, moved by m_originShift
    // when the audio begins within codecDelayTolerance after it.
    double m_origin = 0.0;
    double m_originShift = 0.0;
    bool m_timelineSettled = false;
    double m_rangeStart = 0.0;
    double m_rangeLength = 0.0;

    // Source-sample positions on the file's timeline (origin = 0), at the source rate.
    int m_sourceRate = 0;
    AVSampleFormat m_resamplerInputFormat = AV_SAMPLE_FMT_NONE;
    int m_resamplerInputRate = 0;
    AVChannelLayout m_resamplerInputLayout{};
    // Frames of a constant size start at m_gridBase + k * m_gridFrameSize.
    qint64 m_gridBase = 0;
    qint64 m_gridFrameSize = 0;
    // Where the last stamped frame starts, and samples decoded since it.
    bool m_anchored = false;
    double m_anchorPosition = 0.0;
    qint64 m_anchorCounted = 0;
    qint64 m_feedStart = 0;
    qint64 m_feedEnd = 0;
    qint64 m_nextPosition = 0;
    bool m_positionKnown = false;
    bool m_feeding = false;
    bool m_seeked = false;
    bool m_firstFrameAfterSeek = false;
    int m_seekAttempts = 0;
    double m_seekTarget = 0.0;

    // Output frames still to drop or to pad with silence before the first delivered frame.
    qint64 m_dropFrames = 0;
    qint64 m_padFrames = 0;
    // round(length x rate) for a range, unlimited otherwise.
    qint64 m_targetFrames = -1;
    qint64 m_deliveredFrames = 0;
    bool m_inputFinished = false;
    bool m_resamplerFlushed = false;
    bool m_decoderDrained = false;
    int m_invalidPackets = 0;
};

} // namespace tonbrook::ffmpeg
