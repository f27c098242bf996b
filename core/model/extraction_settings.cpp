#include "model/extraction_settings.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tonbrook {

namespace {

using Kind = SettingsDecodingError::Kind;

const QString bitrateKey = QStringLiteral("bitrate");
const QString sampleRateKey = QStringLiteral("sampleRate");
const QString channelsKey = QStringLiteral("channels");
const QString normalizePeakKey = QStringLiteral("normalizePeak");
const QString volumeGainDbKey = QStringLiteral("volumeGainDb");
const QString loudnessTargetKey = QStringLiteral("loudnessTarget");
const QString loudnessLimiterKey = QStringLiteral("loudnessLimiter");
const QString writeReplayGainKey = QStringLiteral("writeReplayGain");
const QString trimStartSecondsKey = QStringLiteral("trimStartSeconds");
const QString trimEndSecondsKey = QStringLiteral("trimEndSeconds");
const QString fadeInDurationKey = QStringLiteral("fadeInDuration");
const QString fadeOutDurationKey = QStringLiteral("fadeOutDuration");
const QString embedCoverArtKey = QStringLiteral("embedCoverArt");
const QString selectedTrackIndexKey = QStringLiteral("selectedTrackIndex");

QString bitrateCaseName(BitrateOption::Case value)
{
    switch (value) {
    case BitrateOption::Case::cbr320:
        return QStringLiteral("cbr320");
    case BitrateOption::Case::cbr256:
        return QStringLiteral("cbr256");
    case BitrateOption::Case::cbr192:
        return QStringLiteral("cbr192");
    case BitrateOption::Case::cbr128:
        return QStringLiteral("cbr128");
    case BitrateOption::Case::vbr0:
        return QStringLiteral("vbr0");
    case BitrateOption::Case::vbr2:
        return QStringLiteral("vbr2");
    }
    return {};
}

QString describeJsonType(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

QString describeNumber(double number)
{
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

// Null gets its own kind so that "no value" and "wrong value" stay distinguishable.
SettingsDecodingError unexpectedType(const QString &expected, const QJsonValue &found)
{
    return SettingsDecodingError(
        found.isNull() ? Kind::valueNotFound : Kind::typeMismatch,
        QStringLiteral("Expected %1 but found %2 instead.").arg(expected, describeJsonType(found)));
}

SettingsDecodingError numberOutOfRange(const QString &number)
{
    return SettingsDecodingError(
        Kind::dataCorrupted,
        QStringLiteral("The number %1 does not fit in an integer.").arg(number));
}

double decodeDouble(const QJsonValue &value)
{
    if (!value.isDouble())
        throw unexpectedType(QStringLiteral("a number"), value);
    return value.toDouble();
}

bool decodeBool(const QJsonValue &value)
{
    if (!value.isBool())
        throw unexpectedType(QStringLiteral("a boolean"), value);
    return value.toBool();
}

qint64 decodeInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        throw unexpectedType(QStringLiteral("an integer"), value);
    // toInteger falls back to its argument for fractions and out-of-range numbers, so two
    // different fallbacks tell those apart from a real value.
    const qint64 integer = value.toInteger(0);
    if (integer != value.toInteger(-1))
        throw numberOutOfRange(describeNumber(value.toDouble()));
    return integer;
}

int decodeRawValue(const QJsonValue &value)
{
    const qint64 integer = decodeInteger(value);
    if (integer < std::numeric_limits<int>::min() || integer > std::numeric_limits<int>::max())
        throw numberOutOfRange(QString::number(integer));
    return static_cast<int>(integer);
}

SettingsDecodingError invalidRawValue(const char *typeName, int rawValue)
{
    return SettingsDecodingError(
        Kind::dataCorrupted, QStringLiteral("Cannot initialize %1 from invalid integer value %2.")
                                 .arg(QLatin1StringView(typeName))
                                 .arg(rawValue));
}

// Runs decode on the value under key, locating any failure at that key.
template <typename Decode>
auto decodeRequired(const QJsonObject &object, const QString &key, Decode decode)
{
    const auto found = object.constFind(key);
    if (found == object.constEnd()) {
        throw SettingsDecodingError(Kind::keyNotFound,
                                    QStringLiteral("No value associated with key \"%1\".").arg(key),
                                    {key});
    }
    try {
        return decode(found.value());
    } catch (const SettingsDecodingError &error) {
        throw error.prefixed(key);
    }
}

std::optional<double> decodeOptionalDouble(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return decodeRequired(object, key, decodeDouble);
}

bool decodeOptionalBool(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return false;
    return decodeRequired(object, key, decodeBool);
}

// An unusable trim counts as absent so that no infinity or NaN reaches the media times.
double finiteOr(std::optional<double> value, double fallback)
{
    return value && std::isfinite(*value) ? *value : fallback;
}

} // namespace

SettingsDecodingError::SettingsDecodingError(Kind kind, const QString &description,
                                             QStringList codingPath)
    : std::runtime_error(description.toStdString()), m_kind(kind),
      m_codingPath(std::move(codingPath))
{
}

SettingsDecodingError SettingsDecodingError::prefixed(const QString &key) const
{
    QStringList path = m_codingPath;
    path.prepend(key);
    return SettingsDecodingError(m_kind, QString::fromUtf8(what()), std::move(path));
}

QString BitrateOption::name() const
{
    switch (m_case) {
    case Case::cbr320:
        return QCoreApplication::translate("BitrateOption", "320 kbps (High Quality CBR)");
    case Case::cbr256:
        return QCoreApplication::translate("BitrateOption", "256 kbps (Standard High CBR)");
    case Case::cbr192:
        return QCoreApplication::translate("BitrateOption", "192 kbps (Balanced CBR)");
    case Case::cbr128:
        return QCoreApplication::translate("BitrateOption", "128 kbps (Compact CBR)");
    case Case::vbr0:
        return QCoreApplication::translate("BitrateOption", "VBR V0 (~245 kbps Ultra)");
    case Case::vbr2:
        return QCoreApplication::translate("BitrateOption", "VBR V2 (~190 kbps Recommended)");
    }
    return {};
}

QString BitrateOption::shortName() const
{
    switch (m_case) {
    case Case::cbr320:
        return QStringLiteral("320k");
    case Case::cbr256:
        return QStringLiteral("256k");
    case Case::cbr192:
        return QStringLiteral("192k");
    case Case::cbr128:
        return QStringLiteral("128k");
    case Case::vbr0:
        return QStringLiteral("VBR 0");
    case Case::vbr2:
        return QStringLiteral("VBR 2");
    }
    return {};
}

QJsonValue BitrateOption::toJson() const
{
    return QJsonObject{{bitrateCaseName(m_case), QJsonObject()}};
}

BitrateOption BitrateOption::fromJson(const QJsonValue &json)
{
    if (!json.isObject())
        throw unexpectedType(QStringLiteral("an object"), json);
    const QJsonObject object = json.toObject();
    if (object.size() != 1) {
        throw SettingsDecodingError(Kind::typeMismatch,
                                    QStringLiteral("Invalid number of keys found, expected one."));
    }
    const QString key = object.constBegin().key();
    for (const BitrateOption option : allCases()) {
        if (bitrateCaseName(option.m_case) != key)
            continue;
        // The case carries no values, so the object's members are not looked at.
        const QJsonValue caseValue = object.constBegin().value();
        if (!caseValue.isObject())
            throw unexpectedType(QStringLiteral("an object"), caseValue).prefixed(key);
        return option;
    }
    throw SettingsDecodingError(
        Kind::dataCorrupted,
        QStringLiteral("Cannot initialize BitrateOption from invalid case name \"%1\".").arg(key));
}

QString SampleRateOption::name() const
{
    switch (m_case) {
    case Case::auto_:
        return QCoreApplication::translate("SampleRateOption", "Auto (Original)");
    case Case::sr44100:
        return QCoreApplication::translate("SampleRateOption", "44.1 kHz (CD Quality)");
    case Case::sr48000:
        return QCoreApplication::translate("SampleRateOption", "48.0 kHz (Studio Quality)");
    case Case::sr32000:
        return QCoreApplication::translate("SampleRateOption", "32.0 kHz");
    }
    return {};
}

SampleRateOption SampleRateOption::fromJson(const QJsonValue &json)
{
    const int rawValue = decodeRawValue(json);
    if (const auto option = fromRawValue(rawValue))
        return *option;
    throw invalidRawValue("SampleRateOption", rawValue);
}

QString AudioChannelOption::name() const
{
    switch (m_case) {
    case Case::auto_:
        return QCoreApplication::translate("AudioChannelOption", "Auto (Original)");
    case Case::stereo:
        return QCoreApplication::translate("AudioChannelOption", "Stereo (2 Ch)");
    case Case::mono:
        return QCoreApplication::translate("AudioChannelOption", "Mono (1 Ch)");
    }
    return {};
}

AudioChannelOption AudioChannelOption::fromJson(const QJsonValue &json)
{
    const int rawValue = decodeRawValue(json);
    if (const auto option = fromRawValue(rawValue))
        return *option;
    throw invalidRawValue("AudioChannelOption", rawValue);
}

QJsonObject AudioExtractionSettings::toJson() const
{
    QJsonObject object{
        {bitrateKey, bitrate.toJson()},
        {sampleRateKey, sampleRate.toJson()},
        {channelsKey, channels.toJson()},
        {normalizePeakKey, normalizePeak},
        {volumeGainDbKey, volumeGainDb},
        {fadeInDurationKey, fadeInDuration},
        {fadeOutDurationKey, fadeOutDuration},
        {embedCoverArtKey, embedCoverArt},
        {selectedTrackIndexKey, selectedTrackIndex},
    };
    if (trimStartSeconds)
        object.insert(trimStartSecondsKey, *trimStartSeconds);
    if (trimEndSeconds)
        object.insert(trimEndSecondsKey, *trimEndSeconds);
    if (loudnessTarget)
        object.insert(loudnessTargetKey, *loudnessTarget);
    if (loudnessLimiter)
        object.insert(loudnessLimiterKey, true);
    if (writeReplayGain)
        object.insert(writeReplayGainKey, true);
    return object;
}

AudioExtractionSettings AudioExtractionSettings::fromJson(const QJsonValue &json)
{
    if (!json.isObject())
        throw unexpectedType(QStringLiteral("an object"), json);
    const QJsonObject object = json.toObject();
    // Decoded in declaration order, so the first failing field is the one reported.
    AudioExtractionSettings settings;
    settings.bitrate = decodeRequired(object, bitrateKey, BitrateOption::fromJson);
    settings.sampleRate = decodeRequired(object, sampleRateKey, SampleRateOption::fromJson);
    settings.channels = decodeRequired(object, channelsKey, AudioChannelOption::fromJson);
    settings.normalizePeak = decodeRequired(object, normalizePeakKey, decodeBool);
    settings.volumeGainDb = decodeRequired(object, volumeGainDbKey, decodeDouble);
    settings.trimStartSeconds = decodeOptionalDouble(object, trimStartSecondsKey);
    settings.trimEndSeconds = decodeOptionalDouble(object, trimEndSecondsKey);
    settings.fadeInDuration = decodeRequired(object, fadeInDurationKey, decodeDouble);
    settings.fadeOutDuration = decodeRequired(object, fadeOutDurationKey, decodeDouble);
    settings.embedCoverArt = decodeRequired(object, embedCoverArtKey, decodeBool);
    settings.selectedTrackIndex = decodeRequired(object, selectedTrackIndexKey, decodeInteger);
    settings.loudnessTarget = decodeOptionalDouble(object, loudnessTargetKey);
    settings.loudnessLimiter = decodeOptionalBool(object, loudnessLimiterKey);
    settings.writeReplayGain = decodeOptionalBool(object, writeReplayGainKey);
    return settings;
}

std::optional<double> resolveLoudnessTarget(const std::optional<double> &target)
{
    if (!target || !std::isfinite(*target))
        return std::nullopt;
    return std::clamp(*target, lowestLoudnessTarget, highestLoudnessTarget);
}

SourceAudioFormat resolveSourceAudioFormat(std::optional<double> sampleRate,
                                           std::optional<quint32> channelCount)
{
    SourceAudioFormat format;
    // An infinite rate is as meaningless as a missing one.
    if (sampleRate && std::isfinite(*sampleRate) && *sampleRate > 0)
        format.sampleRate = *sampleRate;
    if (channelCount && *channelCount != 0)
        format.channelCount = *channelCount;
    return format;
}

int resolveOutputSampleRate(SampleRateOption option, double sourceSampleRate)
{
    if (option != SampleRateOption::auto_)
        return option.rawValue();
    if (!std::isfinite(sourceSampleRate) || sourceSampleRate <= 0)
        return static_cast<int>(fallbackSourceSampleRate);
    // Converting a double beyond int's range is undefined, so saturate first.
    if (sourceSampleRate >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(sourceSampleRate);
}

int writtenBitrateKbps(BitrateOption option, int outputSampleRate)
{
    constexpr int lowRateMaximumKbps = 160;
    if (option.vbrQuality() < 0 && outputSampleRate < 32000)
        return std::min(option.kbps(), lowRateMaximumKbps);
    return option.kbps();
}

QString writtenBitrateName(BitrateOption option, int outputSampleRate)
{
    const int kbps = writtenBitrateKbps(option, outputSampleRate);
    return kbps == option.kbps() ? option.shortName() : QStringLiteral("%1k").arg(kbps);
}

int resolveOutputChannelCount(AudioChannelOption option, quint32 sourceChannelCount)
{
    switch (option.caseValue()) {
    case AudioChannelOption::Case::stereo:
        return 2;
    case AudioChannelOption::Case::mono:
        return 1;
    case AudioChannelOption::Case::auto_:
        break;
    }
    return sourceChannelCount == 1 ? 1 : 2;
}

std::optional<qint64> resolveTrackIndex(qint64 selectedTrackIndex, qint64 trackCount)
{
    if (trackCount <= 0)
        return std::nullopt;
    return std::clamp<qint64>(selectedTrackIndex, 0, trackCount - 1);
}

qint64 MediaTimeRange::unitsFromSeconds(double seconds) noexcept
{
    const double units = seconds * timescale;
    if (std::isnan(units))
        return 0;
    // 2^63 is the first double past qint64's range; -2^63 itself still fits.
    if (units >= 0x1p63)
        return std::numeric_limits<qint64>::max();
    if (units < -0x1p63)
        return std::numeric_limits<qint64>::min();
    return std::llround(units);
}

MediaTimeRange MediaTimeRange::fromSeconds(double startSeconds, double durationSeconds) noexcept
{
    return {unitsFromSeconds(startSeconds), unitsFromSeconds(durationSeconds)};
}

TrimRange resolveTrimRange(const AudioExtractionSettings &settings, double sourceDuration)
{
    const double duration =
        std::isfinite(sourceDuration) && sourceDuration > 0 ? sourceDuration : 0.0;
    const double start = std::max(finiteOr(settings.trimStartSeconds, 0.0), 0.0);
    const double end = std::min(finiteOr(settings.trimEndSeconds, duration), duration);

    TrimRange range;
    range.startSeconds = start;
    range.endSeconds = end;
    range.lengthSeconds = std::max(end - start, minimumTrimLengthSeconds);
    if (start > 0 || end < duration)
        range.readerRange = MediaTimeRange::fromSeconds(start, range.lengthSeconds);
    return range;
}

} // namespace tonbrook
