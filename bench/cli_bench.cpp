// End-to-end speed and memory of tonbrook-cli against the ffmpeg command line doing the same
// work (`ffmpeg -i IN -vn -c:a libmp3lame -b:a 320k -compression_level 2 OUT`, the same LAME).
//
//   tonbrook_cli_bench [--runs 5] [--workdir DIR] [--only single|parallel|batch|inspect|scale]
//
// single:  one 10-minute stereo 48 kHz AAC-in-MP4, the CLI and ffmpeg paired run by run.
// parallel: the same file at 320 kbit/s and at V2, the CLI on every hardware thread, on
//          one (--threads 1) and ffmpeg, the three in turn run by run; then the peak memory
//          of a 60-minute file on eight encoders.
// batch:   eight 1-minute files: the CLI with --jobs 1 and --jobs 2, and ffmpeg in two lanes.
// inspect: --inspect on 100 small video files, one process per file and one for all.
// inspect-memory: peak memory of --inspect over 1, 1,000 and 10,000 hard links to one 1 s
//          1080p clip (only with --only inspect-memory).
// scale:   1,000 and then 20,000 tiny files in one run each (only with --only scale): the
//          wall time per file must not grow with the number of files.
// Every measured program is a child of this one; peak memory is the child's own (wait4).
#include "child_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

