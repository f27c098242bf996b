// The waveform envelope against a plain decode of the same track, which is the least it can
// cost: both read every sample once at the track's own rate.
//
//   tonbrook_waveform_bench [--minutes 10,60] [--runs 3] [--workdir DIR]
//
// Sources are stereo 48 kHz AAC in MP4 (a tone plus noise), made once with ffmpeg and kept in
// the work folder.
#include "child_process.h"
#include "engine/waveform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool generate(const QString &path, int minutes)
{
    if (QFile::exists(path))
        return true;
    std::printf("generating %d-minute source %s ...\n", minutes, qPrintable(path));
    std::fflush(stdout);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral(TONBROOK_FFMPEG),
                 bench::toneAndNoiseSourceArguments(path, minutes));
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitCode() == 0;
}

// Every sample of the track at its own rate, touched once and thrown away.
double plainDecode(tonbrook::MediaAsset &asset, const tonbrook::MediaTrack &track)
{
    QElapsedTimer timer;
    timer.start();
    auto reader = asset.createReader();
    const tonbrook::PcmOutputSettings output{48000, 2};
    reader->addOutput(track, output);
    reader->startReading();
    long long sum = 0;
    while (const auto buffer = reader->copyNextSampleBuffer())
        sum += buffer->samples.empty() ? 0 : buffer->samples.back();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return sum == 42 ? seconds + 1e-9 : seconds; // keeps the loop from being dropped
}

double envelope(tonbrook::MediaAsset &asset, const tonbrook::MediaTrack &track, double duration)
{
    QElapsedTimer timer;
    timer.start();
    const auto result =
        tonbrook::computeWaveform(asset, track, 0.0, duration, tonbrook::overviewWaveformBuckets);
    if (!result || !result->problem.isEmpty())
        std::fprintf(stderr, "the envelope failed\n");
    return double(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QList<int> lengths{10, 60};
    int runs = 3;
    QString workdir = QDir::temp().filePath("tonbrook-bench");
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--minutes") {
            lengths.clear();
            for (const QString &value : args[++i].split(u','))
                lengths.append(value.toInt());
        } else if (args[i] == "--runs") {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == "--workdir") {
            workdir = args[++i];
        }
    }
    QDir().mkpath(workdir);
    std::printf("waveform envelope (%d buckets) against a plain decode, median of %d\n",
                tonbrook::overviewWaveformBuckets, runs);
    for (const int minutes : lengths) {
        const QString source =
            QDir(workdir).filePath(QStringLiteral("source-%1min.mp4").arg(minutes));
        if (!generate(source, minutes)) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(source));
            return 1;
        }
        const auto asset = tonbrook::openMediaAsset(source);
        const tonbrook::MediaTrack track = asset->loadTracks(tonbrook::MediaType::audio).front();
        const double duration = asset->loadDuration();
        std::vector<double> decodes;
        std::vector<double> envelopes;
        for (int run = 0; run < runs; ++run) {
            decodes.push_back(plainDecode(*asset, track));
            envelopes.push_back(envelope(*asset, track, duration));
        }
        std::printf("  %3d min: plain decode %6.2f s, envelope %6.2f s, x%.2f\n", minutes,
                    median(decodes), median(envelopes), median(envelopes) / median(decodes));
    }
    return 0;
}
