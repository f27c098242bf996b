// The main window with a large queue, offscreen: a folder of N hard links to one short video is
// handed to the window as a drop is, then the whole list is scrolled frame by frame.
//
// Usage: tonbrook_app_bench [--files N] [--size WxH] [--step PIXELS] [--folder PATH]
//   --files   how many files the folder holds (default 10000)
//   --size    the clip's picture size (default 1920x1080)
//   --step    how far the list moves per frame while scrolling (default 80 px, a brisk flick
//             of about 4800 px/s at 60 Hz)
//   --folder  where to make the folder (default: a temporary folder, removed afterwards)
//
// Prints, in milliseconds unless said otherwise:
//   folder walk   ConversionQueue::videoFiles on the folder alone, before the window opens;
// The drop comes one second after the window's first frame, as a user's would, so that the
// window has finished opening.
//   first row     from the submitDrop call until row 0's delegate exists, and until the first
//                 frame after that has been rendered (afterFrameEnd);
//   all rows      until the list holds every file, and until every file is inspected;
//   longest stall the longest gap between two ticks of a 5 ms timer on the main thread, less
//                 the 5 ms, from the drop until every file is inspected: how long input and
//                 painting would have waited at worst;
//   scroll frames per frame while contentY steps from the top to the bottom of the list: the
//                 time from setting contentY (which creates or reuses the row delegates) until
//                 that frame's afterFrameEnd, so layout, polish, sync and render are all in it;
//                 the worst, the 99th percentile and the median;
//   peak memory   VmHWM from /proc/self/status once every file is inspected, and VmRSS then.
// Runs with the basic (main-thread) render loop unless QSG_RENDER_LOOP says otherwise, so that
// every frame's work is on the thread the figures time. As in the app, every inspected file's
// waveform is made in the background; TONBROOK_BENCH_NO_WAVEFORMS=1 leaves that out, for
// comparison.
#include "app_environment.h"
#include "queue/conversion_queue.h"
#include "queue/waveform_store.h"
#include "queue_view.h"
#include "waveform_plot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

namespace {

double msSince(const QElapsedTimer &clock, qint64 startNs)
{
    return double(clock.nsecsElapsed() - startNs) / 1e6;
}

QString procStatus(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return QString::fromLatin1(line.mid(qstrlen(field) + 1).simplified());
    }
    return QStringLiteral("?");
}

// Runs an event loop until done() holds, checked every 2 ms; false after timeoutMs.
bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    bool held = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        held = done();
        if (held || waited.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(2);
    loop.exec();
    return held;
}

bool makeFolder(const QString &folder, int count, const QString &size)
{
    QDir().mkpath(folder);
    const QString source = QDir(folder).filePath(QStringLiteral(".source.mp4"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral(TONBROOK_FFMPEG),
                 {"-y", "-v", "error", "-f", "lavfi", "-i", "testsrc2=s=" + size + ":r=25:d=1",
                  "-f", "lavfi", "-i", "sine=f=440:r=44100:d=1", "-c:v", "libx264", "-preset",
                  "ultrafast", "-c:a", "aac", "-shortest", source});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return false;
    }
    const QByteArray target = QFile::encodeName(source);
    for (int i = 1; i <= count; ++i) {
        const QByteArray link = QFile::encodeName(
            QDir(folder).filePath(QStringLiteral("clip-%1.mp4").arg(i, 5, 10, QChar('0'))));
        if (::link(target.constData(), link.constData()) != 0) {
            std::perror("link");
            return false;
        }
    }
    return true;
}

struct Percentiles {
    double worst = 0, p99 = 0, median = 0;
};

