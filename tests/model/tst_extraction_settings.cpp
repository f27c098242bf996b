#include "model/extraction_settings.h"

#include <QJsonDocument>
#include <QSet>
#include <QTest>

#include <cmath>
#include <functional>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

using namespace tonbrook;

using OptionalDouble = std::optional<double>;
using OptionalChannels = std::optional<quint32>;
using OptionalIndex = std::optional<qint64>;

Q_DECLARE_METATYPE(BitrateOption)
Q_DECLARE_METATYPE(SampleRateOption)
Q_DECLARE_METATYPE(AudioChannelOption)
Q_DECLARE_METATYPE(AudioExtractionSettings)
Q_DECLARE_METATYPE(SettingsDecodingError::Kind)
Q_DECLARE_METATYPE(OptionalDouble)
Q_DECLARE_METATYPE(OptionalChannels)
Q_DECLARE_METATYPE(OptionalIndex)

namespace tonbrook {

// Readable QCOMPARE failures for the option types.
char *toString(const BitrateOption &option)
{
    return QTest::toString(option.name());
}

char *toString(const SampleRateOption &option)
{
    return QTest::toString(option.name());
}

char *toString(const AudioChannelOption &option)
{
    return QTest::toString(option.name());
}

} // namespace tonbrook

namespace {

QJsonObject parseObject(const char *text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON %s: %s", text, qPrintable(error.errorString()));
    return document.object();
}

// Through text and back, as a stored document would go.
QJsonObject viaText(const QJsonObject &object)
{
    return QJsonDocument::fromJson(QJsonDocument(object).toJson(QJsonDocument::Compact)).object();
}

AudioExtractionSettings everyFieldChanged()
{
    return AudioExtractionSettings{BitrateOption::vbr2,
                                   SampleRateOption::sr48000,
                                   AudioChannelOption::mono,
                                   true,
                                   -3.5,
                                   1.25,
                                   90.5,
                                   2.0,
                                   3.0,
                                   false,
                                   3,
                                   -19.0,
                                   true,
                                   true};
}

AudioExtractionSettings withTrims(OptionalDouble start, OptionalDouble end)
{
    AudioExtractionSettings settings;
    settings.trimStartSeconds = start;
    settings.trimEndSeconds = end;
    return settings;
}

} // namespace

class TestExtractionSettings : public QObject {
    Q_OBJECT

private slots:
    void bitrateOptionTable_data();
    void bitrateOptionTable();
    void sampleRateOptionTable_data();
    void sampleRateOptionTable();
    void channelOptionTable_data();
    void channelOptionTable();
    void constructionFromRawValue();
    void optionsWorkAsHashKeys();

    void defaults();
    void equalityLooksAtEveryField();

    void optionJsonForms();
    void settingsJsonRoundTrip_data();
    void settingsJsonRoundTrip();
    void settingsJsonExactForm();
    void settingsDecodingTolerance();
    void decodingErrors_data();
    void decodingErrors();
    void everyRequiredKeyIsRequired();

    void sourceFormatAndOutputRate_data();
    void sourceFormatAndOutputRate();
    void sourceFormatAndOutputChannels_data();
    void sourceFormatAndOutputChannels();
    void trackIndex_data();
    void trackIndex();
    void trimRange_data();
    void trimRange();
    void trimRangeStaysFinite_data();
    void trimRangeStaysFinite();
};

void TestExtractionSettings::bitrateOptionTable_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<BitrateOption>("option");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortName");
    QTest::addColumn<int>("kbps");
    QTest::addColumn<int>("vbrQuality");

    QTest::newRow("cbr320") << 0 << BitrateOption::cbr320 << "320 kbps (High Quality CBR)"
                            << "320k" << 320 << -1;
    QTest::newRow("cbr256") << 1 << BitrateOption::cbr256 << "256 kbps (Standard High CBR)"
                            << "256k" << 256 << -1;
    QTest::newRow("cbr192") << 2 << BitrateOption::cbr192 << "192 kbps (Balanced CBR)"
                            << "192k" << 192 << -1;
    QTest::newRow("cbr128") << 3 << BitrateOption::cbr128 << "128 kbps (Compact CBR)"
                            << "128k" << 128 << -1;
    QTest::newRow("vbr0") << 4 << BitrateOption::vbr0 << "VBR V0 (~245 kbps Ultra)"
                          << "VBR 0" << 256 << 0;
    QTest::newRow("vbr2") << 5 << BitrateOption::vbr2 << "VBR V2 (~190 kbps Recommended)"
                          << "VBR 2" << 192 << 2;
}