namespace {

const QString cli = QStringLiteral(TONBROOK_CLI);
const QString ffmpeg = QStringLiteral(TONBROOK_FFMPEG);

struct Run {
    double seconds = 0;
    long maxRssKiB = 0;
    bool ok = true;
};

// Runs the commands at most `lanes` at a time (the next starts as soon as one ends); the wall
// time is from the first start to the last end, the peak is the largest single process.
Run runLanes(const std::vector<QStringList> &commands, int lanes)
{
    std::deque<QStringList> waiting(commands.begin(), commands.end());
    int running = 0;
    Run run;
    QElapsedTimer timer;
    timer.start();
    while (!waiting.empty() || running > 0) {
        while (running < lanes && !waiting.empty()) {
            if (bench::spawnQuiet(waiting.front()) < 0)
                run.ok = false;
            else
                ++running;
            waiting.pop_front();
        }
        int status = 0;
        rusage usage{};
        if (wait4(-1, &status, 0, &usage) < 0)
            break;
        --running;
        run.maxRssKiB = std::max(run.maxRssKiB, usage.ru_maxrss);
        run.ok = run.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    return run;
}

Run measure(const QStringList &command)
{
    return runLanes({command}, 1);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n == 0)
        return 0;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series {
    std::vector<double> seconds;
    long maxRssKiB = 0;
    bool ok = true;

    void add(const Run &run)
    {
        seconds.push_back(run.seconds);
        maxRssKiB = std::max(maxRssKiB, run.maxRssKiB);
        ok = ok && run.ok;
    }
    double median() const { return ::median(seconds); }
    double mib() const { return double(maxRssKiB) / 1024.0; }
};

bool generate(const QString &path, const QStringList &inputs, const QStringList &options)
{
    if (QFileInfo(path).size() > 0)
        return true;
    const QString partial = path + QStringLiteral(".partial.") + QFileInfo(path).suffix();
    const bool ok =
        measure(QStringList{ffmpeg, "-y", "-v", "error"} + inputs + options + QStringList{partial})
            .ok;
    return ok && QFile::rename(partial, path);
}

// Stereo 48 kHz AAC at 192 kbit/s in MP4: a tone with noise, so the encoder has real work.
bool generateAudio(const QString &path, int seconds, int frequency)
{
    const QString d = QString::number(seconds);
    return generate(
        path,
        {"-f", "lavfi", "-i",
         QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=%2").arg(frequency).arg(d),
         "-f", "lavfi", "-i", "anoisesrc=r=48000:a=0.2:d=" + d},
        {"-filter_complex", "[0:a][1:a]amix=inputs=2,aformat=channel_layouts=stereo", "-c:a", "aac",
         "-b:a", "192k"});
}

QStringList ffmpegExtract(const QString &in, const QString &out)
{
    return {ffmpeg, "-y",   "-v",         "error", "-i",   in,
            "-vn",  "-c:a", "libmp3lame", "-b:a",  "320k", "-compression_level",
            "2",    out};
}

QString outputOf(const QString &folder, const QString &source)
{
    return QDir(folder).filePath(QFileInfo(source).completeBaseName() + ".mp3");
}

void single(const QString &workdir, int runs)
{
    const QString source = QDir(workdir).filePath("single-10min.mp4");
    if (!generateAudio(source, 600, 440)) {
        std::fprintf(stderr, "could not generate %s\n", qPrintable(source));
        return;
    }
    const QString out = QDir(workdir).filePath("single-out");
    QDir().mkpath(out);
    Series ours, theirs;
    for (int i = 0; i < runs; ++i) {
        // Alternating who goes first cancels a drift in machine load.
        const auto cliRun = [&] {
            ours.add(measure({cli, "-q", "-o", out, source}));
        };
        const auto ffmpegRun = [&] {
            theirs.add(measure(ffmpegExtract(source, QDir(out).filePath("ffmpeg.mp3"))));
        };
        if (i % 2 == 0) {
            cliRun();
            ffmpegRun();
        } else {
            ffmpegRun();
            cliRun();
        }
    }
    std::printf("\none 10-minute AAC-in-MP4 at 320 kbit/s, median of %d paired runs%s\n", runs,
                ours.ok && theirs.ok ? "" : "  (SOME RUNS FAILED)");
    std::printf("  tonbrook-cli -q -o OUT IN            %7.2f s   peak %6.1f MiB\n", ours.median(),
                ours.mib());
    std::printf("  ffmpeg -i IN -vn -c:a libmp3lame ... %7.2f s   peak %6.1f MiB\n",
                theirs.median(), theirs.mib());
    std::printf("  wall time ratio cli/ffmpeg           %7.3f   (target <= 1.00)\n",
                ours.median() / theirs.median());
    std::printf("  peak memory                          %7.1f MiB (target < 64)\n", ours.mib());
}

// The 10-minute file encoded on several threads against one thread and against ffmpeg.
void parallel(const QString &workdir, int runs)
{
    const QString source = QDir(workdir).filePath("single-10min.mp4");
    if (!generateAudio(source, 600, 440)) {
        std::fprintf(stderr, "could not generate %s\n", qPrintable(source));
        return;
    }
    const QString out = QDir(workdir).filePath("parallel-out");
    QDir().mkpath(out);
    const int threads = std::max(1, QThread::idealThreadCount());
    struct Mode {
        const char *name;
        QString cliBitrate;
        QStringList ffmpegRate;
    };
    for (const Mode &mode :
         {Mode{"320 kbit/s", "320", {"-b:a", "320k"}}, Mode{"V2", "v2", {"-q:a", "2"}}}) {
        Series all, one, theirs;
        for (int i = 0; i < runs; ++i) {
            std::vector<std::function<void()>> order{
                [&] {
                    all.add(measure({cli, "-q", "-b", mode.cliBitrate, "-o", out, source}));
                },
                [&] {
                    one.add(measure(
                        {cli, "-q", "--threads", "1", "-b", mode.cliBitrate, "-o", out, source}));
                },
                [&] {
                    theirs.add(measure(
                        QStringList{ffmpeg, "-y", "-v", "error", "-i", source, "-vn", "-c:a",
                                    "libmp3lame"} +
                        mode.ffmpegRate +
                        QStringList{"-compression_level", "2", QDir(out).filePath("ffmpeg.mp3")}));
                }};
            std::rotate(order.begin(), order.begin() + (i % 3), order.end());
            for (const auto &step : order)
                step();
        }
        std::printf("\none 10-minute AAC-in-MP4 at %s on %d hardware threads, median of %d "
                    "runs%s\n",
                    mode.name, threads, runs,
                    all.ok && one.ok && theirs.ok ? "" : "  (SOME RUNS FAILED)");
        std::printf("  tonbrook-cli (%d threads)             %7.2f s   peak %6.1f MiB\n", threads,
                    all.median(), all.mib());
        std::printf("  tonbrook-cli --threads 1             %7.2f s   peak %6.1f MiB\n",
                    one.median(), one.mib());
        std::printf("  ffmpeg -i IN -vn -c:a libmp3lame ... %7.2f s   peak %6.1f MiB\n",
                    theirs.median(), theirs.mib());
        std::printf("  wall time ratio cli/ffmpeg           %7.3f   (target <= 0.60)\n",
                    all.median() / theirs.median());
        std::printf("  speed-up over --threads 1            %7.3f   (target >= 1.8)\n",
                    one.median() / all.median());
        std::fflush(stdout);
    }

    // Memory grows with the length and the number of segments: an hour on eight encoders.
    const QString hour = QDir(workdir).filePath("single-60min.mp4");
    if (!generateAudio(hour, 3600, 440)) {
        std::fprintf(stderr, "could not generate %s\n", qPrintable(hour));
        return;
    }
    const Run eight = measure({cli, "-q", "--threads", "8", "-o", out, hour});
    std::printf("\none 60-minute AAC-in-MP4 at 320 kbit/s, --threads 8\n");
    std::printf("  tonbrook-cli --threads 8             %7.2f s   peak %6.1f MiB%s\n",
                eight.seconds, double(eight.maxRssKiB) / 1024.0, eight.ok ? "" : "  (FAILED)");
    std::printf("  peak memory                          %7.1f MiB (target <= 96)\n",
                double(eight.maxRssKiB) / 1024.0);
}

void batch(const QString &workdir, int runs)
{
    const QString folder = QDir(workdir).filePath("batch-8x1min");
    QDir().mkpath(folder);
    QStringList sources;
    for (int i = 0; i < 8; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("clip-%1.mp4").arg(i));
        if (!generateAudio(path, 60, 300 + 50 * i)) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(path));
            return;
        }
        sources << path;
    }
    const QString out = QDir(workdir).filePath("batch-out");
    QDir().mkpath(out);
    std::vector<QStringList> ffmpegCommands;
    for (const QString &source : sources)
        ffmpegCommands.push_back(ffmpegExtract(source, outputOf(out, source)));

    Series one, two, lanes;
    for (int i = 0; i < runs; ++i) {
        std::vector<std::function<void()>> order{
            [&] {
                one.add(measure(QStringList{cli, "-q", "-j", "1", "-o", out} + sources));
            },
            [&] {
                two.add(measure(QStringList{cli, "-q", "-j", "2", "-o", out} + sources));
            },
            [&] {
                lanes.add(runLanes(ffmpegCommands, 2));
            }};
        std::rotate(order.begin(), order.begin() + (i % 3), order.end());
        for (const auto &step : order)
            step();
    }
    std::printf("\neight 1-minute AAC-in-MP4 files at 320 kbit/s, median of %d runs%s\n", runs,
                one.ok && two.ok && lanes.ok ? "" : "  (SOME RUNS FAILED)");
    std::printf("  tonbrook-cli -q -j 1 -o OUT FILES... %7.2f s   peak %6.1f MiB\n", one.median(),
                one.mib());
    std::printf("  tonbrook-cli -q -j 2 -o OUT FILES... %7.2f s   peak %6.1f MiB\n", two.median(),
                two.mib());
    std::printf("  ffmpeg, two processes side by side   %7.2f s   peak %6.1f MiB (one process)\n",
                lanes.median(), lanes.mib());
    std::printf("  throughput -j 2 / -j 1               %7.3f   (target >= 1.8)\n",
                one.median() / two.median());
    std::printf("  wall time -j 2 / two ffmpeg lanes    %7.3f   (target <= 1.05)\n",
                two.median() / lanes.median());
    std::printf("  peak memory -j 2                     %7.1f MiB (target < 128)\n", two.mib());
}

