#include "model/ffmpeg_support.h"

#include <QFileInfo>

#include <mutex>

#include <locale.h>

namespace tonbrook {

MediaReaderError::MediaReaderError(const QString &description)
    : std::runtime_error(description.toStdString())
{
}

MediaReaderError::MediaReaderError(const TranslatableText &description)
    : std::runtime_error(description.english().toStdString()), m_text(description)
{
}

TranslatableText MediaReaderError::text() const
{
    return m_text.isEmpty() ? TranslatableText::verbatim(description()) : m_text;
}

namespace ffmpeg {

namespace {

int interruptCallback(void *opaque)
{
    return static_cast<const std::atomic_bool *>(opaque)->load(std::memory_order_relaxed) ? 1 : 0;
}

} // namespace

QString errorText(int code, bool localized)
{
    // FFmpeg words a system error with the C library's strerror, which speaks the language of
    // the thread's locale; the C locale keeps the English one English.
    static const locale_t plain = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = !localized && plain ? uselocale(plain) : locale_t(nullptr);
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    const int result = av_strerror(code, text, sizeof text);
    if (previous)
        uselocale(previous);
    if (result < 0)
        return QStringLiteral("error %1").arg(code);
    return QString::fromUtf8(text);
}

TranslatableText readerText(const char *source, std::initializer_list<TranslatableText> arguments)
{
    return TranslatableText("MediaReader", source, arguments);
}

MediaReaderError makeError(const QString &filePath, const TranslatableText &what, int code)
{
    return makeError(filePath,
                     TranslatableText::joined(
                         "%1 (%2)", {what, TranslatableText::verbatim(errorText(code, false),
                                                                      errorText(code, true))}));
}

MediaReaderError makeError(const QString &filePath, const TranslatableText &what)
{
    return MediaReaderError(TranslatableText::joined(
        "%1: %2", {TranslatableText::verbatim(QFileInfo(filePath).fileName()), what}));
}

AVFrameUPtr makeFrame()
{
    AVFrameUPtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

AVPacketUPtr makePacket()
{
    AVPacketUPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

AVFormatContextUPtr openInput(const QString &filePath, const std::atomic_bool *cancelFlag,
                              bool audioOnly)
{
    // The core keeps no log; FFmpeg's own chatter would only reach a terminal nobody reads.
    static std::once_flag quietLog;
    std::call_once(quietLog, [] { av_log_set_level(AV_LOG_QUIET); });

    AVFormatContext *raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    if (cancelFlag) {
        raw->interrupt_callback.callback = interruptCallback;
        raw->interrupt_callback.opaque = const_cast<std::atomic_bool *>(cancelFlag);
    }
    // On failure avformat_open_input frees the context itself.
    if (const int result = avformat_open_input(
            &raw, QFileInfo(filePath).absoluteFilePath().toUtf8().constData(), nullptr, nullptr);
        result < 0)
        throw makeError(
            filePath, readerText(QT_TRANSLATE_NOOP("MediaReader", "The file could not be opened")),
            result);
    AVFormatContextUPtr context(raw);
    for (unsigned i = 0; audioOnly && i < context->nb_streams; ++i) {
        if (context->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            context->streams[i]->discard = AVDISCARD_ALL;
    }
    if (const int result = avformat_find_stream_info(context.get(), nullptr); result < 0)
        throw makeError(
            filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The file's streams could not be read")),
            result);
    return context;
}

AVCodecContextUPtr openDecoder(const QString &filePath, const AVStream *stream, int threadCount,
                               DecodedPictures pictures)
{
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        throw makeError(filePath,
                        readerText(QT_TRANSLATE_NOOP("MediaReader", "No decoder for the %1 codec"),
                                   {TranslatableText::verbatim(QString::fromUtf8(
                                       avcodec_get_name(stream->codecpar->codec_id)))}));
    AVCodecContextUPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder)
        throw std::bad_alloc();
    if (const int result = avcodec_parameters_to_context(decoder.get(), stream->codecpar);
        result < 0)
        throw makeError(
            filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The decoder could not be set up")),
            result);
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = threadCount;
    if (pictures == DecodedPictures::keyFramesAtOnce) {
        decoder->skip_frame = AVDISCARD_NONKEY;
        decoder->flags |= AV_CODEC_FLAG_LOW_DELAY;
    }
    if (const int result = avcodec_open2(decoder.get(), codec, nullptr); result < 0)
        throw makeError(
            filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The %1 decoder could not be opened"),
                       {TranslatableText::verbatim(QString::fromUtf8(codec->name))}),
            result);
    return decoder;
}

double timelineOrigin(const AVFormatContext *context)
{
    return context->start_time == AV_NOPTS_VALUE ? 0.0 : double(context->start_time) / AV_TIME_BASE;
}

} // namespace ffmpeg
} // namespace tonbrook
