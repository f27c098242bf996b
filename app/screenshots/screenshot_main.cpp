// Renders the views offscreen over real jobs in every state and saves them as PNG files, each
// in the light palette (name.png) and the dark one (name-dark.png).
// Usage: tonbrook_screenshots <output folder>
#include "app_environment.h"
#include "color_scheme.h"
#include "queue/conversion_job.h"
#include "queue/conversion_queue.h"
#include "queue/ui_language.h"
#include "waveform_plot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <functional>
#include <sys/stat.h>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

using tonbrook::ConversionJob;
using tonbrook::JobStatus;

namespace {

bool runFfmpeg(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments);
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return false;
    }
    return true;
}

// A test pattern with a tone, or with the audio of an lavfi source: seconds long, at the given
// size and frame rate.
bool makeVideo(const QString &path, int seconds, const QString &size, int fps,
               const QString &audio = {})
{
    const QString length = QString::number(seconds);
    return runFfmpeg(
        {"-f",
         "lavfi",
         "-i",
         QStringLiteral("testsrc2=s=%1:r=%2:d=%3").arg(size).arg(fps).arg(length),
         "-f",
         "lavfi",
         "-i",
         audio.isEmpty()
             ? QStringLiteral("sine=frequency=330:sample_rate=48000:duration=%1").arg(length)
             : audio,
         "-ac",
         "2",
         "-c:v",
         "mpeg4",
         "-q:v",
         "5",
         "-c:a",
         "aac",
         "-metadata",
         "title=Harbour Lights",
         "-shortest",
         path});
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool waitForStatus(ConversionJob *job, JobStatus::Case wanted, int timeoutMs = 120000)
{
    const bool reached = waitUntil([&] { return job->status().is(wanted); }, timeoutMs);
    if (!reached)
        std::fprintf(stderr, "%s did not reach %d (%s)\n", qPrintable(job->sourceURL().path()),
                     int(wanted), qPrintable(job->status().title()));
    return reached;
}

// The pictures need no desktop notices or sounds.
class SilentNotifier : public tonbrook::BatchNotifier {
public:
    void requestPermission() override {}
    void playCompletionSound() override {}
    void postNotification(const QString &, const QString &) override {}
};

// Loads the application window over the queue; null (with the errors printed) on failure.
QQuickWindow *loadMainWindow(QQmlApplicationEngine &engine, tonbrook::ConversionQueue *queue)
{
    tonbrook::prepareEngine(engine);
    engine.setInitialProperties({{QStringLiteral("queue"), QVariant::fromValue(queue)}});
    engine.load(QUrl(QStringLiteral("qrc:/Tonbrook/qml/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return nullptr;
    return qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
}

bool writeImage(const QImage &image, const QDir &outputDir, const QString &name)
{
    const QString file = outputDir.filePath(name);
    if (image.isNull() || !image.save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// Saves what grab() returns in the light palette as name and in the dark one as name-dark,
// switching the application palette live as the desktop would.
bool saveInBothPalettes(const std::function<QImage()> &grab, const QDir &outputDir,
                        const QString &name)
{
    const QString darkName =
        QString(name).replace(QLatin1String(".png"), QLatin1String("-dark.png"));
    bool saved = writeImage(grab(), outputDir, name);
    QGuiApplication::setPalette(tonbrook::darkPalette());
    waitUntil([] { return false; }, 300);
    saved = writeImage(grab(), outputDir, darkName) && saved;
    QGuiApplication::setPalette(tonbrook::lightPalette());
    waitUntil([] { return false; }, 300);
    return saved;
}

bool save(QQuickWindow *window, const QDir &outputDir, const QString &name)
{
    return saveInBothPalettes([window] { return window->grabWindow(); }, outputDir, name);
}

// The controls gallery with each cell named "hovered" under the pointer and each "focused" one
// focused from the keyboard: one state at a time, so each cell is pasted from its own grab.
QImage grabControlsGallery(QQuickView &view)
{
    QQuickItem *root = view.rootObject();
    const qreal scale = view.devicePixelRatio();
    const auto settle = [] {
        waitUntil([] { return false; }, 150);
    };
    const auto controlIn = [](QQuickItem *cell) {
        return cell->childItems().constFirst()->childItems().constFirst();
    };
    const auto pixelRect = [scale](QQuickItem *item) {
        const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        return QRectF(r.topLeft() * scale, r.size() * scale).toAlignedRect();
    };
    const auto movePointer = [&view](QPointF scenePos) {
        QMouseEvent move(QEvent::MouseMove, scenePos, view.mapToGlobal(scenePos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &move);
    };

    // Repeater rows are not QObject children of the gallery; walk the item tree instead.
    const std::function<QList<QQuickItem *>(QQuickItem *, const QString &)> cellsNamed =
        [&cellsNamed](QQuickItem *item, const QString &name) {
            QList<QQuickItem *> found;
            if (item->objectName() == name)
                found.append(item);
            for (QQuickItem *child : item->childItems())
                found += cellsNamed(child, name);
            return found;
        };

    QList<std::pair<QRect, QImage>> patches;
    for (QQuickItem *cell : cellsNamed(root, QStringLiteral("hovered"))) {
        QQuickItem *control = controlIn(cell);
        movePointer(control->mapToScene(QPointF(control->width() / 2, control->height() / 2)));
        settle();
        patches.append({pixelRect(cell), view.grabWindow().copy(pixelRect(cell))});
    }
    movePointer(QPointF(2, 2));
    for (QQuickItem *cell : cellsNamed(root, QStringLiteral("focused"))) {
        controlIn(cell)->forceActiveFocus(Qt::TabFocusReason);
        settle();
        patches.append({pixelRect(cell), view.grabWindow().copy(pixelRect(cell))});
    }
    root->forceActiveFocus(Qt::OtherFocusReason);
    root->setProperty("popupsShown", true);
    waitUntil([] { return false; }, 500);
    QImage image = view.grabWindow();
    root->setProperty("popupsShown", false);
    settle();
    QPainter painter(&image);
    for (const auto &[rect, patch] : std::as_const(patches))
        painter.drawImage(rect.topLeft(), patch);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    tonbrook::prepareProcessEnvironment();
    QGuiApplication app(argc, argv);
    tonbrook::prepareQuickStyle();
    // In the language of the environment, as the app would show it.
    tonbrook::installTranslations();
    if (argc < 2) {
        std::fprintf(stderr, "usage: tonbrook_screenshots <output folder>\n");
        return 2;
    }
    const QDir outputDir(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(outputDir.path());
    QGuiApplication::setPalette(tonbrook::lightPalette());

    // Every control of the style in each of its states.
    {
        QQuickView controls;
        tonbrook::prepareEngine(*controls.engine());
        controls.setSource(QUrl(QStringLiteral("qrc:/tonbrook/screenshots/ControlsGallery.qml")));
        if (controls.status() != QQuickView::Ready) {
            for (const QQmlError &error : controls.errors())
                std::fprintf(stderr, "%s\n", qPrintable(error.toString()));
            return 1;
        }
        controls.show();
        waitUntil([] { return false; }, 500);
        if (!saveInBothPalettes([&controls] { return grabControlsGallery(controls); }, outputDir,
                                QStringLiteral("controls.png")))
            return 1;
    }

    QTemporaryDir work;
    const QDir sources(work.path());
    const QUrl outputs = QUrl::fromLocalFile(work.filePath(QStringLiteral("out")));
    QDir().mkpath(outputs.toLocalFile());

    const auto video = [&](const QString &name, int seconds, const QString &size, int fps) {
        const QString path = sources.filePath(name);
        return makeVideo(path, seconds, size, fps) ? path : QString();
    };
    // Talk that swells and ebbs, with a loud stretch from 9 to 10.5 s: a waveform worth a look.
    const QString interview =
        makeVideo(sources.filePath("interview-take-3.mov"), 20, "640x360", 25,
                  "aevalsrc=exprs='(0.25+0.2*sin(2*PI*0.4*t))*(0.6+0.4*sin(2*PI*3*t))"
                  "*sin(2*PI*190*t)+0.7*between(t,9,10.5)*sin(2*PI*330*t)':s=48000:d=20")
            ? sources.filePath("interview-take-3.mov")
            : QString();
    const QString harbour = video("harbour-festival-evening-set.mp4", 6, "1280x720", 25);
    const QString lecture = video("lecture-recording.mkv", 600, "320x180", 1);
    const QString trailer = video("trailer-final.mp4", 3, "854x480", 25);
    const QString drone = video("drone-flyover.m4v", 3, "640x360", 25);
    const QString broken = sources.filePath("corrupted-export.avi");
    QFile brokenFile(broken);
    if (brokenFile.open(QIODevice::WriteOnly))
        brokenFile.write("not a video at all");
    brokenFile.close();
    const QString pendingSource = video("vacation-clip.mp4", 3, "640x360", 25);
    // A pipe with no writer yet: its inspection waits, so the row stays analysing while the
    // spinner fades in; opening and closing the writer afterwards lets it end.
    const QString inspectingSource = sources.filePath("team-meeting.mov");
    if (::mkfifo(QFile::encodeName(inspectingSource).constData(), 0600) != 0)
        return 1;
    for (const QString &path : {interview, harbour, lecture, trailer, drone, pendingSource}) {
        if (path.isEmpty())
            return 1;
    }

    QObject owner;
    const auto job = [&](const QString &path) {
        return new ConversionJob(QUrl::fromLocalFile(path), outputs, {}, &owner);
    };
    ConversionJob *pending = job(pendingSource);
    ConversionJob *inspecting = job(inspectingSource);
    ConversionJob *ready = job(interview);
    ConversionJob *converting = job(lecture);
    ConversionJob *completed = job(harbour);
    ConversionJob *failed = job(broken);
    ConversionJob *cancelled = job(trailer);
    ConversionJob *alsoReady = job(drone);

    for (ConversionJob *j : {ready, converting, completed, failed, cancelled, alsoReady})
        j->inspect();
    for (ConversionJob *j : {ready, converting, completed, cancelled, alsoReady}) {
        if (!waitForStatus(j, JobStatus::Case::ready))
            return 1;
    }
    if (!waitForStatus(failed, JobStatus::Case::failed))
        return 1;
    completed->startExtraction();
    if (!waitForStatus(completed, JobStatus::Case::completed))
        return 1;
    cancelled->startExtraction();
    cancelled->cancel();
    waitForStatus(cancelled, JobStatus::Case::cancelled);

    QQuickView view;
    tonbrook::prepareEngine(*view.engine());
    view.setInitialProperties(
        {{"rowJobs", QVariantList{QVariant::fromValue(pending), QVariant::fromValue(inspecting),
                                  QVariant::fromValue(ready), QVariant::fromValue(converting),
                                  QVariant::fromValue(completed), QVariant::fromValue(failed),
                                  QVariant::fromValue(cancelled)}},
         {"inspectedJob", QVariant::fromValue(completed)}});
    view.setSource(QUrl(QStringLiteral("qrc:/tonbrook/screenshots/Gallery.qml")));
    if (view.status() != QQuickView::Ready) {
        for (const QQmlError &error : view.errors())
            std::fprintf(stderr, "%s\n", qPrintable(error.toString()));
        return 1;
    }
    view.show();

    // Caught mid-way, so the row shows a real bar, speed and time left.
    converting->startExtraction();
    if (!waitUntil([&] { return converting->status().progress() >= 0.4; }, 120000))
        return 1;
    inspecting->inspect();
    // Let the player load its file, the spinner fade in and the views settle.
    waitUntil([] { return false; }, 1500);

    if (!save(&view, outputDir, QStringLiteral("views-gallery.png")))
        return 1;
    converting->cancel();
    QFile release(inspectingSource);
    if (release.open(QIODevice::WriteOnly))
        release.close();
    waitForStatus(inspecting, JobStatus::Case::failed, 30000);
    waitUntil([&] { return !converting->isExtractionRunning(); }, 60000);
    view.close();

    // The empty window: the drop zone.
    tonbrook::ConversionQueue emptyQueue(std::make_unique<SilentNotifier>());
    {
        QQmlApplicationEngine engine;
        QQuickWindow *window = loadMainWindow(engine, &emptyQueue);
        if (!window)
            return 1;
        waitUntil([] { return false; }, 800);
        if (!save(window, outputDir, QStringLiteral("drop-zone.png")))
            return 1;
        window->close();
    }

    // The working window: five jobs in mixed states, the finished one in the inspector.
    tonbrook::ConversionQueue queue(std::make_unique<SilentNotifier>());
    queue.setWaveformStore(tonbrook::WaveformPlot::sharedStore());
    const QString exports = work.filePath(QStringLiteral("Exports"));
    QDir().mkpath(exports);
    queue.setUseSourceDirectory(false);
    queue.setCustomOutputFolder(QUrl::fromLocalFile(exports));
    queue.addFiles({QUrl::fromLocalFile(harbour), QUrl::fromLocalFile(lecture),
                    QUrl::fromLocalFile(interview), QUrl::fromLocalFile(broken),
                    QUrl::fromLocalFile(trailer)});
    const QList<ConversionJob *> jobs = queue.jobs();
    if (jobs.size() != 5)
        return 1;
    for (ConversionJob *j : {jobs[0], jobs[1], jobs[2], jobs[4]}) {
        if (!waitForStatus(j, JobStatus::Case::ready))
            return 1;
    }
    waitForStatus(jobs[3], JobStatus::Case::failed);
    jobs[0]->startExtraction();
    if (!waitForStatus(jobs[0], JobStatus::Case::completed))
        return 1;
    jobs[4]->startExtraction();
    jobs[4]->cancel();
    waitForStatus(jobs[4], JobStatus::Case::cancelled);
    queue.setSelectedJobId(jobs[0]->id());

    QQmlApplicationEngine engine;
    QQuickWindow *window = loadMainWindow(engine, &queue);
    if (!window)
        return 1;
    jobs[1]->startExtraction();
    if (!waitUntil([&] { return jobs[1]->status().progress() >= 0.35; }, 120000))
        return 1;
    waitUntil([] { return false; }, 1500);
    bool saved = save(window, outputDir, QStringLiteral("main-window.png"));

    // The inspector of the finished job with all of its controls: the window made tall
    // enough for the whole panel, cropped to it.
    auto *mainView = window->findChild<QQuickItem *>(QStringLiteral("mainView"));
    auto *detailPane = window->findChild<QQuickItem *>(QStringLiteral("detailPane"));
    // Loaded in the pane by a Repeater's Loader: found among the items, not the objects.
    QQuickItem *inspector = nullptr;
    QList<QQuickItem *> items = detailPane ? detailPane->childItems() : QList<QQuickItem *>();
    while (!items.isEmpty() && !inspector) {
        QQuickItem *item = items.takeFirst();
        if (item->objectName() == QLatin1String("inspector"))
            inspector = item;
        items += item->childItems();
    }
    if (!mainView || !detailPane || !inspector) {
        std::fprintf(stderr, "the main window has no inspector\n");
        return 1;
    }
    // The detail pane alone, cropped from the window.
    const auto grabPane = [&] {
        const QRectF pane =
            detailPane->mapRectToScene(QRectF(0, 0, detailPane->width(), detailPane->height()));
        const qreal scale = window->devicePixelRatio();
        return window->grabWindow().copy(
            QRectF(pane.topLeft() * scale, pane.size() * scale).toRect());
    };
    const QSize normalSize = window->size();
    window->resize(normalSize.width(), int(inspector->property("contentHeight").toReal()) + 120);
    waitUntil([] { return false; }, 800);
    saved = saveInBothPalettes(grabPane, outputDir, QStringLiteral("inspector.png")) && saved;

    // The waveform of a trimmed, faded job whose gain clips its loudest stretch.
    queue.setSelectedJobId(jobs[2]->id());
    tonbrook::AudioExtractionSettings shaped = jobs[2]->settings();
    shaped.trimStartSeconds = 2.0;
    shaped.trimEndSeconds = 17.5;
    shaped.fadeInDuration = 2.0;
    shaped.fadeOutDuration = 3.0;
    shaped.volumeGainDb = 6.0;
    jobs[2]->setSettings(shaped);
    waitUntil([] { return tonbrook::WaveformPlot::sharedStore()->isIdle(); }, 30000);
    waitUntil([] { return false; }, 800);
    saved =
        saveInBothPalettes(grabPane, outputDir, QStringLiteral("inspector-waveform.png")) && saved;
    window->resize(normalSize);

    // The preferences sheet over the window, with the custom output folder chosen.
    mainView->setProperty("showingSettings", true);
    waitUntil([] { return false; }, 800);
    saved = save(window, outputDir, QStringLiteral("preferences.png")) && saved;
    mainView->setProperty("showingSettings", false);

    jobs[1]->cancel();
    waitUntil([&] { return !jobs[1]->isExtractionRunning(); }, 60000);
    return saved ? 0 : 1;
}
