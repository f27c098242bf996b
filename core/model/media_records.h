#pragma once

#include "model/cover_art.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QImage>
#include <QJsonObject>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace tonbrook {

class MediaAsset;

// The tags of one output file.
struct MediaMetadata {
    MediaMetadata() = default;
    MediaMetadata(QString title, QString artist, QString album, QString year, QString genre,
                  QString comment, std::optional<CoverArt> coverArtData = std::nullopt)
        : title(std::move(title)), artist(std::move(artist)), album(std::move(album)),
          year(std::move(year)), genre(std::move(genre)), comment(std::move(comment)),
          coverArtData(std::move(coverArtData))
    {
    }

    QString title;
    QString artist;
    QString album;
    QString year;
    QString genre;
    QString comment;
    // Encoded image bytes (JPEG from inspection), kept in the cache; absent means no cover art.
    std::optional<CoverArt> coverArtData;

    // Keys are the field names; absent cover art is left out. Cover art is Base64 text; art
    // that can no longer be read back from the cache is left out as well.
    QJsonObject toJson() const;
    // Missing strings read as empty, missing cover art as absent.
    static MediaMetadata fromJson(const QJsonObject &json);

    bool operator==(const MediaMetadata &) const = default;
};

// One audio track of a source.
struct AudioTrackInfo {
    AudioTrackInfo() = default;
    AudioTrackInfo(qint64 id, QString name, QString format, qint64 channels, double sampleRate,
                   std::optional<QString> language = std::nullopt)
        : id(id), name(std::move(name)), format(std::move(format)), channels(channels),
          sampleRate(sampleRate), language(std::move(language))
    {
    }

    // Zero-based among the source's audio tracks; the value selectedTrackIndex takes.
    qint64 id = 0;
    QString name;
    QString format;
    qint64 channels = 2;
    double sampleRate = 44100.0;
    std::optional<QString> language;

    // "Track 2 (aac, 2ch, 48000Hz)"
    static QString displayName(qint64 id, const QString &format, qint64 channels,
                               double sampleRate);

    // Keys are the field names; absent language is left out.
    QJsonObject toJson() const;
    static AudioTrackInfo fromJson(const QJsonObject &json);

    bool operator==(const AudioTrackInfo &) const = default;
};

size_t qHash(const AudioTrackInfo &track, size_t seed = 0) noexcept;

// "04:05" below an hour, "1:02:03" from an hour on; the fraction is dropped.
QString formatDuration(double seconds);

// A small picture of a source for the views, held as JPEG bytes and decoded when drawn.
struct Thumbnail {
    QByteArray jpeg;
    QSize pixelSize;

    QSize size() const { return pixelSize; }
    // A null image when the bytes do not decode.
    QImage image() const;
    // The picture at twice the largest size the views draw it (aspect-filled), never enlarged;
    // nothing when the image is null or cannot be encoded.
    static std::optional<Thumbnail> fromImage(const QImage &image);
};

// An inspected source file. No equality: the thumbnail makes it a description, not a key.
struct VideoFileInfo {
    QUrl fileURL;
    QString fileName;
    qint64 fileSize = 0;
    double duration = 0.0;
    // Display size of the first video track, already turned for rotated video.
    std::optional<QSizeF> videoResolution;
    std::optional<QString> videoCodec;
    std::vector<AudioTrackInfo> audioTracks;
    std::optional<Thumbnail> thumbnail;
    MediaMetadata metadata;

    // The local path of fileURL, unescaped.
    QString id() const { return fileURL.toLocalFile(); }
    // "04:05" below an hour, "1:02:03" from an hour on.
    QString formattedDuration() const;
    // Decimal units ("1.2 MB").
    QString formattedFileSize() const;

    // Describes the file: size, duration, tracks, tags completed with defaults and a poster frame
    // (also the default cover art). Throws MediaReaderError when the file cannot be read.
    // Blocking; call it off the user-interface thread. Safe to run for several files at once.
    static VideoFileInfo inspect(const QUrl &fileURL);
    // The same steps over an asset already opened on fileURL.
    static VideoFileInfo inspect(const QUrl &fileURL, MediaAsset &asset);

    // Four bytes, most significant first, read as text up to the first zero byte and trimmed;
    // bytes of 0x80 and above are taken as Latin-1.
    static QString fourCCToString(quint32 code);
};

} // namespace tonbrook
