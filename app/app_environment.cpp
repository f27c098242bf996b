#include "app_environment.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtGlobal>

namespace tonbrook {

void prepareProcessEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

void prepareQuickStyle()
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
}

void prepareEngine(QQmlEngine &engine)
{
    engine.addImportPath(QStringLiteral("qrc:/"));
}

} // namespace tonbrook
