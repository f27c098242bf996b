#include "model/ffmpeg_audio_reader.h"
#include "model/ffmpeg_support.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <QLocale>
#include <QTransform>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

namespace tonbrook {

namespace ffmpeg {

namespace {

quint32 packFourCC(const QByteArray &text)
{
    quint32 code = 0;
    for (int i = 0; i < 4; ++i)
        code = (code << 8) | (i < text.size() ? quint8(text[i]) : 0u);
    return code;
}

FormatDescription describeAudio(const AVCodecParameters *parameters)
{
    FormatDescription description;
    const AVCodecID id = parameters->codec_id;
    if (id == AV_CODEC_ID_AAC || id == AV_CODEC_ID_AAC_LATM) {
        description.codecName = QStringLiteral("aac");
        description.mediaSubType = packFourCC("aac ");
    } else if (id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT) {
        // FFmpeg numbers every PCM flavour in this block.
        description.codecName = QStringLiteral("lpcm");
        description.mediaSubType = packFourCC("lpcm");
    } else {
        const QByteArray name = avcodec_get_name(id);
        description.codecName = QString::fromLatin1(name);
        if (name.size() <= 4)
            description.mediaSubType = packFourCC(name);
    }
    if (parameters->sample_rate > 0 || parameters->ch_layout.nb_channels > 0) {
        description.streamBasicDescription =
            AudioStreamBasicDescription{double(std::max(parameters->sample_rate, 0)),
                                        quint32(std::max(parameters->ch_layout.nb_channels, 0))};
    }
    return description;
}

FormatDescription describeVideo(const AVCodecParameters *parameters)
{
    FormatDescription description;
    const quint32 tag = parameters->codec_tag;
    const std::array<char, 4> bytes{char(tag & 0xff), char((tag >> 8) & 0xff),
                                    char((tag >> 16) & 0xff), char((tag >> 24) & 0xff)};
    // A container's own four-character code ('avc1', 'hvc1', 'XVID'), not a numeric stream type.
    const bool printable =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7f; }) &&
        bytes[0] != ' ';
    if (printable) {
        const QByteArray text(bytes.data(), 4);
        description.codecName = QString::fromLatin1(text).trimmed();
        description.mediaSubType = packFourCC(text);
    } else {
        const QByteArray name = avcodec_get_name(parameters->codec_id);
        description.codecName = QString::fromLatin1(name);
        if (name.size() <= 4)
            description.mediaSubType = packFourCC(name);
    }
    return description;
}

std::optional<QString> languageTag(const AVDictionary *metadata)
{
    const AVDictionaryEntry *entry = av_dict_get(metadata, "language", nullptr, 0);
    if (!entry || !*entry->value)
        return std::nullopt;
    const QString code = QString::fromUtf8(entry->value).trimmed();
    if (code.compare(QLatin1String("und"), Qt::CaseInsensitive) == 0 || code.isEmpty())
        return std::nullopt;
    // Containers store ISO 639-2 ("eng"); a language tag prefers the two-letter form.
    const QLocale::Language language =
        QLocale::codeToLanguage(code, QLocale::ISO639Part2 | QLocale::ISO639Part1);
    if (language != QLocale::AnyLanguage) {
        const QString shortCode = QLocale::languageToCode(language, QLocale::ISO639Part1);
        if (!shortCode.isEmpty())
            return shortCode;
    }
    return code;
}

AffineTransform displayTransform(const AVStream *stream)
{
    size_t size = 0;
    const auto *matrix = reinterpret_cast<const int32_t *>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size));
    if (!matrix || size < 9 * sizeof(int32_t))
        return {};
    // FFmpeg keeps the movie header's matrix: 16.16 fixed point, rows (a b u) (c d v) (tx ty w).
    auto fixed = [](int32_t value) {
        return double(value) / 65536.0;
    };
    return {fixed(matrix[0]), fixed(matrix[1]), fixed(matrix[3]),
            fixed(matrix[4]), fixed(matrix[6]), fixed(matrix[7])};
}

std::optional<CommonMetadataKey> commonKeyFor(const QString &identifier)
{
    QString key = identifier.toLower();
    // Phones and cameras write QuickTime's reverse-DNS keys ("com.apple.quicktime.title");
    // past the prefix they name the same roles.
    const QLatin1String quickTime("com.apple.quicktime.");
    if (key.startsWith(quickTime)) {
        key = key.mid(quickTime.size());
        if (key == QLatin1String("creationdate"))
            return CommonMetadataKey::creationDate;
        if (key != QLatin1String("title") && key != QLatin1String("artist") &&
            key != QLatin1String("author") && key != QLatin1String("album"))
            return std::nullopt;
    }
    if (key == QLatin1String("title"))
        return CommonMetadataKey::title;
    if (key == QLatin1String("artist"))
        return CommonMetadataKey::artist;
    if (key == QLatin1String("author"))
        return CommonMetadataKey::author;
    // AVI's IPRD ("product") is where RIFF keeps the album.
    if (key == QLatin1String("album") || key == QLatin1String("product"))
        return CommonMetadataKey::albumName;
    if (key == QLatin1String("date") || key == QLatin1String("creation_time") ||
        key == QLatin1String("date_released") || key == QLatin1String("date_recorded") ||
        key == QLatin1String("year"))
        return CommonMetadataKey::creationDate;
    return std::nullopt;
}