void TestExtractionSettings::bitrateOptionTable()
{
    QFETCH(int, position);
    QFETCH(BitrateOption, option);
    QFETCH(QString, name);
    QFETCH(QString, shortName);
    QFETCH(int, kbps);
    QFETCH(int, vbrQuality);

    QCOMPARE(BitrateOption::allCases().size(), std::size_t(6));
    QCOMPARE(BitrateOption::allCases()[position], option);
    QCOMPARE(option.name(), name);
    QCOMPARE(option.id(), name);
    QCOMPARE(option.shortName(), shortName);
    QCOMPARE(option.kbps(), kbps);
    QCOMPARE(option.vbrQuality(), vbrQuality);
}

void TestExtractionSettings::sampleRateOptionTable_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<SampleRateOption>("option");
    QTest::addColumn<int>("rawValue");
    QTest::addColumn<QString>("name");

    QTest::newRow("auto") << 0 << SampleRateOption::auto_ << 0 << "Auto (Original)";
    QTest::newRow("sr44100") << 1 << SampleRateOption::sr44100 << 44100 << "44.1 kHz (CD Quality)";
    QTest::newRow("sr48000") << 2 << SampleRateOption::sr48000 << 48000
                             << "48.0 kHz (Studio Quality)";
    QTest::newRow("sr32000") << 3 << SampleRateOption::sr32000 << 32000 << "32.0 kHz";
}

void TestExtractionSettings::sampleRateOptionTable()
{
    QFETCH(int, position);
    QFETCH(SampleRateOption, option);
    QFETCH(int, rawValue);
    QFETCH(QString, name);

    QCOMPARE(SampleRateOption::allCases().size(), std::size_t(4));
    QCOMPARE(SampleRateOption::allCases()[position], option);
    QCOMPARE(option.rawValue(), rawValue);
    QCOMPARE(option.id(), rawValue);
    QCOMPARE(option.name(), name);
}

void TestExtractionSettings::channelOptionTable_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<AudioChannelOption>("option");
    QTest::addColumn<int>("rawValue");
    QTest::addColumn<QString>("name");

    QTest::newRow("auto") << 0 << AudioChannelOption::auto_ << 0 << "Auto (Original)";
    QTest::newRow("stereo before mono") << 1 << AudioChannelOption::stereo << 2 << "Stereo (2 Ch)";
    QTest::newRow("mono") << 2 << AudioChannelOption::mono << 1 << "Mono (1 Ch)";
}

void TestExtractionSettings::channelOptionTable()
{
    QFETCH(int, position);
    QFETCH(AudioChannelOption, option);
    QFETCH(int, rawValue);
    QFETCH(QString, name);

    QCOMPARE(AudioChannelOption::allCases().size(), std::size_t(3));
    QCOMPARE(AudioChannelOption::allCases()[position], option);
    QCOMPARE(option.rawValue(), rawValue);
    QCOMPARE(option.id(), rawValue);
    QCOMPARE(option.name(), name);
}

void TestExtractionSettings::constructionFromRawValue()
{
    QCOMPARE(SampleRateOption::fromRawValue(44100), SampleRateOption::sr44100);
    QCOMPARE(SampleRateOption::fromRawValue(0), SampleRateOption::auto_);
    QVERIFY(!SampleRateOption::fromRawValue(22050));
    QVERIFY(!SampleRateOption::fromRawValue(-44100));
    QCOMPARE(AudioChannelOption::fromRawValue(1), AudioChannelOption::mono);
    QCOMPARE(AudioChannelOption::fromRawValue(2), AudioChannelOption::stereo);
    QCOMPARE(AudioChannelOption::fromRawValue(0), AudioChannelOption::auto_);
    QVERIFY(!AudioChannelOption::fromRawValue(3));
    QVERIFY(!AudioChannelOption::fromRawValue(6));

    for (const SampleRateOption option : SampleRateOption::allCases())
        QCOMPARE(SampleRateOption::fromRawValue(option.rawValue()), option);
    for (const AudioChannelOption option : AudioChannelOption::allCases())
        QCOMPARE(AudioChannelOption::fromRawValue(option.rawValue()), option);
}

void TestExtractionSettings::optionsWorkAsHashKeys()
{
    QSet<BitrateOption> bitrates;
    std::unordered_set<BitrateOption> stdBitrates;
    for (int round = 0; round < 2; ++round) {
        for (const BitrateOption option : BitrateOption::allCases()) {
            bitrates.insert(option);
            stdBitrates.insert(option);
        }
    }
    QCOMPARE(bitrates.size(), 6);
    QCOMPARE(stdBitrates.size(), std::size_t(6));
    QVERIFY(bitrates.contains(BitrateOption::vbr0));

    QSet<SampleRateOption> rates;
    std::unordered_set<SampleRateOption> stdRates;
    for (const SampleRateOption option : SampleRateOption::allCases()) {
        rates.insert(option);
        stdRates.insert(option);
    }
    QCOMPARE(rates.size(), 4);
    QCOMPARE(stdRates.size(), std::size_t(4));

    QSet<AudioChannelOption> layouts;
    std::unordered_set<AudioChannelOption> stdLayouts;
    for (const AudioChannelOption option : AudioChannelOption::allCases()) {
        layouts.insert(option);
        stdLayouts.insert(option);
    }
    QCOMPARE(layouts.size(), 3);
    QCOMPARE(stdLayouts.size(), std::size_t(3));
    QVERIFY(BitrateOption::cbr256 != BitrateOption::vbr0); // same kbps, different case
}

