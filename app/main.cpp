#include "app_environment.h"
#include "color_scheme.h"
#include "queue/conversion_queue.h"
#include "shell_notices.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

// Usage: tonbrook [video files or folders...]
// The desktop passes the files to open as arguments (Exec=tonbrook %F); they are queued.
int main(int argc, char *argv[])
{
    tonbrook::prepareProcessEnvironment();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Tonbrook"));
    QGuiApplication::setOrganizationName(QStringLiteral("Tonbrook"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tonbrook"));
    tonbrook::prepareQuickStyle();
    // The light or dark palette, following the desktop's preference while the app runs.
    tonbrook::ColorScheme colorScheme;

    // Declared before the engine so that it outlives the window that shows it.
    tonbrook::ConversionQueue queue;
    QQmlApplicationEngine engine;
    tonbrook::prepareEngine(engine);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.setInitialProperties({{QStringLiteral("queue"), QVariant::fromValue(&queue)}});
    engine.load(QUrl(QStringLiteral("qrc:/Tonbrook/qml/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;

    // The window is connected by now, so the files are queued as the window opens.
    tonbrook::ShellNotices::instance()->postOpenFilesFromArguments(app.arguments().mid(1));
    return QGuiApplication::exec();
}
