#include "app_environment.h"
#include "application_service.h"
#include "color_scheme.h"
#include "model/cover_art.h"
#include "queue/conversion_queue.h"
#include "shell_notices.h"
#include "waveform_plot.h"

#include "queue/ui_language.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

// Usage: tonbrook [video files or folders...]
// The desktop passes the files to open as arguments (Exec=tonbrook %F); they are queued.
// While Tonbrook runs, another launch hands its files to the running window over the session
// bus and ends (ApplicationService).
int main(int argc, char *argv[])
{
    tonbrook::prepareProcessEnvironment();
    // A QApplication, so that where the desktop offers no file dialog, Qt.labs.platform shows
    // QFileDialog widgets (several files, new folders, the folder shown) instead of none.
    QApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Tonbrook"));
    QGuiApplication::setOrganizationName(QStringLiteral("Tonbrook"));
    QGuiApplication::setDesktopFileName(tonbrook::ApplicationService::serviceName);
    tonbrook::installTranslations();
    tonbrook::prepareQuickStyle();
    // A second launch ends here, its files handed to the running Tonbrook.
    QStringList arguments = app.arguments().mid(1);
    const bool startedByBus = tonbrook::ApplicationService::takeServiceFlag(arguments);
    tonbrook::ApplicationService service;
    if (service.claim(arguments) == tonbrook::ApplicationService::Role::Forwarded)
        return 0;

    // The light or dark palette, following the desktop's preference while the app runs.
    tonbrook::ColorScheme colorScheme;

    // Cover art waits in a cache folder of this process's own, removed on the way out; it
    // outlives the queue, whose jobs hold the art.
    const tonbrook::CacheSessionScope cacheSession;
    // Declared before the engine so that it outlives the window that shows it.
    tonbrook::ConversionQueue queue;
    // Every inspected file's waveform is drawn ahead, behind the one on screen.
    queue.setWaveformStore(tonbrook::WaveformPlot::sharedStore());
    QQmlApplicationEngine engine;
    tonbrook::prepareEngine(engine);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.setInitialProperties({{QStringLiteral("queue"), QVariant::fromValue(&queue)}});
    const auto mainWindow = [&engine]() -> QWindow * {
        if (engine.rootObjects().isEmpty())
            engine.load(QUrl(QStringLiteral("qrc:/Tonbrook/qml/Main.qml")));
        return qobject_cast<QWindow *>(engine.rootObjects().value(0));
    };
    service.setWindowProvider(mainWindow);
    if (startedByBus) {
        // The call that made the bus start us is served once the event loop runs.
        service.quitUnlessRequestedWithin(std::chrono::seconds(10));
    } else {
        if (!mainWindow())
            return 1;
        // The window is connected by now, so the files are queued as the window opens.
        tonbrook::ShellNotices::instance()->postOpenFilesFromArguments(arguments);
    }
    return QGuiApplication::exec();
}
