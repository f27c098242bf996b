#include "cli_report.h"

#include "queue/conversion_job.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tonbrook::cli {

namespace {

QString path(const QUrl &url)
{
    return url.toLocalFile();
}

QJsonValue nullable(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonValue sizeObject(double width, double height)
{
    return QJsonObject{{"width", width}, {"height", height}};
}

QJsonObject event(const char *name, const ConversionJob &job)
{
    return QJsonObject{{"event", QString::fromLatin1(name)}, {"file", path(job.sourceURL())}};
}

} // namespace

QJsonObject inspectObject(const ConversionJob &job)
{
    const auto &info = job.fileInfo();
    if (!info) {
        return QJsonObject{{"file", path(job.sourceURL())},
                           {"error", job.status().error().isEmpty()
                                         ? job.errorMessage().value_or(QString())
                                         : job.status().error()}};
    }
    QJsonArray tracks;
    for (const AudioTrackInfo &track : info->audioTracks) {
        tracks.append(QJsonObject{{"id", track.id},
                                  {"name", track.name},
                                  {"format", track.format},
                                  {"channels", track.channels},
                                  {"sampleRate", track.sampleRate},
                                  {"language", nullable(track.language)}});
    }
    const MediaMetadata &tags = info->metadata;
    const QJsonObject metadata{
        {"title", tags.title},
        {"artist", tags.artist},
        {"album", tags.album},
        {"year", tags.year},
        {"genre", tags.genre},
        {"comment", tags.comment},
        {"coverArtBytes", tags.coverArtData ? tags.coverArtData->size() : 0}};
    return QJsonObject{
        {"file", path(job.sourceURL())},
        {"fileName", info->fileName},
        {"fileSize", info->fileSize},
        {"duration", info->duration},
        {"formattedDuration", info->formattedDuration()},
        // The same in every locale, as the rest of the machine-readable output.
        {"formattedFileSize",
         QLocale::c().formattedDataSize(info->fileSize, 1, QLocale::DataSizeSIFormat)},
        {"videoResolution", info->videoResolution ? sizeObject(info->videoResolution->width(),
                                                               info->videoResolution->height())
                                                  : QJsonValue(QJsonValue::Null)},
        {"videoCodec", nullable(info->videoCodec)},
        {"audioTracks", tracks},
        {"metadata", metadata},
        // The picture the views draw, not the full poster (that is the cover art).
        {"thumbnail", info->thumbnail ? sizeObject(info->thumbnail->size().width(),
                                                   info->thumbnail->size().height())
                                      : QJsonValue(QJsonValue::Null)},
    };
}

QJsonObject addedEvent(const ConversionJob &job)
{
    QJsonObject object = event("added", job);
    object.insert("output", path(job.outputURL()));
    return object;
}

QJsonObject startedEvent(const ConversionJob &job)
{
    QJsonObject object = event("started", job);
    object.insert("output", path(job.outputURL()));
    return object;
}

QJsonObject progressEvent(const ConversionJob &job)
{
    QJsonObject object = event("progress", job);
    object.insert("fraction", job.status().progress());
    object.insert("speed", job.status().speed());
    object.insert("eta", job.status().eta());
    return object;
}

QJsonObject completedEvent(const ConversionJob &job)
{
    QJsonObject object = event("completed", job);
    object.insert("output", path(job.status().outputURL()));
    object.insert("size", job.status().outputSize());
    object.insert("duration", job.status().duration());
    if (!job.resultNote().isEmpty())
        object.insert("note", job.resultNote());
    return object;
}

QJsonObject failedEvent(const ConversionJob &job, const QString &error)
{
    QJsonObject object = event("failed", job);
    object.insert("error", error);
    return object;
}

QJsonObject cancelledEvent(const ConversionJob &job)
{
    return event("cancelled", job);
}

QJsonObject batchEvent(int completed, int failed, int cancelled, double seconds)
{
    return QJsonObject{{"event", "batch"},
                       {"completed", completed},
                       {"failed", failed},
                       {"cancelled", cancelled},
                       {"seconds", std::round(seconds * 1000.0) / 1000.0}};
}

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString progressBar(double fraction, int width)
{
    const double clamped = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    const int filled = int(std::floor(clamped * width));
    return u'[' + QString(filled, u'#') + QString(width - filled, u'.') + u']';
}

QString elide(const QString &text, int width)
{
    if (text.size() <= width)
        return text;
    if (width <= 1)
        return text.left(width);
    return text.left(width - 1) + QChar(0x2026);
}

QString summaryLine(int completed, int failed, int cancelled, double seconds)
{
    return QCoreApplication::translate("CliSession",
                                       "%1 completed, %2 failed, %3 cancelled in %4 s")
        .arg(completed)
        .arg(failed)
        .arg(cancelled)
        .arg(QLocale().toString(seconds, 'f', 1));
}

} // namespace tonbrook::cli
