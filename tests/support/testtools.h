#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Runs the independent tools the tests check our output with.
namespace testtools {

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to completion (fails the running test on a start failure or a time-out).
ProcessResult run(const QString &program, const QStringList &arguments, int timeoutMs = 120000);

QString ffmpegPath();
QString ffprobePath();

// Generates media with the ffmpeg command line; arguments follow "-y -hide_banner".
bool ffmpeg(const QStringList &arguments);

// ffprobe's -show_format -show_streams as JSON.
QJsonObject ffprobe(const QString &path);

// mediainfo's JSON output: the "General" and "Audio" tracks.
QJsonObject mediainfoTrack(const QString &path, const QString &type);

// mp3val's report; empty when the file is clean.
QStringList mp3valProblems(const QString &path);
// The same over many files in one run; each problem line names its file.
QStringList mp3valProblems(const QStringList &paths);

// ID3v2 frames read with python3-mutagen (see tools/id3dump.py).
QJsonObject id3(const QString &path);

// An MP3 file's info frame (frame and byte counts, seek table) and where seeking by it lands,
// read by walking the frame headers (see tools/mp3seek.py).
QJsonObject mp3Seek(const QString &path);

} // namespace testtools
