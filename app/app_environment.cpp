#include "app_environment.h"
#include "desktop_dialogs.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtGlobal>
#include <QtQml/qqmlextensionplugin.h>

// The app's Controls style links in statically, like the Tonbrook module.
Q_IMPORT_QML_PLUGIN(TonbrookStylePlugin)

namespace tonbrook {

void prepareProcessEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    chooseDesktopDialogs();
}

void prepareQuickStyle()
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("TonbrookStyle"));
}

void prepareEngine(QQmlEngine &engine)
{
    engine.addImportPath(QStringLiteral("qrc:/"));
}

} // namespace tonbrook