void TestExtractionSettings::defaults()
{
    const AudioExtractionSettings defaults;
    QCOMPARE(defaults.bitrate, BitrateOption::cbr320);
    QCOMPARE(defaults.sampleRate, SampleRateOption::auto_);
    QCOMPARE(defaults.channels, AudioChannelOption::auto_);
    QCOMPARE(defaults.normalizePeak, false);
    QCOMPARE(defaults.volumeGainDb, 0.0);
    QVERIFY(!defaults.trimStartSeconds);
    QVERIFY(!defaults.trimEndSeconds);
    QCOMPARE(defaults.fadeInDuration, 0.0);
    QCOMPARE(defaults.fadeOutDuration, 0.0);
    QCOMPARE(defaults.embedCoverArt, true);
    QCOMPARE(defaults.selectedTrackIndex, qint64(0));

    const AudioExtractionSettings spelledOut{BitrateOption::cbr320,
                                             SampleRateOption::auto_,
                                             AudioChannelOption::auto_,
                                             false,
                                             0.0,
                                             std::nullopt,
                                             std::nullopt,
                                             0.0,
                                             0.0,
                                             true,
                                             0,
                                             std::nullopt};
    QVERIFY(defaults == spelledOut);
    QVERIFY(defaults == AudioExtractionSettings());

    AudioExtractionSettings endAtZero;
    endAtZero.trimEndSeconds = 0.0;
    QVERIFY(defaults != endAtZero);
}

void TestExtractionSettings::equalityLooksAtEveryField()
{
    const std::vector<std::pair<const char *, std::function<void(AudioExtractionSettings &)>>>
        changes = {
            {"bitrate",
             [](auto &s) {
                 s.bitrate = BitrateOption::vbr0;
             }},
            {"sampleRate",
             [](auto &s) {
                 s.sampleRate = SampleRateOption::sr32000;
             }},
            {"channels",
             [](auto &s) {
                 s.channels = AudioChannelOption::stereo;
             }},
            {"normalizePeak",
             [](auto &s) {
                 s.normalizePeak = true;
             }},
            {"volumeGainDb",
             [](auto &s) {
                 s.volumeGainDb = 0.5;
             }},
            {"trimStartSeconds",
             [](auto &s) {
                 s.trimStartSeconds = 0.0;
             }},
            {"trimEndSeconds",
             [](auto &s) {
                 s.trimEndSeconds = 10.0;
             }},
            {"fadeInDuration",
             [](auto &s) {
                 s.fadeInDuration = 1.0;
             }},
            {"fadeOutDuration",
             [](auto &s) {
                 s.fadeOutDuration = 1.0;
             }},
            {"embedCoverArt",
             [](auto &s) {
                 s.embedCoverArt = false;
             }},
            {"selectedTrackIndex",
             [](auto &s) {
                 s.selectedTrackIndex = 1;
             }},
        };
    for (const auto &[field, change] : changes) {
        AudioExtractionSettings changed;
        change(changed);
        QVERIFY2(changed != AudioExtractionSettings(), field);
    }

    AudioExtractionSettings a = withTrims(5.0, 7.0);
    AudioExtractionSettings b = withTrims(5.0, 7.0);
    QVERIFY(a == b);
    b.trimEndSeconds = 7.5;
    QVERIFY(a != b);

    // Numeric comparison: signed zeros are equal even though their bits differ.
    a = AudioExtractionSettings();
    b = AudioExtractionSettings();
    b.volumeGainDb = -0.0;
    b.trimStartSeconds = -0.0;
    a.trimStartSeconds = 0.0;
    QVERIFY(a == b);
}