// count hard links to clip below root, perFolder to a folder, the i-th named nameOf(i); made
// once and kept for later runs (a file "complete" marks a finished set).
bool linkSet(const QString &clip, const QString &root, int count, int perFolder,
             const std::function<QString(int)> &nameOf)
{
    if (QFileInfo(QDir(root).filePath("complete")).exists())
        return true;
    QDir(root).removeRecursively();
    const QByteArray target = QFile::encodeName(clip);
    for (int i = 0; i < count; ++i) {
        const QString folder =
            QDir(root).filePath(QStringLiteral("d%1").arg(i / perFolder, 4, 10, QChar('0')));
        if (i % perFolder == 0)
            QDir().mkpath(folder);
        if (::link(target.constData(), QFile::encodeName(QDir(folder).filePath(nameOf(i)))) != 0)
            return false;
    }
    QFile done(QDir(root).filePath("complete"));
    return done.open(QIODevice::WriteOnly);
}

// One 0.3 s clip hard-linked under many names: 100 per folder, of which 10 are named clip.<ext>
// (mp4, mov, mkv, ...), so every folder adds ten more sources that all want OUT/clip.mp3.
bool linkScaleSet(const QString &clip, const QString &root, int count)
{
    static const char *const clipExtensions[] = {"mp4",  "mov", "mkv", "m4v", "avi",
                                                 "webm", "ts",  "flv", "mpg", "3gp"};
    return linkSet(clip, root, count, 100, [](int i) {
        return i % 100 < 10 ? QStringLiteral("clip.%1").arg(clipExtensions[i % 100])
                            : QStringLiteral("f-%1.mp4").arg(i, 5, 10, QChar('0'));
    });
}

