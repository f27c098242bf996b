#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

// Real media made at test time with the ffmpeg command line, kept in the build tree.
namespace testmedia {

// <build>/test-media, created on first use.
QString directory();

// Runs ffmpeg with the given inputs and options and the output path appended, once per distinct
// argument list; the file name gets a hash of the arguments before its extension. Concurrent
// test programs may ask for the same file. Returns the path, or an empty string on failure.
QString make(const QString &name, const QStringList &arguments);

// The same, with the output written through a pipe in the given format, so the muxer cannot
// seek back to write a duration or an index (as a browser's recorder or a stream dump).
QString makePiped(const QString &name, const QStringList &arguments, const QString &pipedFormat);

// One output of makeSet: its ffmpeg options and its file name.
struct SetOutput {
    QStringList options;
    QString fileName;
};

// Many files from one ffmpeg run over shared inputs, in a folder of their own that is cached
// and renamed into place like make()'s files. Returns the folder, or an empty string on failure.
QString makeSet(const QString &name, const QStringList &inputs,
                const std::vector<SetOutput> &outputs);

// A file holding exactly these bytes (for broken-file cases).
QString writeBytes(const QString &name, const QByteArray &bytes);

// lavfi input of a sawtooth whose value tells the sample index: channel 0 of sample n is
// (n mod 65536) - 32768, channel 1 (when present) is its mirror, 32767 - (n mod 65536).
QStringList rampInput(int sampleRate, int channels, double seconds);
qint16 rampSample(qint64 n, int channel);

// lavfi input of reproducible white noise, for lossy codecs (checked by correlation).
QStringList noiseInput(int sampleRate, int channels, double seconds);

// lavfi input of a moving test pattern.
QStringList patternInput(QSize size, int fps, double seconds);

// The first audio track decoded by the ffmpeg command line: s16le, interleaved.
std::vector<qint16> decodeAudio(const QString &path, int sampleRate, int channels);

// ffprobe's start time of the format, and the time of the first decoded frame of audio track 0.
double formatStartTime(const QString &path);
double firstAudioFrameTime(const QString &path);
// ffprobe's format duration (NaN when it gives none).
double formatDuration(const QString &path);

} // namespace testmedia
