#include "app_environment.h"
#include "desktop_dialogs.h"
#include "queue/conversion_job.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtGlobal>
#include <QtQml/qqmlextensionplugin.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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
#if defined(__GLIBC__)
    // Each inspection decodes a poster frame: megabytes of picture buffers, freed a moment
    // later between the small records that stay. glibc raises its mmap threshold past such
    // blocks once one is freed, and from then on serves them from the threads' heaps, where
    // the holes they leave stay resident; over a large drop that held some 60 MB. A fixed
    // threshold keeps them mapped and hands them back when freed.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
#endif
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