// One 1 s 1080p H.264 clip hard-linked N times, 1,000 names per folder, inspected in one
// --inspect run over the whole tree: the peak memory of the process, and what each inspected
// file adds to it. The cover art goes to a cache folder under the work folder.
void inspectMemory(const QString &workdir)
{
    const QString clip = QDir(workdir).filePath("memory-clip-1080p-1s.mp4");
    if (!generate(
            clip,
            {"-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=25:d=1", "-f", "lavfi", "-i",
             "sine=frequency=440:sample_rate=48000:duration=1"},
            {"-c:v", "libx264", "-preset", "ultrafast", "-g", "250", "-c:a", "aac", "-shortest"})) {
        std::fprintf(stderr, "could not generate %s\n", qPrintable(clip));
        return;
    }
    const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
    const bool hadCache = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(QDir(workdir).filePath("memory-cache")));
    std::printf("\ninspect-memory: tonbrook-cli --inspect FOLDER > /dev/null over N hard links "
                "to one 1 s 1920x1080 H.264 + AAC clip\n");
    std::fflush(stdout);
    long baseKiB = 0;
    for (const int count : {1, 1000, 10000}) {
        const QString root = QDir(workdir).filePath(QStringLiteral("memory-%1").arg(count));
        if (!linkSet(clip, root, count, 1000, [](int i) {
                return QStringLiteral("clip-%1.mp4").arg(i, 5, 10, QChar('0'));
            })) {
            std::fprintf(stderr, "could not link %d files under %s\n", count, qPrintable(root));
            return;
        }
        const Run run = measure({cli, "--inspect", root});
        if (count == 1)
            baseKiB = run.maxRssKiB;
        std::printf("  %6d files  %8.2f s  peak %7.1f MiB", count, run.seconds,
                    double(run.maxRssKiB) / 1024.0);
        if (count > 1)
            std::printf("  %6.1f KiB per file above one file%s",
                        double(run.maxRssKiB - baseKiB) / double(count - 1),
                        count == 10000 ? "  (target: peak <= 256 MiB)" : "");
        std::printf("%s\n", run.ok ? "" : "  (FAILED)");
        std::fflush(stdout);
    }
    if (hadCache)
        qputenv("XDG_CACHE_HOME", cacheBefore);
    else
        qunsetenv("XDG_CACHE_HOME");
}

