#include "cli_test_support.h"

#include "support/test_media.h"
#include "support/testtools.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>

namespace clitest {

namespace {

QStringList lines(const QByteArray &bytes)
{
    QStringList result = QString::fromUtf8(bytes).split(u'\n');
    if (!result.isEmpty() && result.constLast().isEmpty())
        result.removeLast();
    return result;
}

QStringList tone(double frequency, int sampleRate, double seconds, double amplitude = 1.0)
{
    if (amplitude == 1.0)
        return {"-f", "lavfi", "-i",
                QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3")
                    .arg(frequency)
                    .arg(sampleRate)
                    .arg(seconds)};
    return {"-f", "lavfi", "-i",
            QStringLiteral("aevalsrc=%1*sin(2*PI*%2*t):s=%3:d=%4")
                .arg(amplitude)
                .arg(frequency)
                .arg(sampleRate)
                .arg(seconds)};
}

} // namespace

QStringList CliRun::outLines() const
{
    return lines(out);
}

QStringList CliRun::errLines() const
{
    return lines(err);
}

QList<QJsonObject> CliRun::events() const
{
    QList<QJsonObject> result;
    for (const QString &line : outLines())
        result << QJsonDocument::fromJson(line.toUtf8()).object();
    return result;
}

QString cliPath()
{
    return QStringLiteral(TONBROOK_CLI);
}

CliRun runCli(const QStringList &arguments, int timeoutMs)
{
    const auto result = testtools::run(cliPath(), arguments, timeoutMs);
    return CliRun{result.exitCode, result.out, result.err};
}

QString taggedClip()
{
    return testmedia::make("cli-tagged.mp4",
                           testmedia::patternInput({320, 240}, 25, 3.0) + tone(440, 44100, 3.0) +
                               QStringList{"-ac", "2", "-c:v", "libx264", "-preset", "ultrafast",
                                           "-c:a", "aac", "-metadata", "title=Harbour Lights",
                                           "-metadata", "artist=The Quay", "-metadata",
                                           "album=Tides", "-shortest"});
}

QString monoClip48k()
{
    return testmedia::make(
        "cli-mono48.mkv", testmedia::patternInput({160, 120}, 25, 3.0) + tone(330, 48000, 3.0) +
                              QStringList{"-ac", "1", "-c:v", "mpeg4", "-c:a", "aac", "-shortest"});
}

QString twoTrackAudio()
{
    return testmedia::make("cli-two-tracks.mkv",
                           tone(440, 44100, 4.0) + tone(880, 44100, 4.0) +
                               QStringList{"-map", "0:a", "-map", "1:a", "-ac:a:0", "1", "-ac:a:1",
                                           "2", "-c:a", "flac", "-metadata:s:a:0", "language=eng",
                                           "-metadata:s:a:1", "language=deu"});
}

QString quietTone()
{
    return testmedia::make("cli-quiet.mp4", testmedia::patternInput({160, 120}, 25, 4.0) +
                                                tone(440, 44100, 4.0, 0.3) +
                                                QStringList{"-ac", "1", "-c:v", "mpeg4", "-c:a",
                                                            "aac", "-b:a", "192k", "-shortest"});
}

QString lowRateAudio()
{
    return testmedia::make("cli-low-rate.mkv", tone(440, 22050, 2.0) + QStringList{"-c:a", "flac"});
}

QString videoOnly()
{
    return testmedia::make("cli-video-only.mp4", testmedia::patternInput({160, 120}, 25, 2.0) +
                                                     QStringList{"-c:v", "mpeg4"});
}

QString brokenFile()
{
    return testmedia::writeBytes(
        "cli-broken.mp4", QByteArray("this is not a video file, only some text\n").repeated(50));
}

QString mediumAudio()
{
    return testmedia::make("cli-medium.mkv",
                           tone(440, 44100, 60.0) + QStringList{"-ac", "2", "-c:a", "flac"});
}

QString longAudio()
{
    return testmedia::make("cli-long.mkv",
                           tone(440, 44100, 600.0) + QStringList{"-ac", "2", "-c:a", "flac"});
}

QString toneClip(int frequency, double seconds, const QString &extension)
{
    return testmedia::make(
        QStringLiteral("cli-tone-%1.%2").arg(frequency).arg(extension),
        testmedia::patternInput({64, 48}, 10, seconds) + tone(frequency, 44100, seconds) +
            QStringList{"-ac", "1", "-c:v", "mpeg4", "-c:a", "aac", "-shortest"});
}

bool copyTo(const QString &source, const QString &destination)
{
    QDir().mkpath(QFileInfo(destination).absolutePath());
    QFile::remove(destination);
    return !source.isEmpty() && QFile::copy(source, destination);
}

QStringList entriesBelow(const QString &folder)
{
    QStringList result;
    QDirIterator walk(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    const QDir base(folder);
    while (walk.hasNext())
        result << base.relativeFilePath(walk.next());
    std::sort(result.begin(), result.end());
    return result;
}

Volume volume(const QString &path)
{
    const auto result =
        testtools::run(testtools::ffmpegPath(), {"-hide_banner", "-nostats", "-i", path, "-af",
                                                 "volumedetect", "-f", "null", "-"});
    const QString text = QString::fromUtf8(result.err);
    Volume volume;
    const auto mean = QRegularExpression("mean_volume: (-?[0-9.]+) dB").match(text);
    const auto max = QRegularExpression("max_volume: (-?[0-9.]+) dB").match(text);
    volume.meanDb = mean.hasMatch() ? mean.captured(1).toDouble() : qQNaN();
    volume.maxDb = max.hasMatch() ? max.captured(1).toDouble() : qQNaN();
    return volume;
}

} // namespace clitest
