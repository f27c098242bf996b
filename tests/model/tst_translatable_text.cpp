// Texts carried in English and in the user's language: arguments are filled once, nested
// texts follow the language of the whole, and numbers the locale only when localized.
#include "model/translatable_text.h"

#include <QLocale>
#include <QTest>
#include <QTranslator>

using namespace tonbrook;

namespace {

// Translates one context's texts by a table, as a loaded .qm file would.
class TableTranslator : public QTranslator {
public:
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (QByteArrayView(context) != "Test")
            return {};
        if (QByteArrayView(source) == "Could not open %1: %2")
            return QStringLiteral("%1 ließ sich nicht öffnen: %2");
        if (QByteArrayView(source) == "The disk is full.")
            return QStringLiteral("Der Datenträger ist voll.");
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestTranslatableText : public QObject {
    Q_OBJECT

private slots:
    void composes_data();
    void composes();
};

void TestTranslatableText::composes_data()
{
    QTest::addColumn<TranslatableText>("text");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("localized");

    const TranslatableText full("Test", "The disk is full.");
    QTest::newRow("nested reason, both translated")
        << TranslatableText("Test", "Could not open %1: %2",
                            {TranslatableText::verbatim("/home/a/clip.mp4"), full})
        << "Could not open /home/a/clip.mp4: The disk is full."
        << "/home/a/clip.mp4 ließ sich nicht öffnen: Der Datenträger ist voll.";
    QTest::newRow("a %2 inside a file name is not filled in turn")
        << TranslatableText("Test", "Could not open %1: %2",
                            {TranslatableText::verbatim("take %2.mov"), full})
        << "Could not open take %2.mov: The disk is full."
        << "take %2.mov ließ sich nicht öffnen: Der Datenträger ist voll.";
    QTest::newRow("joined: the pattern stays, the parts are translated")
        << TranslatableText::joined("%1 (%2)", {full, TranslatableText::verbatim("EIO", "E/A")})
        << "The disk is full. (EIO)"
        << "Der Datenträger ist voll. (E/A)";
    QTest::newRow("numbers follow the locale only when localized")
        << TranslatableText::joined("%1 LUFS", {TranslatableText::number(-14.46, 1)})
        << "-14.5 LUFS"
        << "-14,5 LUFS";
    QTest::newRow("an argument past the given ones stays as it is")
        << TranslatableText::joined("%1 and %3", {full}) << "The disk is full. and %3"
        << "Der Datenträger ist voll. and %3";
}

void TestTranslatableText::composes()
{
    QFETCH(TranslatableText, text);
    QFETCH(QString, english);
    QFETCH(QString, localized);
    TableTranslator german;
    QCoreApplication::installTranslator(&german);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(text.english(), english);
    QCOMPARE(text.localized(), localized);
    QLocale::setDefault(QLocale::c());
    QCoreApplication::removeTranslator(&german);
}

QTEST_GUILESS_MAIN(TestTranslatableText)
#include "tst_translatable_text.moc"
