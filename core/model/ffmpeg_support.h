#pragma once

// Private to the FFmpeg media reader: the only header that includes FFmpeg.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "model/media_reader.h"

#include <QString>

#include <atomic>
#include <memory>
#include <optional>

namespace tonbrook::ffmpeg {

struct FormatContextDeleter {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct SwrContextDeleter {
    void operator()(SwrContext *context) const { swr_free(&context); }
};
struct SwsContextDeleter {
    void operator()(SwsContext *context) const { sws_freeContext(context); }
};

using AVFormatContextUPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using AVCodecContextUPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using AVFrameUPtr = std::unique_ptr<AVFrame, FrameDeleter>;
using AVPacketUPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrContextUPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using SwsContextUPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;

// FFmpeg's text for an error code, in English or in the language of the process's locale
// (which only a system error's text, the C library's, has).
QString errorText(int code, bool localized);

// A text of the reader's translation context "MediaReader"; mark source with
// QT_TRANSLATE_NOOP("MediaReader", ...).
TranslatableText readerText(const char *source,
                            std::initializer_list<TranslatableText> arguments = {});

// "<file name>: <what> (<FFmpeg's reason>)": what translated by Tonbrook, the reason as
// errorText gives it.
MediaReaderError makeError(const QString &filePath, const TranslatableText &what, int code);
MediaReaderError makeError(const QString &filePath, const TranslatableText &what);

AVFrameUPtr makeFrame();
AVPacketUPtr makePacket();

// Set while a cancel is pending; FFmpeg polls it during blocking reads.
using CancelFlag = std::shared_ptr<std::atomic_bool>;

// Opens and probes a file; throws MediaReaderError. The flag, when given, must outlive the context.
// With audioOnly the probe reads and decodes nothing of the other streams: they are listed
// without their details, and the file's start time and duration are the audio's alone.
AVFormatContextUPtr openInput(const QString &filePath, const std::atomic_bool *cancelFlag = nullptr,
                              bool audioOnly = false);

// Which pictures a video decoder works on.
enum class DecodedPictures {
    all,
    // Key frames only, each given out as soon as it is decoded: one picture costs one frame's
    // memory and time instead of a reordering window's.
    keyFramesAtOnce,
};

// An opened decoder for one stream; throws MediaReaderError.
AVCodecContextUPtr openDecoder(const QString &filePath, const AVStream *stream, int threadCount,
                               DecodedPictures pictures = DecodedPictures::all);

// The time everything in the file is measured from, in seconds (the earliest start).
double timelineOrigin(const AVFormatContext *context);

} // namespace tonbrook::ffmpeg
