#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Runs the built tonbrook-cli and makes the media it is run on.
namespace clitest {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QStringList outLines() const;
    QStringList errLines() const;
    // Every standard output line read as a JSON object (an empty object for a line that is not).
    QList<QJsonObject> events() const;
};

QString cliPath();

// Runs tonbrook-cli to its end with standard output and error on pipes (not a terminal).
CliRun runCli(const QStringList &arguments, int timeoutMs = 180000);

// 3 s of 320x240 H.264 with 44.1 kHz stereo AAC; title, artist and album tags.
QString taggedClip();
// 3 s of video with 48 kHz mono AAC, as Matroska.
QString monoClip48k();
// 4 s of audio only in Matroska: track 0 mono 440 Hz ("eng"), track 1 stereo 880 Hz ("deu").
QString twoTrackAudio();
// 4 s of a 440 Hz tone at 0.3 of full scale (about -10.5 dBFS) with video, as MP4.
QString quietTone();
// 2 s of mono audio at 22.05 kHz (where MP3 carries at most 160 kbit/s) in Matroska.
QString lowRateAudio();
// 2 s of video without any audio track.
QString videoOnly();
// Bytes that no demuxer takes for media, named .mp4.
QString brokenFile();
// 60 s of stereo FLAC in Matroska: a second or so of work.
QString mediumAudio();
// 10 min of stereo FLAC in Matroska: long enough to interrupt.
QString longAudio();

// Video with a mono 44.1 kHz tone of the given frequency and length; extension picks the
// container (mp4, mov or mkv).
QString toneClip(int frequency, double seconds, const QString &extension);

// Copies source to destination, creating folders; false on failure.
bool copyTo(const QString &source, const QString &destination);
// Every entry below folder, hidden ones included, as paths relative to it, sorted.
QStringList entriesBelow(const QString &folder);

struct Volume {
    double meanDb = 0.0;
    double maxDb = 0.0;
};
// ffmpeg's volumedetect over the decoded file.
Volume volume(const QString &path);

} // namespace clitest