void appendItems(const AVDictionary *metadata, std::vector<MetadataItem> &items)
{
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(metadata, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        const QString identifier = QString::fromUtf8(entry->key);
        items.push_back({commonKeyFor(identifier), identifier, QString::fromUtf8(entry->value)});
    }
}

// Width of a stored pixel relative to its height. The container's value wins over the
// codec's, as in every FFmpeg tool, so the reported size and the poster frame agree.
double pixelAspect(const AVStream *stream)
{
    const auto valid = [](AVRational ratio) {
        return ratio.num > 0 && ratio.den > 0;
    };
    if (valid(stream->sample_aspect_ratio))
        return av_q2d(stream->sample_aspect_ratio);
    if (valid(stream->codecpar->sample_aspect_ratio))
        return av_q2d(stream->codecpar->sample_aspect_ratio);
    return 1.0;
}

// Scales a decoded picture to RGB. swscale's vector paths write whole blocks of pixels, past
// the end of a narrow line, so the picture lands in a frame padded the way FFmpeg pads its
// own and only then is copied line by line into the image.
QImage scaledImage(const QString &filePath, const AVFrame *frame, QSize size)
{
    const SwsContextUPtr scaler(
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), size.width(),
                       size.height(), AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler)
        throw makeError(filePath, readerText(QT_TRANSLATE_NOOP(
                                      "MediaReader", "The video frame could not be converted")));
    const bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    // Untagged HD video is BT.709 in practice; swscale would otherwise assume BT.601.
    const int colorSpace = frame->colorspace != AVCOL_SPC_UNSPECIFIED ? int(frame->colorspace)
                           : frame->height >= 720                     ? SWS_CS_ITU709
                                                                      : SWS_CS_ITU601;
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(colorSpace), fullRange,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);

    AVFrameUPtr rgb = makeFrame();
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = size.width();
    rgb->height = size.height();
    if (const int result = av_frame_get_buffer(rgb.get(), 0); result < 0)
        throw makeError(
            filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The video frame could not be converted")),
            result);
    if (const int result = sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height,
                                     rgb->data, rgb->linesize);
        result <= 0)
        throw makeError(
            filePath,
            readerText(QT_TRANSLATE_NOOP("MediaReader", "The video frame could not be converted")),
            result);

    QImage image(size, QImage::Format_RGB888);
    if (image.isNull())
        throw std::bad_alloc();
    const qsizetype lineBytes = qsizetype(size.width()) * 3;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), rgb->data[0] + qsizetype(y) * rgb->linesize[0],
                    size_t(lineBytes));
    return image;
}

