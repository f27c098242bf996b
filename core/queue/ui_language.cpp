#include "ui_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tonbrook {

void installTranslations()
{
    const QLocale locale;
    // Owned by the application, so that they stay installed as long as it runs.
    auto *own = new QTranslator(QCoreApplication::instance());
    if (own->load(locale, QStringLiteral("tonbrook"), QStringLiteral("_"),
                  QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(own);
    else
        delete own;
    auto *qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

} // namespace tonbrook
