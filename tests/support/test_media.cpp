#include "test_media.h"

#include "testtools.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace testmedia {

QString directory()
{
    const QString path = QStringLiteral(TONBROOK_TEST_MEDIA_DIR);
    QDir().mkpath(path);
    return path;
}

QString make(const QString &name, const QStringList &arguments)
{
    return makePiped(name, arguments, {});
}

QString makePiped(const QString &name, const QStringList &arguments, const QString &pipedFormat)
{
    const QByteArray hash =
        QCryptographicHash::hash((arguments.join(QChar(0x1f)) + pipedFormat).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(10);
    const QFileInfo info(name);
    const QString fileName =
        QStringLiteral("%1-%2.%3")
            .arg(info.completeBaseName(), QString::fromLatin1(hash), info.suffix());
    const QString path = QDir(directory()).filePath(fileName);
    if (QFileInfo(path).size() > 0)
        return path;
    // Written aside and renamed, so a parallel test never sees half a file.
    const QString partial =
        QDir(directory())
            .filePath(QStringLiteral("partial-%1-%2")
                          .arg(QUuid::createUuid().toString(QUuid::Id128), fileName));
    if (pipedFormat.isEmpty()) {
        if (!testtools::ffmpeg(arguments + QStringList{partial})) {
            QFile::remove(partial);
            return {};
        }
    } else {
        // Written to a pipe, the muxer cannot go back to fill in lengths and indexes.
        const auto result = testtools::run(
            testtools::ffmpegPath(), QStringList{"-y", "-hide_banner", "-loglevel", "error"} +
                                         arguments + QStringList{"-f", pipedFormat, "pipe:1"});
        QFile file(partial);
        if (result.exitCode != 0 || !file.open(QIODevice::WriteOnly) ||
            file.write(result.out) != result.out.size()) {
            qWarning("ffmpeg failed: %s", result.err.constData());
            file.remove();
            return {};
        }
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        return QFileInfo(path).size() > 0 ? path : QString();
    }
    return path;
}

QString makeSet(const QString &name, const QStringList &inputs,
                const std::vector<SetOutput> &outputs)
{
    QStringList arguments = inputs;
    for (const SetOutput &output : outputs)
        arguments += output.options + QStringList{output.fileName};
    const QByteArray hash =
        QCryptographicHash::hash(arguments.join(QChar(0x1f)).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(10);
    QDir media(directory());
    const QString path =
        media.filePath(QStringLiteral("%1-%2").arg(name, QString::fromLatin1(hash)));
    if (QFileInfo(path).isDir())
        return path;
    const QString partial = media.filePath(
        QStringLiteral("partial-%1-%2").arg(QUuid::createUuid().toString(QUuid::Id128), name));
    QStringList command = inputs;
    for (const SetOutput &output : outputs)
        command += output.options + QStringList{QDir(partial).filePath(output.fileName)};
    if (!QDir().mkpath(partial) || !testtools::ffmpeg(command) || !media.rename(partial, path)) {
        QDir(partial).removeRecursively();
        return QFileInfo(path).isDir() ? path : QString();
    }
    return path;
}

QString writeBytes(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir(directory()).filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {};
    return path;
}

QStringList rampInput(int sampleRate, int channels, double seconds)
{
    QString expression = QStringLiteral("(mod(n\\,65536)-32768)/32768");
    if (channels > 1)
        expression += QStringLiteral("|(32767-mod(n\\,65536))/32768");
    return {"-f", "lavfi", "-i",
            QStringLiteral("aevalsrc=%1:s=%2:d=%3").arg(expression).arg(sampleRate).arg(seconds)};
}

qint16 rampSample(qint64 n, int channel)
{
    const qint64 phase = ((n % 65536) + 65536) % 65536;
    return channel == 0 ? qint16(phase - 32768) : qint16(32767 - phase);
}

QStringList noiseInput(int sampleRate, int channels, double seconds)
{
    return {"-f", "lavfi", "-i",
            QStringLiteral("anoisesrc=c=white:a=0.4:seed=4242:r=%1:d=%2,aformat=channel_layouts=%3")
                .arg(sampleRate)
                .arg(seconds)
                .arg(channels == 1 ? "mono" : "stereo")};
}

QStringList patternInput(QSize size, int fps, double seconds)
{
    return {"-f", "lavfi", "-i",
            QStringLiteral("testsrc2=s=%1x%2:r=%3:d=%4")
                .arg(size.width())
                .arg(size.height())
                .arg(fps)
                .arg(seconds)};
}

std::vector<qint16> decodeAudio(const QString &path, int sampleRate, int channels)
{
    const auto result = testtools::run(testtools::ffmpegPath(),
                                       {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le",
                                        "-acodec", "pcm_s16le", "-ar", QString::number(sampleRate),
                                        "-ac", QString::number(channels), "-"});
    std::vector<qint16> samples(size_t(result.out.size()) / sizeof(qint16));
    std::memcpy(samples.data(), result.out.constData(), samples.size() * sizeof(qint16));
    return samples;
}

double formatStartTime(const QString &path)
{
    const QJsonObject probe = testtools::ffprobe(path);
    return probe["format"].toObject()["start_time"].toString("0").toDouble();
}

double firstAudioFrameTime(const QString &path)
{
    const auto result = testtools::run(
        testtools::ffprobePath(),
        {"-v", "error", "-select_streams", "a:0", "-read_intervals", "%+3", "-show_entries",
         "frame=best_effort_timestamp_time,pts_time", "-of", "json", path});
    const QJsonArray frames = QJsonDocument::fromJson(result.out)["frames"].toArray();
    if (frames.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    const QJsonObject frame = frames.first().toObject();
    const QString time = frame["best_effort_timestamp_time"].toString(frame["pts_time"].toString());
    return time.isEmpty() ? std::numeric_limits<double>::quiet_NaN() : time.toDouble();
}

double formatDuration(const QString &path)
{
    const QJsonValue duration = testtools::ffprobe(path)["format"].toObject()["duration"];
    return duration.isString() ? duration.toString().toDouble()
                               : std::numeric_limits<double>::quiet_NaN();
}

} // namespace testmedia
