#include "app_environment.h"
#include "desktop_dialogs.h"
#include "queue/conversion_job.h"

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
    // Inspections step back for the window: a large drop inspects on every core beside it.
    ConversionJob::setInspectionNiceness(10);
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