Percentiles percentiles(std::vector<double> values)
{
    Percentiles result;
    if (values.empty())
        return result;
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        return values[size_t(q * double(values.size() - 1))];
    };
    result.worst = values.back();
    result.p99 = at(0.99);
    result.median = at(0.5);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QSG_RENDER_LOOP"))
        qputenv("QSG_RENDER_LOOP", "basic");
    tonbrook::prepareProcessEnvironment();
    QApplication app(argc, argv);
    tonbrook::prepareQuickStyle();

    int files = 10000;
    double step = 80;
    QString size = QStringLiteral("1920x1080");
    QString folderArgument;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--files"))
            files = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--step"))
            step = arguments[i + 1].toDouble();
        else if (arguments[i] == QLatin1String("--size"))
            size = arguments[i + 1];
        else if (arguments[i] == QLatin1String("--folder"))
            folderArgument = arguments[i + 1];
    }
    if (files < 1 || step <= 0 ||
        !QRegularExpression(QStringLiteral("^[0-9]+x[0-9]+$")).match(size).hasMatch()) {
        std::fprintf(stderr, "usage: %s [--files N] [--size WxH] [--step PIXELS] [--folder PATH]\n",
                     argv[0]);
        return 2;
    }

    QTemporaryDir scratch;
    const QString folder =
        folderArgument.isEmpty() ? scratch.filePath(QStringLiteral("videos")) : folderArgument;
    if (QDir(folder).exists() && !QDir(folder).isEmpty()) {
        std::fprintf(stderr, "%s is not empty\n", qPrintable(folder));
        return 2;
    }
    std::printf("making %d hard links to one 1 s %s H.264/AAC clip in %s\n", files,
                qPrintable(size), qPrintable(folder));
    if (!makeFolder(folder, files, size))
        return 1;

    // The walk alone, as the drop's first step will do it on its own thread.
    QElapsedTimer walk;
    walk.start();
    const qsizetype walked =
        tonbrook::ConversionQueue::videoFiles({QUrl::fromLocalFile(folder)}).size();
    std::printf("the folder walk alone (ConversionQueue::videoFiles, %lld files): %.1f ms\n",
                qlonglong(walked), double(walk.nsecsElapsed()) / 1e6);

    tonbrook::ConversionQueue queue(nullptr);
    // As the app does: every inspected file's waveform is made in the background.
    if (qEnvironmentVariableIsEmpty("TONBROOK_BENCH_NO_WAVEFORMS"))
        queue.setWaveformStore(tonbrook::WaveformPlot::sharedStore());
    QQmlApplicationEngine engine;
    tonbrook::prepareEngine(engine);
    engine.setInitialProperties({{QStringLiteral("queue"), QVariant::fromValue(&queue)}});
    engine.load(QUrl(QStringLiteral("qrc:/Tonbrook/qml/Main.qml")));
    auto *window = engine.rootObjects().isEmpty()
                       ? nullptr
                       : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window)
        return 1;
    auto *mainView = window->findChild<QQuickItem *>(QStringLiteral("mainView"));
    auto *list = mainView ? mainView->findChild<QQuickItem *>(QStringLiteral("jobList")) : nullptr;
    auto *intake =
        mainView ? mainView->property("queueView").value<tonbrook::QueueView *>() : nullptr;
    if (!list || !intake) {
        std::fprintf(stderr, "the main view, its job list or its QueueView is missing\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 lastFrameEndNs = -1;
    int framesRendered = 0;
    QObject::connect(
        window, &QQuickWindow::afterFrameEnd, window,
        [&] {
            lastFrameEndNs = clock.nsecsElapsed();
            ++framesRendered;
        },
        Qt::DirectConnection);
    if (!spinUntil([&] { return framesRendered > 0; }, 10000)) {
        std::fprintf(stderr, "the window never rendered a frame\n");
        return 1;
    }
    std::printf("window: %dx%d, graphics api %d, render loop %s\n", window->width(),
                window->height(), int(window->rendererInterface()->graphicsApi()),
                qgetenv("QSG_RENDER_LOOP").constData());

    // The main thread's stalls: gaps between ticks of a 5 ms timer.
    constexpr int tickMs = 5;
    qint64 lastTickNs = clock.nsecsElapsed();
    double longestStallMs = 0;
    double stallAtMs = 0;
    qint64 watchStartNs = 0;
    QTimer watchdog;
    watchdog.setTimerType(Qt::PreciseTimer);
    watchdog.setInterval(tickMs);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double stall = double(now - lastTickNs) / 1e6 - tickMs;
        if (stall > longestStallMs) {
            longestStallMs = stall;
            stallAtMs = double(lastTickNs - watchStartNs) / 1e6;
        }
        lastTickNs = now;
    });

    const auto itemAt = [&](int row) {
        QQuickItem *item = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item),
                                  Q_ARG(int, row));
        return item;
    };
    double firstDelegateMs = -1, firstFrameMs = -1, allRowsMs = -1;
    const auto readyOrDone = [&] {
        return queue.pendingCount() + queue.completedCount() == files;
    };

    // The drop, a second after the window opened.
    spinUntil([] { return false; }, 1000);
    watchStartNs = clock.nsecsElapsed();
    lastTickNs = watchStartNs;
    watchdog.start();
    const qint64 dropNs = clock.nsecsElapsed();
    intake->submitDrop({QUrl::fromLocalFile(folder)});
    const double submitReturnedMs = msSince(clock, dropNs);
    if (itemAt(0))
        firstDelegateMs = submitReturnedMs;
    if (!spinUntil(
            [&] {
                if (firstDelegateMs < 0 && itemAt(0))
                    firstDelegateMs = msSince(clock, dropNs);
                if (firstDelegateMs >= 0 && firstFrameMs < 0 &&
                    lastFrameEndNs > dropNs + qint64(firstDelegateMs * 1e6))
                    firstFrameMs = double(lastFrameEndNs - dropNs) / 1e6;
                if (allRowsMs < 0 && queue.jobs().size() == files)
                    allRowsMs = msSince(clock, dropNs);
                return firstFrameMs >= 0 && allRowsMs >= 0 && readyOrDone();
            },
            30 * 60 * 1000)) {
        std::fprintf(stderr, "timed out: %lld rows, %d ready\n", qlonglong(queue.jobs().size()),
                     queue.pendingCount());
        return 1;
    }
    const double allInspectedMs = msSince(clock, dropNs);
    watchdog.stop();
    const QString peak = procStatus("VmHWM:");
    const QString resident = procStatus("VmRSS:");

    std::printf("files: %d, inspection failures: %d\n", files,
                int(std::count_if(queue.jobs().begin(), queue.jobs().end(),
                                  [](const tonbrook::ConversionJob *job) {
                                      return job->status().is(tonbrook::JobStatus::Case::failed);
                                  })));
    std::printf("submitDrop returned after:            %9.1f ms\n", submitReturnedMs);
    std::printf("first row delegate exists after:      %9.1f ms\n", firstDelegateMs);
    std::printf("first frame showing it rendered after:%9.1f ms\n", firstFrameMs);
    std::printf("all %d rows in the list after:     %9.1f ms\n", files, allRowsMs);
    std::printf("all inspected after:                  %9.1f ms\n", allInspectedMs);
    std::printf("longest main-thread stall (5 ms timer gap - 5 ms), drop to all inspected: "
                "%.1f ms, at %.0f ms\n",
                longestStallMs, stallAtMs);
    std::printf("peak memory once all inspected: VmHWM %s, VmRSS %s\n", qPrintable(peak),
                qPrintable(resident));
    std::fflush(stdout);

    // Scrolling: one contentY step per frame, top to bottom.
    QMetaObject::invokeMethod(list, "positionViewAtBeginning");
    std::vector<double> frames;
    double y = list->property("contentY").toDouble();
    const auto bottom = [&] {
        return list->property("originY").toDouble() + list->property("contentHeight").toDouble() +
               list->property("bottomMargin").toDouble() - list->height();
    };
    // Background waveforms wait while the list moves; count any that are made all the same.
    int waveformsWhileScrolling = 0;
    if (tonbrook::WaveformStore *store = queue.waveformStore())
        QObject::connect(store, &tonbrook::WaveformStore::envelopeReady, list,
                         [&waveformsWhileScrolling] { ++waveformsWhileScrolling; });
    QElapsedTimer scrolling;
    scrolling.start();
    while (y < bottom()) {
        y = std::min(y + step, bottom());
        const int before = framesRendered;
        const qint64 startNs = clock.nsecsElapsed();
        list->setProperty("contentY", y);
        window->update();
        if (!spinUntil([&] { return framesRendered > before; }, 10000)) {
            std::fprintf(stderr, "no frame after a scroll step\n");
            return 1;
        }
        frames.push_back(double(lastFrameEndNs - startNs) / 1e6);
    }
    const Percentiles scroll = percentiles(frames);
    std::printf("scroll frames (contentY step of %.0f px set -> afterFrameEnd): %zu frames in "
                "%.1f s, worst %.2f ms, p99 %.2f ms, median %.2f ms, over 16.7 ms: %lld\n",
                step, frames.size(), double(scrolling.elapsed()) / 1000, scroll.worst, scroll.p99,
                scroll.median, qlonglong(std::count_if(frames.begin(), frames.end(), [](double ms) {
                    return ms > 16.7;
                })));
    std::printf("background waveforms made while scrolling: %d\n", waveformsWhileScrolling);
    std::printf("last row delegate exists at the bottom: %s\n", itemAt(files - 1) ? "yes" : "no");
    std::printf("peak memory at the end: VmHWM %s\n", qPrintable(procStatus("VmHWM:")));
    return 0;
}