void TestExtractionSettings::optionJsonForms()
{
    const QStringList caseNames = {"cbr320", "cbr256", "cbr192", "cbr128", "vbr0", "vbr2"};
    for (std::size_t i = 0; i < BitrateOption::allCases().size(); ++i) {
        const BitrateOption option = BitrateOption::allCases()[i];
        const QJsonObject expected{{caseNames[qsizetype(i)], QJsonObject()}};
        QCOMPARE(option.toJson(), QJsonValue(expected));
        QCOMPARE(BitrateOption::fromJson(option.toJson()), option);
        QCOMPARE(BitrateOption::fromJson(viaText(option.toJson().toObject())), option);
    }
    QCOMPARE(QJsonDocument(BitrateOption::vbr2.toJson().toObject()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"vbr2":{}})"));

    for (const SampleRateOption option : SampleRateOption::allCases()) {
        QCOMPARE(option.toJson(), QJsonValue(option.rawValue()));
        QCOMPARE(SampleRateOption::fromJson(option.toJson()), option);
    }
    for (const AudioChannelOption option : AudioChannelOption::allCases()) {
        QCOMPARE(option.toJson(), QJsonValue(option.rawValue()));
        QCOMPARE(AudioChannelOption::fromJson(option.toJson()), option);
    }
    // A whole number written with a fraction part is still that integer.
    QCOMPARE(SampleRateOption::fromJson(QJsonValue(48000.0)), SampleRateOption::sr48000);
}

void TestExtractionSettings::settingsJsonRoundTrip_data()
{
    QTest::addColumn<AudioExtractionSettings>("settings");
    QTest::addColumn<QStringList>("trimKeys");

    QTest::newRow("defaults, no trims") << AudioExtractionSettings() << QStringList();
    QTest::newRow("both trims") << withTrims(12.5, 48.25)
                                << QStringList{"trimEndSeconds", "trimStartSeconds"};
    QTest::newRow("start only") << withTrims(3.0, std::nullopt) << QStringList{"trimStartSeconds"};
    QTest::newRow("end at zero is kept")
        << withTrims(std::nullopt, 0.0) << QStringList{"trimEndSeconds"};
    QTest::newRow("every field changed")
        << everyFieldChanged()
        << QStringList{"loudnessLimiter", "loudnessTarget", "trimEndSeconds", "trimStartSeconds",
                       "writeReplayGain"};

    for (const BitrateOption bitrate : BitrateOption::allCases()) {
        for (const SampleRateOption rate : SampleRateOption::allCases()) {
            for (const AudioChannelOption layout : AudioChannelOption::allCases()) {
                AudioExtractionSettings settings;
                settings.bitrate = bitrate;
                settings.sampleRate = rate;
                settings.channels = layout;
                QTest::addRow("%s/%d/%d", qPrintable(bitrate.shortName()), rate.rawValue(),
                              layout.rawValue())
                    << settings << QStringList();
            }
        }
    }

    AudioExtractionSettings farTrack;
    farTrack.selectedTrackIndex = (qint64(1) << 53) + 1; // not exact as a double
    QTest::newRow("64-bit track index") << farTrack << QStringList();
    AudioExtractionSettings negativeTrack;
    negativeTrack.selectedTrackIndex = -1;
    QTest::newRow("negative track index") << negativeTrack << QStringList();
}

void TestExtractionSettings::settingsJsonRoundTrip()
{
    QFETCH(AudioExtractionSettings, settings);
    QFETCH(QStringList, trimKeys);

    const QJsonObject json = settings.toJson();
    QStringList expectedKeys = {"bitrate",        "channels",           "embedCoverArt",
                                "fadeInDuration", "fadeOutDuration",    "normalizePeak",
                                "sampleRate",     "selectedTrackIndex", "volumeGainDb"};
    expectedKeys += trimKeys;
    expectedKeys.sort();
    QCOMPARE(json.keys(), expectedKeys);

    QVERIFY(AudioExtractionSettings::fromJson(json) == settings);
    QVERIFY(AudioExtractionSettings::fromJson(viaText(json)) == settings);
}

void TestExtractionSettings::settingsJsonExactForm()
{
    const QJsonObject expected = parseObject(R"({
        "bitrate": {"vbr2": {}},
        "sampleRate": 48000,
        "channels": 1,
        "normalizePeak": true,
        "volumeGainDb": -3.5,
        "trimStartSeconds": 1.25,
        "trimEndSeconds": 90.5,
        "fadeInDuration": 2,
        "fadeOutDuration": 3,
        "embedCoverArt": false,
        "selectedTrackIndex": 3,
        "loudnessTarget": -19,
        "loudnessLimiter": true,
        "writeReplayGain": true
    })");
    QCOMPARE(everyFieldChanged().toJson(), expected);
    QVERIFY(AudioExtractionSettings::fromJson(expected) == everyFieldChanged());
}

void TestExtractionSettings::settingsDecodingTolerance()
{
    QJsonObject json = withTrims(1.0, 2.0).toJson();
    json.insert("trimStartSeconds", QJsonValue::Null);
    json.insert("somethingNewer", "ignored");
    const AudioExtractionSettings decoded = AudioExtractionSettings::fromJson(json);
    QVERIFY(!decoded.trimStartSeconds);
    QCOMPARE(decoded.trimEndSeconds, OptionalDouble(2.0));
}

