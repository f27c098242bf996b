#include "testtools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

namespace testtools {

ProcessResult run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted()) {
        qWarning("could not start %s", qPrintable(program));
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        qWarning("%s timed out", qPrintable(program));
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString ffmpegPath()
{
    return QStringLiteral(TONBROOK_FFMPEG);
}
QString ffprobePath()
{
    return QStringLiteral(TONBROOK_FFPROBE);
}

bool ffmpeg(const QStringList &arguments)
{
    const auto result =
        run(ffmpegPath(), QStringList{"-y", "-hide_banner", "-loglevel", "error"} + arguments);
    if (result.exitCode != 0)
        qWarning("ffmpeg failed: %s", result.err.constData());
    return result.exitCode == 0;
}

QJsonObject ffprobe(const QString &path)
{
    const auto result = run(ffprobePath(), {"-v", "error", "-print_format", "json", "-show_format",
                                            "-show_streams", path});
    return QJsonDocument::fromJson(result.out).object();
}

QJsonObject mediainfoTrack(const QString &path, const QString &type)
{
    const auto result = run(QStringLiteral(TONBROOK_MEDIAINFO), {"--Output=JSON", path});
    const auto tracks = QJsonDocument::fromJson(result.out)["media"]["track"].toArray();
    for (const auto &track : tracks) {
        if (track.toObject()["@type"].toString() == type)
            return track.toObject();
    }
    return {};
}

QStringList mp3valProblems(const QString &path)
{
    return mp3valProblems(QStringList{path});
}

QStringList mp3valProblems(const QStringList &paths)
{
    const auto result = run(QStringLiteral(TONBROOK_MP3VAL), paths);
    QStringList problems;
    for (const auto &line : QString::fromUtf8(result.out).split('\n')) {
        // mp3val prints one "Analyzing" line and one line per problem found.
        if (line.startsWith("WARNING") || line.startsWith("ERROR"))
            problems << line;
    }
    if (result.exitCode != 0)
        problems << QStringLiteral("mp3val exit code %1").arg(result.exitCode);
    return problems;
}

QJsonObject id3(const QString &path)
{
    const auto result = run(QStringLiteral(TONBROOK_PYTHON),
                            {QStringLiteral(TONBROOK_TEST_TOOLS_DIR "/id3dump.py"), path});
    if (result.exitCode != 0)
        qWarning("id3dump failed: %s", result.err.constData());
    return QJsonDocument::fromJson(result.out).object();
}

QJsonObject mp3Seek(const QString &path)
{
    const auto result = run(QStringLiteral(TONBROOK_PYTHON),
                            {QStringLiteral(TONBROOK_TEST_TOOLS_DIR "/mp3seek.py"), path});
    if (result.exitCode != 0)
        qWarning("mp3seek failed: %s", result.err.constData());
    return QJsonDocument::fromJson(result.out).object();
}

} // namespace testtools
