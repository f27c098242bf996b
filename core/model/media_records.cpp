#include "model/media_records.h"

#include <QJsonValue>
#include <QLocale>

#include <cmath>
#include <limits>

namespace tonbrook {

namespace {

QString stringField(const QJsonObject &json, const char *key)
{
    return json.value(QLatin1String(key)).toString();
}

} // namespace

QJsonObject MediaMetadata::toJson() const
{
    QJsonObject json{{"title", title}, {"artist", artist}, {"album", album},
                     {"year", year},   {"genre", genre},   {"comment", comment}};
    if (const std::optional<QByteArray> art = coverArtData ? coverArtData->read() : std::nullopt)
        json.insert("coverArtData", QString::fromLatin1(art->toBase64()));
    return json;
}

MediaMetadata MediaMetadata::fromJson(const QJsonObject &json)
{
    MediaMetadata metadata{stringField(json, "title"), stringField(json, "artist"),
                           stringField(json, "album"), stringField(json, "year"),
                           stringField(json, "genre"), stringField(json, "comment")};
    if (const QJsonValue art = json.value(QLatin1String("coverArtData")); art.isString())
        metadata.coverArtData = QByteArray::fromBase64(art.toString().toLatin1());
    return metadata;
}

QString AudioTrackInfo::displayName(qint64 id, const QString &format, qint64 channels,
                                    double sampleRate)
{
    const double whole = std::trunc(sampleRate);
    const qint64 rate = std::isfinite(whole) && std::abs(whole) < 9.0e18 ? qint64(whole) : 0;
    return QStringLiteral("Track %1 (%2, %3ch, %4Hz)")
        .arg(id + 1)
        .arg(format)
        .arg(channels)
        .arg(rate);
}

QJsonObject AudioTrackInfo::toJson() const
{
    QJsonObject json{{"id", id},
                     {"name", name},
                     {"format", format},
                     {"channels", channels},
                     {"sampleRate", sampleRate}};
    if (language)
        json.insert("language", *language);
    return json;
}

AudioTrackInfo AudioTrackInfo::fromJson(const QJsonObject &json)
{
    AudioTrackInfo track{json.value(QLatin1String("id")).toInteger(), stringField(json, "name"),
                         stringField(json, "format"),
                         json.value(QLatin1String("channels")).toInteger(2),
                         json.value(QLatin1String("sampleRate")).toDouble(44100.0)};
    if (const QJsonValue language = json.value(QLatin1String("language")); language.isString())
        track.language = language.toString();
    return track;
}

size_t qHash(const AudioTrackInfo &track, size_t seed) noexcept
{
    return qHashMulti(seed, track.id, track.name, track.format, track.channels, track.sampleRate,
                      track.language.has_value(), track.language.value_or(QString()));
}

QString VideoFileInfo::formattedDuration() const
{
    return formatDuration(duration);
}

QString formatDuration(double duration)
{
    const double whole = std::trunc(duration);
    const qint64 s = std::isfinite(whole) && std::abs(whole) < 9.0e18 ? qint64(whole) : 0;
    const qint64 minutes = (s % 3600) / 60;
    const qint64 seconds = s % 60;
    if (s < 3600)
        return QString::asprintf("%02lld:%02lld", minutes, seconds);
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, minutes, seconds);
}

QString VideoFileInfo::formattedFileSize() const
{
    return QLocale().formattedDataSize(fileSize, 1, QLocale::DataSizeSIFormat);
}

QString VideoFileInfo::fourCCToString(quint32 code)
{
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = char((code >> shift) & 0xff);
        if (byte == 0)
            break;
        text += QLatin1Char(byte);
    }
    return text.trimmed();
}

} // namespace tonbrook