void TestExtractionSettings::decodingErrors_data()
{
    // type "settings" merges json over a complete settings object; "document" decodes json
    // as a whole settings document; the option types decode json alone.
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<SettingsDecodingError::Kind>("kind");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("codingPath");

    using K = SettingsDecodingError::Kind;
    const QString keyCount = "Invalid number of keys found, expected one.";

    QTest::newRow("bitrate without keys")
        << "bitrate" << QByteArray("{}") << K::typeMismatch << keyCount << QStringList();
    QTest::newRow("bitrate with two cases")
        << "bitrate" << QByteArray(R"({"cbr320": {}, "vbr2": {}})") << K::typeMismatch << keyCount
        << QStringList();
    QTest::newRow("bitrate with a case and a stray key")
        << "bitrate" << QByteArray(R"({"vbr2": {}, "x": {}})") << K::typeMismatch << keyCount
        << QStringList();
    QTest::newRow("bitrate with unknown case")
        << "bitrate" << QByteArray(R"({"cbr999": {}})") << K::dataCorrupted
        << R"(Cannot initialize BitrateOption from invalid case name "cbr999".)" << QStringList();
    QTest::newRow("bitrate as string")
        << "bitrate" << QByteArray(R"("cbr320")") << K::typeMismatch
        << "Expected an object but found a string instead." << QStringList();
    QTest::newRow("bitrate case holding a number")
        << "bitrate" << QByteArray(R"({"vbr2": 1})") << K::typeMismatch
        << "Expected an object but found a number instead." << QStringList{"vbr2"};
    QTest::newRow("unlisted sample rate")
        << "sampleRate" << QByteArray("22050") << K::dataCorrupted
        << "Cannot initialize SampleRateOption from invalid integer value 22050." << QStringList();
    QTest::newRow("fractional sample rate")
        << "sampleRate" << QByteArray("44100.5") << K::dataCorrupted
        << "The number 44100.5 does not fit in an integer." << QStringList();
    QTest::newRow("sample rate beyond int")
        << "sampleRate" << QByteArray("4294967296") << K::dataCorrupted
        << "The number 4294967296 does not fit in an integer." << QStringList();
    QTest::newRow("sample rate as text")
        << "sampleRate" << QByteArray(R"("44100")") << K::typeMismatch
        << "Expected an integer but found a string instead." << QStringList();
    QTest::newRow("unlisted channel count")
        << "channels" << QByteArray("3") << K::dataCorrupted
        << "Cannot initialize AudioChannelOption from invalid integer value 3." << QStringList();
    QTest::newRow("settings as array")
        << "document" << QByteArray("[]") << K::typeMismatch
        << "Expected an object but found an array instead." << QStringList();
    QTest::newRow("settings with empty bitrate")
        << "settings" << QByteArray(R"({"bitrate": {}})") << K::typeMismatch << keyCount
        << QStringList{"bitrate"};
    QTest::newRow("settings with bad bitrate case value")
        << "settings" << QByteArray(R"({"bitrate": {"vbr0": []}})") << K::typeMismatch
        << "Expected an object but found an array instead." << QStringList{"bitrate", "vbr0"};
    QTest::newRow("settings with unlisted channels")
        << "settings" << QByteArray(R"({"channels": 6})") << K::dataCorrupted
        << "Cannot initialize AudioChannelOption from invalid integer value 6."
        << QStringList{"channels"};
    QTest::newRow("settings with boolean as text")
        << "settings" << QByteArray(R"({"normalizePeak": "yes"})") << K::typeMismatch
        << "Expected a boolean but found a string instead." << QStringList{"normalizePeak"};
    QTest::newRow("settings with boolean as number")
        << "settings" << QByteArray(R"({"embedCoverArt": 1})") << K::typeMismatch
        << "Expected a boolean but found a number instead." << QStringList{"embedCoverArt"};
    QTest::newRow("settings with null gain")
        << "settings" << QByteArray(R"({"volumeGainDb": null})") << K::valueNotFound
        << "Expected a number but found null instead." << QStringList{"volumeGainDb"};
    QTest::newRow("settings with trim as text")
        << "settings" << QByteArray(R"({"trimEndSeconds": "10"})") << K::typeMismatch
        << "Expected a number but found a string instead." << QStringList{"trimEndSeconds"};
    QTest::newRow("settings with fractional track")
        << "settings" << QByteArray(R"({"selectedTrackIndex": 1.5})") << K::dataCorrupted
        << "The number 1.5 does not fit in an integer." << QStringList{"selectedTrackIndex"};
}

