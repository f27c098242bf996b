#include "model/media_reader.h"
#include "model/media_records.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

#include <atomic>
#include <cmath>
#include <malloc.h>

namespace tonbrook {

namespace {

const QString inspectedGenre = QStringLiteral("Soundtrack");
const QString inspectedComment = QStringLiteral("Extracted with Tonbrook");
const QString formatWithoutDescription = QStringLiteral("Audio");
constexpr qint64 channelsWithoutDescription = 2;
constexpr double sampleRateWithoutDescription = 44100.0;
constexpr int posterFrameLimit = 800;
constexpr int coverArtJpegQuality = 85;
// The inspector header draws the thumbnail at 100x70, the queue row at 80x56; twice the larger
// covers HiDPI screens.
const QSize thumbnailFill(200, 140);
// Inspections between two hand-backs of freed memory to the system.
constexpr unsigned trimInterval = 16;

// Codecs with names longer than four characters ("vorbis", "theora") have no code to carry them.
QString codecText(const FormatDescription &description)
{
    return description.mediaSubType != 0 ? VideoFileInfo::fourCCToString(description.mediaSubType)
                                         : description.codecName;
}

double posterFrameTime(double duration)
{
    const double seconds =
        std::min(std::max(0.1 * duration, 1.0), duration > 2.0 ? duration - 1.0 : duration * 0.5);
    return double(MediaTimeRange::unitsFromSeconds(seconds)) / MediaTimeRange::timescale;
}

std::optional<QByteArray> jpegData(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(coverArtJpegQuality);
    if (!writer.write(image) || bytes.isEmpty())
        return std::nullopt;
    bytes.squeeze();
    return bytes;
}

} // namespace

QImage Thumbnail::image() const
{
    return QImage::fromData(jpeg, "JPEG");
}

std::optional<Thumbnail> Thumbnail::fromImage(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    // The views crop the picture to fill their frame, so both sides must reach the frame's.
    const bool larger =
        image.width() > thumbnailFill.width() && image.height() > thumbnailFill.height();
    const QImage shown = larger ? image.scaled(thumbnailFill, Qt::KeepAspectRatioByExpanding,
                                               Qt::SmoothTransformation)
                                : image;
    std::optional<QByteArray> jpeg = jpegData(shown);
    if (!jpeg)
        return std::nullopt;
    return Thumbnail{*std::move(jpeg), shown.size()};
}

VideoFileInfo VideoFileInfo::inspect(const QUrl &fileURL)
{
    VideoFileInfo info = [&fileURL] {
        const auto asset = openMediaAsset(fileURL.toLocalFile());
        return inspect(fileURL, *asset);
    }();
    // Decoding a poster frame takes megabytes that are freed again; left in the thread's heap
    // between the few kilobytes each inspected file keeps, they would stay resident, so that
    // thousands of inspections would hold hundreds of megabytes that nothing uses. Handing them
    // back walks every heap of the process, the queued jobs' as well, so it costs more the more
    // jobs there are: it is done once per batch of inspections, which between them leave tens
    // of kilobytes a file.
    static std::atomic<unsigned> inspected{0};
    if (inspected.fetch_add(1, std::memory_order_relaxed) % trimInterval == trimInterval - 1)
        ::malloc_trim(0);
    return info;
}

VideoFileInfo VideoFileInfo::inspect(const QUrl &fileURL, MediaAsset &asset)
{
    const QString path = fileURL.toLocalFile();
    const QFileInfo file(path);

    double duration = asset.loadDuration();
    if (!std::isfinite(duration))
        duration = 0.0;

    const qint64 fileSize = file.isFile() ? file.size() : 0;

    std::optional<QSizeF> videoResolution;
    std::optional<QString> videoCodec;
    const std::vector<MediaTrack> videoTracks = asset.loadTracks(MediaType::video);
    if (!videoTracks.empty()) {
        const MediaTrack &track = videoTracks.front();
        const QSizeF natural = track.naturalSize;
        const AffineTransform &t = track.preferredTransform;
        const bool quarterTurn =
            (t.a == 0.0 && std::abs(t.b) == 1.0) || (std::abs(t.c) == 1.0 && t.d == 0.0);
        videoResolution = quarterTurn ? natural.transposed() : natural;
        if (!track.formatDescriptions.empty())
            videoCodec = codecText(track.formatDescriptions.front());
    }

    std::vector<AudioTrackInfo> audioTracks;
    const std::vector<MediaTrack> audio = asset.loadTracks(MediaType::audio);
    for (size_t i = 0; i < audio.size(); ++i) {
        const MediaTrack &track = audio[i];
        QString format = formatWithoutDescription;
        qint64 channels = channelsWithoutDescription;
        double sampleRate = sampleRateWithoutDescription;
        if (!track.formatDescriptions.empty()) {
            const FormatDescription &description = track.formatDescriptions.front();
            format = codecText(description);
            if (description.streamBasicDescription) {
                channels = description.streamBasicDescription->channelsPerFrame;
                sampleRate = description.streamBasicDescription->sampleRate;
            }
        }
        const auto id = qint64(i);
        audioTracks.push_back({id, AudioTrackInfo::displayName(id, format, channels, sampleRate),
                               format, channels, sampleRate, track.extendedLanguageTag});
    }

    QString title = file.completeBaseName();
    QString artist;
    QString album;
    QString year;
    std::vector<MetadataItem> items;
    try {
        items = asset.loadCommonMetadata();
    } catch (const MediaReaderError &) {
        // Tags are a convenience: a file whose tags cannot be read keeps the defaults.
    }
    for (const MetadataItem &item : items) {
        if (!item.commonKey || !item.stringValue)
            continue;
        const QString &value = *item.stringValue;
        switch (*item.commonKey) {
        case CommonMetadataKey::title:
            if (!value.isEmpty())
                title = value;
            break;
        case CommonMetadataKey::artist:
        case CommonMetadataKey::author:
            if (!value.isEmpty())
                artist = value;
            break;
        case CommonMetadataKey::albumName:
            if (!value.isEmpty())
                album = value;
            break;
        case CommonMetadataKey::creationDate:
            if (value.size() >= 4)
                year = value.left(4);
            break;
        }
    }
    MediaMetadata metadata{title, artist,         album.isEmpty() ? title : album,
                           year,  inspectedGenre, inspectedComment};

    std::optional<Thumbnail> thumbnail;
    if (!videoTracks.empty()) {
        try {
            const QImage image = asset.generateImage(
                posterFrameTime(duration), QSize(posterFrameLimit, posterFrameLimit), true);
            if (!image.isNull()) {
                metadata.coverArtData = jpegData(image);
                thumbnail = Thumbnail::fromImage(image);
            }
        } catch (const MediaReaderError &) {
            // No poster frame is no reason to refuse the file.
        }
    }

    // file.fileName() keeps the extension; a URL's path text would keep its escapes.
    return VideoFileInfo{fileURL,
                         file.fileName(),
                         fileSize,
                         duration,
                         videoResolution,
                         videoCodec,
                         std::move(audioTracks),
                         std::move(thumbnail),
                         std::move(metadata)};
}

} // namespace tonbrook
