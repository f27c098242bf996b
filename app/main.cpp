#include "app_environment.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

int main(int argc, char *argv[])
{
    tonbrook::prepareProcessEnvironment();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Tonbrook"));
    QGuiApplication::setOrganizationName(QStringLiteral("Tonbrook"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tonbrook"));
    tonbrook::prepareQuickStyle();

    QQmlApplicationEngine engine;
    tonbrook::prepareEngine(engine);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Tonbrook/qml/Main.qml")));
    return QGuiApplication::exec();
}
