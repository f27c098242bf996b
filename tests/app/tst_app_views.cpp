#include "app_environment.h"
#include "app_fixtures.h"

#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(TonbrookPlugin)

class Setup : public QObject {
    Q_OBJECT

public:
    Setup() { tonbrook::prepareProcessEnvironment(); }

public slots:
    void applicationAvailable() { tonbrook::prepareQuickStyle(); }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        tonbrook::prepareEngine(*engine);
        qmlRegisterSingletonInstance("TonbrookTest", 1, 0, "Fixtures", new AppFixtures(engine));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tonbrook_app_views, Setup)

#include "tst_app_views.moc"