void TestExtractionSettings::decodingErrors()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, json);
    QFETCH(SettingsDecodingError::Kind, kind);
    QFETCH(QString, description);
    QFETCH(QStringList, codingPath);

    // Wrapped in an object so that scalars parse too.
    const QJsonValue value = parseObject("{\"v\": " + json + "}").value("v");
    try {
        if (type == "bitrate") {
            BitrateOption::fromJson(value);
        } else if (type == "sampleRate") {
            SampleRateOption::fromJson(value);
        } else if (type == "channels") {
            AudioChannelOption::fromJson(value);
        } else if (type == "document") {
            AudioExtractionSettings::fromJson(value);
        } else {
            QJsonObject settings = AudioExtractionSettings().toJson();
            const QJsonObject overrides = value.toObject();
            for (auto it = overrides.begin(); it != overrides.end(); ++it)
                settings.insert(it.key(), it.value());
            AudioExtractionSettings::fromJson(settings);
        }
        QFAIL("decoding succeeded");
    } catch (const SettingsDecodingError &error) {
        QCOMPARE(error.kind(), kind);
        QCOMPARE(QString::fromUtf8(error.what()), description);
        QCOMPARE(error.codingPath(), codingPath);
    }
}

void TestExtractionSettings::everyRequiredKeyIsRequired()
{
    const QJsonObject complete = everyFieldChanged().toJson();
    for (const QString &key : complete.keys()) {
        QJsonObject json = complete;
        json.remove(key);
        // Documents stored before loudness normalisation existed decode with it off.
        const bool optional =
            key.startsWith("trim") || key.startsWith("loudness") || key == "writeReplayGain";
        try {
            const AudioExtractionSettings decoded = AudioExtractionSettings::fromJson(json);
            QVERIFY2(optional, qPrintable(key));
            QVERIFY2(!decoded.toJson().contains(key), qPrintable(key));
        } catch (const SettingsDecodingError &error) {
            QVERIFY2(!optional, qPrintable(key));
            QCOMPARE(error.kind(), SettingsDecodingError::Kind::keyNotFound);
            QCOMPARE(QString::fromUtf8(error.what()),
                     QString("No value associated with key \"%1\".").arg(key));
            QCOMPARE(error.codingPath(), QStringList{key});
        }
    }
}

void TestExtractionSettings::sourceFormatAndOutputRate_data()
{
    QTest::addColumn<SampleRateOption>("option");
    QTest::addColumn<OptionalDouble>("describedRate");
    QTest::addColumn<double>("sourceRate");
    QTest::addColumn<int>("outputRate");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto autoRate = SampleRateOption::auto_;
    QTest::newRow("auto keeps 22050") << autoRate << OptionalDouble(22050) << 22050.0 << 22050;
    QTest::newRow("auto drops the fraction")
        << autoRate << OptionalDouble(44100.9) << 44100.9 << 44100;
    QTest::newRow("0 Hz described") << autoRate << OptionalDouble(0) << 44100.0 << 44100;
    QTest::newRow("negative rate") << autoRate << OptionalDouble(-48000) << 44100.0 << 44100;
    QTest::newRow("no description") << autoRate << OptionalDouble() << 44100.0 << 44100;
    QTest::newRow("NaN rate") << autoRate << OptionalDouble(nan) << 44100.0 << 44100;
    QTest::newRow("infinite rate") << autoRate << OptionalDouble(inf) << 44100.0 << 44100;
    QTest::newRow("absurd rate saturates")
        << autoRate << OptionalDouble(1e12) << 1e12 << std::numeric_limits<int>::max();
    QTest::newRow("44.1 kHz over 22050")
        << SampleRateOption::sr44100 << OptionalDouble(22050) << 22050.0 << 44100;
    QTest::newRow("48 kHz over 44100")
        << SampleRateOption::sr48000 << OptionalDouble(44100) << 44100.0 << 48000;
    QTest::newRow("32 kHz over 0 Hz")
        << SampleRateOption::sr32000 << OptionalDouble(0) << 44100.0 << 32000;
}

void TestExtractionSettings::sourceFormatAndOutputRate()
{
    QFETCH(SampleRateOption, option);
    QFETCH(OptionalDouble, describedRate);
    QFETCH(double, sourceRate);
    QFETCH(int, outputRate);

    const SourceAudioFormat source = resolveSourceAudioFormat(describedRate, 2);
    QCOMPARE(source.sampleRate, sourceRate);
    QCOMPARE(resolveOutputSampleRate(option, source.sampleRate), outputRate);
    // The rule holds for undescribed rates on its own too.
    QCOMPARE(resolveOutputSampleRate(option, describedRate.value_or(0)), outputRate);
}

