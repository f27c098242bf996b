// Extraction speed and memory against the ffmpeg command line and LAME alone.
//
//   tonbrook_extract_bench [--minutes 10] [--runs 3] [--long] [--workdir DIR]
//
// Generates a stereo 48 kHz AAC-in-MP4 (noise plus tone), then times, in the same run:
// our engine at 320 kbit/s, `ffmpeg -vn -c:a libmp3lame -b:a 320k -compression_level 2`,
// and the `lame` command line on the decoded PCM (the encoder alone, the limit). Peak and
// loudness normalisation are timed against the plain extraction. Each
// extraction runs in a child process so that its peak memory is its own.
#include "child_process.h"
#include "engine/audio_extraction_engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Run {
    double seconds = 0;
    long maxRssKiB = 0;
    bool ok = false;
};

// Runs a program to completion and measures its wall time and peak resident memory.
Run measure(const QStringList &command)
{
    QElapsedTimer timer;
    timer.start();
    Run run;
    const pid_t pid = bench::spawnQuiet(command);
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.maxRssKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Series {
    std::vector<double> seconds;
    long maxRssKiB = 0;

    void add(const Run &r)
    {
        seconds.push_back(r.seconds);
        maxRssKiB = std::max(maxRssKiB, r.maxRssKiB);
    }
};

// mode: empty, --normalize (peak) or --loudness (to -16 LUFS).
int extractOnly(const QString &from, const QString &to, const QString &mode)
{
    tonbrook::AudioExtractionSettings settings;
    settings.normalizePeak = mode == QLatin1String("--normalize");
    if (mode == QLatin1String("--loudness"))
        settings.loudnessTarget = tonbrook::suggestedLoudnessTarget;
    tonbrook::AudioExtractionEngine engine;
    try {
        engine.extractAudio(from, to, settings, std::nullopt).get();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

bool generate(const QString &path, int minutes)
{
    if (QFile::exists(path))
        return true;
    std::printf("generating %d-minute source %s ...\n", minutes, qPrintable(path));
    std::fflush(stdout);
    return measure(QStringList{"ffmpeg"} + bench::toneAndNoiseSourceArguments(path, minutes)).ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == "--extract-only")
        return extractOnly(args[2], args[3], args.value(4));

    int minutes = 10;
    int runs = 3;
    bool longRun = false;
    QString workdir = QDir::temp().filePath("tonbrook-bench");
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--minutes" && i + 1 < args.size())
            minutes = args[++i].toInt();
        else if (args[i] == "--runs" && i + 1 < args.size())
            runs = args[++i].toInt();
        else if (args[i] == "--workdir" && i + 1 < args.size())
            workdir = args[++i];
        else if (args[i] == "--long")
            longRun = true;
    }
    QDir().mkpath(workdir);
    const QString source = QDir(workdir).filePath(QStringLiteral("source-%1min.mp4").arg(minutes));
    const QString wav = QDir(workdir).filePath(QStringLiteral("source-%1min.wav").arg(minutes));
    if (!generate(source, minutes) ||
        (!QFile::exists(wav) && !measure({"ffmpeg", "-y", "-i", source, wav}).ok)) {
        std::fprintf(stderr, "could not generate the source media\n");
        return 1;
    }
    const QString self = app.applicationFilePath();
    const QString out = QDir(workdir).filePath("out.mp3");
    const bool haveLame = !QStandardPaths::findExecutable("lame").isEmpty();

    Series ours, normalized, loudness, ffmpeg, lame;
    for (int i = 0; i < runs; ++i) {
        ours.add(measure({self, "--extract-only", source, out}));
        normalized.add(measure({self, "--extract-only", source, out, "--normalize"}));
        loudness.add(measure({self, "--extract-only", source, out, "--loudness"}));
        ffmpeg.add(measure({"ffmpeg", "-y", "-i", source, "-vn", "-c:a", "libmp3lame", "-b:a",
                            "320k", "-compression_level", "2", out}));
        if (haveLame)
            lame.add(measure({"lame", "--silent", "-b", "320", "-q", "2", wav, out}));
    }

    const double t = median(ours.seconds);
    std::printf("source: %d min stereo 48 kHz AAC, %d runs, median wall time\n", minutes, runs);
    std::printf("  tonbrook            %7.2f s   peak %6.1f MiB\n", t, ours.maxRssKiB / 1024.0);
    std::printf("  tonbrook normalised %7.2f s   peak %6.1f MiB   x%.3f of plain\n",
                median(normalized.seconds), normalized.maxRssKiB / 1024.0,
                median(normalized.seconds) / t);
    // The loudness pre-pass: a second decode into libebur128 and the true-peak meter.
    std::printf("  tonbrook loudness   %7.2f s   peak %6.1f MiB   x%.3f of plain\n",
                median(loudness.seconds), loudness.maxRssKiB / 1024.0,
                median(loudness.seconds) / t);
    std::printf("  ffmpeg libmp3lame   %7.2f s   peak %6.1f MiB   ratio %.3f\n",
                median(ffmpeg.seconds), ffmpeg.maxRssKiB / 1024.0, t / median(ffmpeg.seconds));
    if (haveLame)
        std::printf("  lame on PCM         %7.2f s   peak %6.1f MiB   ratio %.3f\n",
                    median(lame.seconds), lame.maxRssKiB / 1024.0, t / median(lame.seconds));
    else
        std::printf("  lame on PCM         (the lame command line is not installed)\n");

    if (longRun) {
        const QString longSource = QDir(workdir).filePath("source-60min.mp4");
        if (generate(longSource, 60)) {
            const Run r = measure({self, "--extract-only", longSource, out});
            std::printf("  tonbrook 60 min     %7.2f s   peak %6.1f MiB\n", r.seconds,
                        r.maxRssKiB / 1024.0);
            // The demuxer's sample index grows with the file; ffmpeg shows the same growth.
            const Run f = measure({"ffmpeg", "-y", "-i", longSource, "-vn", "-c:a", "libmp3lame",
                                   "-b:a", "320k", "-compression_level", "2", out});
            std::printf("  ffmpeg 60 min       %7.2f s   peak %6.1f MiB\n", f.seconds,
                        f.maxRssKiB / 1024.0);
        }
    }
    QFile::remove(out);
    return 0;
}
