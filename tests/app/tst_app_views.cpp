#include "app_environment.h"
#include "app_fixtures.h"
#include "queue/ui_language.h"

#include <QAccessible>
#include <QApplication>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

class Setup : public QObject {
    Q_OBJECT

public:
    Setup() { tonbrook::prepareProcessEnvironment(); }

public slots:
    void applicationAvailable()
    {
        tonbrook::prepareQuickStyle();
        tonbrook::installTranslations();
        // As with a screen reader running: every item exposes its accessibility interface.
        QAccessible::setActive(true);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        tonbrook::prepareEngine(*engine);
        qmlRegisterSingletonInstance("TonbrookTest", 1, 0, "Fixtures", new AppFixtures(engine));
    }
};

// As in the app: a QApplication, under which Qt.labs.platform dialogs open as widgets.
int main(int argc, char **argv)
{
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    QApplication app(argc, argv);
    return quick_test_main_with_setup(argc, argv, "tonbrook_app_views", nullptr, &setup);
}

#include "tst_app_views.moc"