void TestExtractionSettings::sourceFormatAndOutputChannels_data()
{
    QTest::addColumn<AudioChannelOption>("option");
    QTest::addColumn<OptionalChannels>("describedChannels");
    QTest::addColumn<quint32>("sourceChannels");
    QTest::addColumn<int>("outputChannels");

    const auto autoLayout = AudioChannelOption::auto_;
    QTest::newRow("auto mono") << autoLayout << OptionalChannels(1) << 1u << 1;
    QTest::newRow("auto stereo") << autoLayout << OptionalChannels(2) << 2u << 2;
    QTest::newRow("auto 5.1") << autoLayout << OptionalChannels(6) << 6u << 2;
    QTest::newRow("auto 0 described") << autoLayout << OptionalChannels(0) << 2u << 2;
    QTest::newRow("auto no description") << autoLayout << OptionalChannels() << 2u << 2;
    QTest::newRow("stereo from mono")
        << AudioChannelOption::stereo << OptionalChannels(1) << 1u << 2;
    QTest::newRow("mono from 5.1") << AudioChannelOption::mono << OptionalChannels(6) << 6u << 1;
}

void TestExtractionSettings::sourceFormatAndOutputChannels()
{
    QFETCH(AudioChannelOption, option);
    QFETCH(OptionalChannels, describedChannels);
    QFETCH(quint32, sourceChannels);
    QFETCH(int, outputChannels);

    const SourceAudioFormat source = resolveSourceAudioFormat(48000.0, describedChannels);
    QCOMPARE(source.channelCount, sourceChannels);
    QCOMPARE(source.sampleRate, 48000.0);
    QCOMPARE(resolveOutputChannelCount(option, source.channelCount), outputChannels);
    QCOMPARE(resolveOutputChannelCount(option, describedChannels.value_or(0)), outputChannels);
}

void TestExtractionSettings::trackIndex_data()
{
    QTest::addColumn<qint64>("selected");
    QTest::addColumn<qint64>("trackCount");
    QTest::addColumn<OptionalIndex>("index");

    constexpr qint64 most = std::numeric_limits<qint64>::max();
    constexpr qint64 least = std::numeric_limits<qint64>::min();
    QTest::newRow("past the end") << qint64(5) << qint64(2) << OptionalIndex(1);
    QTest::newRow("negative") << qint64(-1) << qint64(2) << OptionalIndex(0);
    QTest::newRow("in range") << qint64(1) << qint64(3) << OptionalIndex(1);
    QTest::newRow("last") << qint64(2) << qint64(3) << OptionalIndex(2);
    QTest::newRow("single track") << qint64(0) << qint64(1) << OptionalIndex(0);
    QTest::newRow("largest index") << most << qint64(3) << OptionalIndex(2);
    QTest::newRow("smallest index") << least << qint64(3) << OptionalIndex(0);
    QTest::newRow("no tracks") << qint64(0) << qint64(0) << OptionalIndex();
    QTest::newRow("negative count") << qint64(0) << qint64(-1) << OptionalIndex();
}

void TestExtractionSettings::trackIndex()
{
    QFETCH(qint64, selected);
    QFETCH(qint64, trackCount);
    QFETCH(OptionalIndex, index);

    QCOMPARE(resolveTrackIndex(selected, trackCount), index);
}

void TestExtractionSettings::trimRange_data()
{
    QTest::addColumn<OptionalDouble>("trimStart");
    QTest::addColumn<OptionalDouble>("trimEnd");
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("length");
    QTest::addColumn<bool>("limited");
    QTest::addColumn<qint64>("rangeStart"); // units of 1/600 s
    QTest::addColumn<qint64>("rangeDuration");

    const OptionalDouble none;
    QTest::newRow("no trims") << none << none << 60.0 << 0.0 << 60.0 << 60.0 << false << qint64(0)
                              << qint64(0);
    QTest::newRow("start 0, no end") << OptionalDouble(0) << none << 60.0 << 0.0 << 60.0 << 60.0
                                     << false << qint64(0) << qint64(0);
    QTest::newRow("10 to 20 of 60") << OptionalDouble(10) << OptionalDouble(20) << 60.0 << 10.0
                                    << 20.0 << 10.0 << true << qint64(6000) << qint64(6000);
    QTest::newRow("end 0.05 reads 0.1 s") << none << OptionalDouble(0.05) << 60.0 << 0.0 << 0.05
                                          << 0.1 << true << qint64(0) << qint64(60);
    QTest::newRow("start after end") << OptionalDouble(30) << OptionalDouble(20) << 60.0 << 30.0
                                     << 20.0 << 0.1 << true << qint64(18000) << qint64(60);
    QTest::newRow("negative start counts as 0") << OptionalDouble(-5) << none << 60.0 << 0.0 << 60.0
                                                << 60.0 << false << qint64(0) << qint64(0);
    QTest::newRow("end beyond the duration")
        << OptionalDouble(10) << OptionalDouble(100) << 60.0 << 10.0 << 60.0 << 50.0 << true
        << qint64(6000) << qint64(30000);
    QTest::newRow("end exactly at the duration") << none << OptionalDouble(60) << 60.0 << 0.0
                                                 << 60.0 << 60.0 << false << qint64(0) << qint64(0);
    QTest::newRow("end only, beyond the duration")
        << none << OptionalDouble(90) << 60.0 << 0.0 << 60.0 << 60.0 << false << qint64(0)
        << qint64(0);
    QTest::newRow("start beyond the duration")
        << OptionalDouble(100) << none << 60.0 << 100.0 << 60.0 << 0.1 << true << qint64(60000)
        << qint64(60);
    QTest::newRow("negative end") << none << OptionalDouble(-1) << 60.0 << 0.0 << -1.0 << 0.1
                                  << true << qint64(0) << qint64(60);
    QTest::newRow("source shorter than the minimum")
        << none << none << 0.05 << 0.0 << 0.05 << 0.1 << false << qint64(0) << qint64(0);
    // 1200.54 and 1199.46 units: rounding to nearest, where truncation would give 1200 both.
    QTest::newRow("rounds to the nearest unit")
        << OptionalDouble(2.0009) << OptionalDouble(4.0) << 60.0 << 2.0009 << 4.0 << 1.9991 << true
        << qint64(1201) << qint64(1199);
    QTest::newRow("a third of a second")
        << OptionalDouble(1.0 / 3) << OptionalDouble(2.0 / 3) << 60.0 << 1.0 / 3 << 2.0 / 3
        << 1.0 / 3 << true << qint64(200) << qint64(200);
}