void inspect(const QString &workdir)
{
    const QString folder = QDir(workdir).filePath("inspect-100");
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < 100; ++i) {
        const QString path =
            QDir(folder).filePath(QStringLiteral("small-%1.mp4").arg(i, 3, 10, QChar('0')));
        if (!generate(path,
                      {"-f", "lavfi", "-i",
                       QStringLiteral("testsrc2=s=320x240:r=25:d=3,hue=h=%1").arg(i * 7), "-f",
                       "lavfi", "-i", QStringLiteral("sine=frequency=%1:duration=3").arg(200 + i)},
                      {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest"})) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(path));
            return;
        }
        files << path;
    }
    Series each;
    for (const QString &file : files)
        each.add(measure({cli, "--inspect", file}));
    Series all;
    for (int i = 0; i < 3; ++i)
        all.add(measure(QStringList{cli, "--inspect"} + files));
    std::printf("\n--inspect on 100 small video files (3 s, 320x240 H.264 + AAC)%s\n",
                each.ok && all.ok ? "" : "  (SOME RUNS FAILED)");
    std::printf("  tonbrook-cli --inspect FILE, one process per file: median %6.1f ms per file "
                "(process start included; target < 50)\n",
                each.median() * 1000.0);
    std::printf("  tonbrook-cli --inspect FILES..., one process:      %6.1f ms per file "
                "(median of 3 runs / 100)\n",
                all.median() * 1000.0 / 100.0);
}

void scale(const QString &workdir)
{
    const QString clip = QDir(workdir).filePath("scale-clip-0.3s.mp4");
    if (!generate(clip,
                  {"-f", "lavfi", "-i", "testsrc2=s=64x48:r=10:d=0.3", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=44100:duration=0.3"},
                  {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-b:a", "64k",
                   "-shortest"})) {
        std::fprintf(stderr, "could not generate %s\n", qPrintable(clip));
        return;
    }
    std::printf("\nscale: tonbrook-cli -q -o OUT FOLDER on N copies of one 0.3 s clip "
                "(64x48 H.264 + AAC), 100 per folder, 10 of each 100 named clip.<ext>;\n"
                "  the wall time is the whole process: start, folder walk, inspection of "
                "every file, naming, conversion and exit\n");
    std::fflush(stdout);
    double perFile[2] = {0, 0};
    const int counts[2] = {1000, 20000};
    for (int k = 0; k < 2; ++k) {
        const int count = counts[k];
        const QString root = QDir(workdir).filePath(QStringLiteral("scale-%1").arg(count));
        if (!linkScaleSet(clip, root, count)) {
            std::fprintf(stderr, "could not link %d files under %s\n", count, qPrintable(root));
            return;
        }
        const QString out = QDir(workdir).filePath("scale-out");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        const Run run = measure({cli, "-q", "-o", out, root});
        const qsizetype written = QDir(out).entryList(QDir::Files).size();
        perFile[k] = run.seconds * 1000.0 / count;
        std::printf("  %6d files  %8.2f s  %6.2f ms per file  peak %6.1f MiB  %lld outputs%s\n",
                    count, run.seconds, perFile[k], double(run.maxRssKiB) / 1024.0,
                    static_cast<long long>(written),
                    run.ok && written == count ? "" : "  (FAILED)");
        std::fflush(stdout);
        QDir(out).removeRecursively();
    }
    std::printf("  per-file time 20,000 / 1,000          %7.3f   (target <= 1.2)\n",
                perFile[1] / perFile[0]);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 5;
    QString only;
    QString workdir = QDir::temp().filePath("tonbrook-cli-bench");
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--runs" && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == "--workdir" && i + 1 < args.size())
            workdir = args[++i];
        else if (args[i] == "--only" && i + 1 < args.size())
            only = args[++i];
    }
    QDir().mkpath(workdir);
    std::printf("tonbrook_cli_bench: %s, %d runs, work folder %s\n", qPrintable(cli), runs,
                qPrintable(workdir));
    std::fflush(stdout);
    if (only.isEmpty() || only == "single")
        single(workdir, runs);
    std::fflush(stdout);
    if (only.isEmpty() || only == "parallel")
        parallel(workdir, runs);
    std::fflush(stdout);
    // Ten thousand hard links and a minute of inspection: only when asked for by name.
    if (only == "inspect-memory")
        inspectMemory(workdir);
    if (only.isEmpty() || only == "batch")
        batch(workdir, runs);
    std::fflush(stdout);
    if (only.isEmpty() || only == "inspect")
        inspect(workdir);
    std::fflush(stdout);
    // Minutes of conversion and 20,000 files on disk: only when asked for by name.
    if (only == "scale")
        scale(workdir);
    return 0;
}
