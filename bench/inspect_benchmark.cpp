// Inspects every file of a folder (by default 20 generated 1080p H.264 files) and prints the
// median time per file, poster frame included.
#include "model/media_records.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// One-minute 1080p clips with a 10-second key-frame interval, as a camera or phone might write.
QStringList generate(const QString &folder, int count)
{
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path =
            QDir(folder).filePath(QStringLiteral("clip-%1.mp4").arg(i, 2, 10, QChar('0')));
        if (!QFileInfo::exists(path)) {
            QProcess ffmpeg;
            ffmpeg.start(QStringLiteral(TONBROOK_FFMPEG),
                         {"-y",
                          "-v",
                          "error",
                          "-f",
                          "lavfi",
                          "-i",
                          QStringLiteral("testsrc2=s=1920x1080:r=30:d=60,hue=h=%1").arg(i * 17),
                          "-f",
                          "lavfi",
                          "-i",
                          "sine=f=440:r=48000:d=60",
                          "-c:v",
                          "libx264",
                          "-preset",
                          "ultrafast",
                          "-g",
                          "300",
                          "-c:a",
                          "aac",
                          path});
            if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0) {
                std::fprintf(stderr, "could not generate %s\n", qPrintable(path));
                return {};
            }
        }
        files << path;
    }
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QStringList files;
    if (arguments.size() > 1) {
        const QDir folder(arguments[1]);
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
            files << folder.filePath(name);
    } else {
        std::printf("generating 20 one-minute 1080p H.264 files (once)...\n");
        files = generate(QStringLiteral(TONBROOK_BENCH_MEDIA_DIR), 20);
    }
    if (files.isEmpty())
        return 1;

    std::vector<double> milliseconds;
    for (const QString &file : files) {
        QElapsedTimer timer;
        timer.start();
        try {
            const auto info = tonbrook::VideoFileInfo::inspect(QUrl::fromLocalFile(file));
            milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
            std::printf("%-40s %8.1f ms  %s  %s\n", qPrintable(QFileInfo(file).fileName()),
                        milliseconds.back(), qPrintable(info.formattedDuration()),
                        info.thumbnail ? "poster" : "no poster");
        } catch (const std::exception &error) {
            std::printf("%-40s failed: %s\n", qPrintable(QFileInfo(file).fileName()), error.what());
        }
    }
    if (milliseconds.empty())
        return 1;
    std::sort(milliseconds.begin(), milliseconds.end());
    const size_t n = milliseconds.size();
    const double median =
        n % 2 ? milliseconds[n / 2] : (milliseconds[n / 2 - 1] + milliseconds[n / 2]) / 2;
    std::printf("median per file: %.1f ms over %zu files\n", median, n);
    return 0;
}