void TestExtractionSettings::trimRange()
{
    QFETCH(OptionalDouble, trimStart);
    QFETCH(OptionalDouble, trimEnd);
    QFETCH(double, duration);
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, length);
    QFETCH(bool, limited);
    QFETCH(qint64, rangeStart);
    QFETCH(qint64, rangeDuration);

    const TrimRange range = resolveTrimRange(withTrims(trimStart, trimEnd), duration);
    QCOMPARE(range.startSeconds, start);
    QCOMPARE(range.endSeconds, end);
    QCOMPARE(range.lengthSeconds, length);
    QCOMPARE(range.readerRange.has_value(), limited);
    if (limited) {
        QCOMPARE(range.readerRange->start, rangeStart);
        QCOMPARE(range.readerRange->duration, rangeDuration);
        QCOMPARE(MediaTimeRange::timescale, 600);
    }
}

void TestExtractionSettings::trimRangeStaysFinite_data()
{
    QTest::addColumn<OptionalDouble>("trimStart");
    QTest::addColumn<OptionalDouble>("trimEnd");
    QTest::addColumn<double>("duration");
    QTest::addColumn<bool>("limited");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const OptionalDouble none;
    QTest::newRow("NaN start is absent") << OptionalDouble(nan) << none << 60.0 << false;
    QTest::newRow("infinite start is absent") << OptionalDouble(inf) << none << 60.0 << false;
    QTest::newRow("NaN end is absent") << none << OptionalDouble(nan) << 60.0 << false;
    QTest::newRow("minus infinite end is absent") << none << OptionalDouble(-inf) << 60.0 << false;
    QTest::newRow("NaN duration") << none << none << nan << false;
    QTest::newRow("infinite duration") << none << none << inf << false;
    QTest::newRow("infinite duration, trimmed")
        << OptionalDouble(10) << OptionalDouble(20) << inf << true;
    QTest::newRow("negative duration") << none << OptionalDouble(5) << -60.0 << false;
    QTest::newRow("start too large for media time")
        << OptionalDouble(1e300) << none << 60.0 << true;
}

void TestExtractionSettings::trimRangeStaysFinite()
{
    QFETCH(OptionalDouble, trimStart);
    QFETCH(OptionalDouble, trimEnd);
    QFETCH(double, duration);
    QFETCH(bool, limited);

    const TrimRange range = resolveTrimRange(withTrims(trimStart, trimEnd), duration);
    QVERIFY(std::isfinite(range.startSeconds));
    QVERIFY(std::isfinite(range.endSeconds));
    QVERIFY(std::isfinite(range.lengthSeconds));
    QVERIFY(range.lengthSeconds >= minimumTrimLengthSeconds);
    QCOMPARE(range.readerRange.has_value(), limited);
    if (limited) {
        QVERIFY(range.readerRange->start >= 0);
        QCOMPARE(range.readerRange->duration, qint64(60));
    }
    if (trimStart == 1e300)
        QCOMPARE(range.readerRange->start, std::numeric_limits<qint64>::max());
}

QTEST_GUILESS_MAIN(TestExtractionSettings)
#include "tst_extraction_settings.moc"