bool isTrack(const AVStream *stream, MediaType type)
{
    const AVMediaType wanted = type == MediaType::audio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    return stream->codecpar->codec_type == wanted &&
           !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

class MediaAssetImpl final : public MediaAsset {
public:
    MediaAssetImpl(QString filePath, MediaUse use) : m_filePath(std::move(filePath)), m_use(use) {}

    QString filePath() const override { return m_filePath; }

    double loadDuration() override
    {
        std::lock_guard lock(m_mutex);
        ensureOpen();
        return m_duration;
    }

    std::vector<MediaTrack> loadTracks(MediaType type) override
    {
        std::lock_guard lock(m_mutex);
        ensureOpen();
        std::vector<MediaTrack> tracks;
        for (const MediaTrack &track : m_tracks) {
            if (track.mediaType == type)
                tracks.push_back(track);
        }
        return tracks;
    }

    std::vector<MetadataItem> loadCommonMetadata() override
    {
        std::lock_guard lock(m_mutex);
        ensureOpen();
        return m_metadata;
    }

    QImage generateImage(double timeSeconds, QSize maximumSize,
                         bool appliesPreferredTrackTransform) override;

    std::unique_ptr<MediaAssetReader> createReader() override
    {
        std::lock_guard lock(m_mutex);
        ensureOpen();
        std::vector<int> audioTrackIDs;
        for (const MediaTrack &track : m_tracks) {
            if (track.mediaType == MediaType::audio)
                audioTrackIDs.push_back(track.trackID);
        }
        return std::make_unique<AudioReader>(m_filePath, std::move(audioTrackIDs));
    }

private:
    void ensureOpen();
    double scanDuration();
    // The picture at the key frame before the time; without a time, the file's first picture.
    AVFrameUPtr decodeVideoFrame(AVStream *stream, std::optional<double> timeSeconds,
                                 DecodedPictures pictures);

    const QString m_filePath;
    std::mutex m_mutex;
    bool m_opened = false;
    const MediaUse m_use;
    std::optional<MediaReaderError> m_openError;
    AVFormatContextUPtr m_context;
    double m_duration = std::numeric_limits<double>::quiet_NaN();
    std::vector<MediaTrack> m_tracks;
    std::vector<MetadataItem> m_metadata;
};

void MediaAssetImpl::ensureOpen()
{
    if (!m_opened) {
        m_opened = true;
        try {
            m_context = openInput(m_filePath, nullptr, m_use == MediaUse::audioOnly);
            AVFormatContext *context = m_context.get();
            for (unsigned i = 0; i < context->nb_streams; ++i) {
                const AVStream *stream = context->streams[i];
                for (const MediaType type : {MediaType::audio, MediaType::video}) {
                    if (!isTrack(stream, type))
                        continue;
                    MediaTrack track;
                    track.mediaType = type;
                    track.trackID = int(i);
                    track.extendedLanguageTag = languageTag(stream->metadata);
                    track.estimatedDataRate =
                        double(std::max<int64_t>(stream->codecpar->bit_rate, 0));
                    if (type == MediaType::audio) {
                        track.formatDescriptions.push_back(describeAudio(stream->codecpar));
                    } else {
                        track.formatDescriptions.push_back(describeVideo(stream->codecpar));
                        track.naturalSize =
                            QSizeF(std::round(stream->codecpar->width * pixelAspect(stream)),
                                   stream->codecpar->height);
                        track.preferredTransform = displayTransform(stream);
                    }
                    m_tracks.push_back(std::move(track));
                }
            }
            appendItems(context->metadata, m_metadata);
            // Ogg keeps the file's tags in its streams' comment headers.
            if (QByteArray(context->iformat->name).contains("ogg")) {
                for (unsigned i = 0; i < context->nb_streams; ++i)
                    appendItems(context->streams[i]->metadata, m_metadata);
            }
            const bool stated = context->duration != AV_NOPTS_VALUE && context->duration > 0 &&
                                context->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
            m_duration = stated ? double(context->duration) / AV_TIME_BASE : scanDuration();
            if (!std::isfinite(m_duration) && context->duration != AV_NOPTS_VALUE)
                m_duration = double(context->duration) / AV_TIME_BASE;
        } catch (const MediaReaderError &error) {
            m_context.reset();
            m_tracks.clear();
            m_metadata.clear();
            m_openError = error;
        }
    }
    if (m_openError)
        throw *m_openError;
}

double MediaAssetImpl::scanDuration()
{
    // No length in the header (a recorder's WebM, a stream dump): the last packets tell it.
    AVFormatContext *context = m_context.get();
    const double origin = timelineOrigin(context);
    const int64_t fileSize = context->pb ? avio_size(context->pb) : -1;
    AVPacketUPtr packet = makePacket();
    for (const int64_t window : {int64_t(2) << 20, int64_t(32) << 20, int64_t(-1)}) {
        const bool whole = window < 0 || fileSize <= window;
        int result = 0;
        if (whole) {
            result = av_seek_frame(context, -1,
                                   context->start_time == AV_NOPTS_VALUE ? 0 : context->start_time,
                                   AVSEEK_FLAG_BACKWARD);
            if (result < 0)
                result = avformat_seek_file(context, -1, 0, 0, 0, AVSEEK_FLAG_BYTE);
        } else {
            result =
                avformat_seek_file(context, -1, 0, fileSize - window, fileSize, AVSEEK_FLAG_BYTE);
        }
        if (result < 0 && !whole)
            continue;
        double end = -std::numeric_limits<double>::infinity();
        while (av_read_frame(context, packet.get()) >= 0) {
            const AVStream *stream = context->streams[packet->stream_index];
            const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (stamp != AV_NOPTS_VALUE &&
                (isTrack(stream, MediaType::audio) || isTrack(stream, MediaType::video))) {
                end = std::max(end, double(stamp + std::max<int64_t>(packet->duration, 0)) *
                                        av_q2d(stream->time_base));
            }
            av_packet_unref(packet.get());
        }
        if (std::isfinite(end))
            return std::max(0.0, end - origin);
        if (whole)
            break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

AVFrameUPtr MediaAssetImpl::decodeVideoFrame(AVStream *stream, std::optional<double> timeSeconds,
                                             DecodedPictures pictures)
{
    AVFormatContext *context = m_context.get();
    for (unsigned i = 0; i < context->nb_streams; ++i)
        context->streams[i]->discard =
            context->streams[i] == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVCodecContextUPtr decoder = openDecoder(m_filePath, stream, 1, pictures);
    const int64_t timestamp = av_rescale_q(
        std::llround((timelineOrigin(context) + std::max(0.0, timeSeconds.value_or(0.0))) *
                     AV_TIME_BASE),
        AV_TIME_BASE_Q, stream->time_base);
    const auto rewind = [context] {
        return avformat_seek_file(context, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
    };
    if (!timeSeconds) {
        if (rewind() < 0)
            av_seek_frame(context, stream->index, timestamp, AVSEEK_FLAG_BACKWARD);
    } else if (av_seek_frame(context, stream->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        rewind();
    }

    AVPacketUPtr packet = makePacket();
    AVFrameUPtr frame = makeFrame();
    bool keyFrameSeen = false;
    bool drained = false;
    // Enough for any group of pictures; a stream that gives no picture by then has none to give.
    for (int packets = 0; packets < 5000;) {
        int result = avcodec_receive_frame(decoder.get(), frame.get());
        if (result == 0)
            return frame;
        if (result == AVERROR_EOF || drained)
            break;
        if (result != AVERROR(EAGAIN) && result != AVERROR_INVALIDDATA)
            throw makeError(m_filePath,
                            readerText(QT_TRANSLATE_NOOP("MediaReader",
                                                         "The video frame could not be decoded")),
                            result);
        result = av_read_frame(context, packet.get());
        if (result < 0) {
            avcodec_send_packet(decoder.get(), nullptr);
            drained = true;
            continue;
        }
        ++packets;
        if (packet->stream_index == stream->index) {
            // The frame at the key frame before the time is what a poster needs, and cheap.
            keyFrameSeen = keyFrameSeen || (packet->flags & AV_PKT_FLAG_KEY);
            if (keyFrameSeen)
                avcodec_send_packet(decoder.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    throw makeError(m_filePath, readerText(QT_TRANSLATE_NOOP("MediaReader",
                                                             "No video frame could be decoded")));
}

QImage MediaAssetImpl::generateImage(double timeSeconds, QSize maximumSize,
                                     bool appliesPreferredTrackTransform)
{
    std::lock_guard lock(m_mutex);
    ensureOpen();
    const MediaTrack *track = nullptr;
    for (const MediaTrack &candidate : m_tracks) {
        if (candidate.mediaType == MediaType::video) {
            track = &candidate;
            break;
        }
    }
    if (!track)
        throw makeError(m_filePath, readerText(QT_TRANSLATE_NOOP("MediaReader",
                                                                 "The file has no video track")));
    AVStream *stream = m_context->streams[track->trackID];
    AVFrameUPtr frame;
    try {
        // The poster is the key frame at or before the time: nothing after it is decoded.
        frame = decodeVideoFrame(stream, timeSeconds, DecodedPictures::keyFramesAtOnce);
    } catch (const MediaReaderError &) {
        // A seek into a file of one group of pictures (a short transport stream) can land past
        // its only key frame, and a stream may flag no picture as a key frame to its decoder;
        // the first picture decoded in full is a fine poster then.
        frame = decodeVideoFrame(stream, std::nullopt, DecodedPictures::all);
    }

    const double displayWidth = frame->width * pixelAspect(stream);
    const double displayHeight = frame->height;
    const AffineTransform &t = track->preferredTransform;
    const QTransform transform =
        appliesPreferredTrackTransform ? QTransform(t.a, t.b, t.c, t.d, 0, 0) : QTransform();
    const QSizeF upright = transform.mapRect(QRectF(0, 0, displayWidth, displayHeight)).size();
    double scale = 1.0;
    if (maximumSize.width() > 0 && maximumSize.height() > 0 && !upright.isEmpty())
        scale = std::min(
            {1.0, maximumSize.width() / upright.width(), maximumSize.height() / upright.height()});
    const QSize size(std::max(1, int(std::lround(displayWidth * scale))),
                     std::max(1, int(std::lround(displayHeight * scale))));
    QImage image = scaledImage(m_filePath, frame.get(), size);
    if (!transform.isIdentity())
        image = image.transformed(transform);
    return image;
}

} // namespace

} // namespace ffmpeg

std::shared_ptr<MediaAsset> openMediaAsset(const QString &filePath, MediaUse use)
{
    return std::make_shared<ffmpeg::MediaAssetImpl>(filePath, use);
}

} // namespace tonbrook
