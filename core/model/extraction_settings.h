#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace tonbrook {

// A failure to read settings back from their JSON form; what() is the readable description.
class SettingsDecodingError : public std::runtime_error {
public:
    enum class Kind {
        typeMismatch,  // a value of the wrong JSON type, or a malformed bitrate object
        valueNotFound, // null where a value is required
        keyNotFound,   // a required key is missing
        dataCorrupted, // a value of the right type that names nothing known
    };

    SettingsDecodingError(Kind kind, const QString &description, QStringList codingPath = {});

    Kind kind() const noexcept { return m_kind; }
    // The keys leading from the decoded document to the failing value, outermost first.
    const QStringList &codingPath() const noexcept { return m_codingPath; }
    std::string errorDescription() const { return what(); }

    // The same failure, seen from the object that holds the failing value under key.
    SettingsDecodingError prefixed(const QString &key) const;

private:
    Kind m_kind;
    QStringList m_codingPath;
};

// MP3 bitrate mode. Cases are static members (BitrateOption::vbr2); Case is for switches.
class BitrateOption {
public:
    enum class Case { cbr320, cbr256, cbr192, cbr128, vbr0, vbr2 };

    static const BitrateOption cbr320;
    static const BitrateOption cbr256;
    static const BitrateOption cbr192;
    static const BitrateOption cbr128;
    static const BitrateOption vbr0;
    static const BitrateOption vbr2;

    // The first case, cbr320, which is also the default setting.
    constexpr BitrateOption() noexcept = default;
    constexpr BitrateOption(Case value) noexcept : m_case(value) {}

    // Every case in declaration order, which is the order pickers list them in.
    static constexpr std::array<BitrateOption, 6> allCases() noexcept;

    constexpr Case caseValue() const noexcept { return m_case; }
    // Same text as name(); identifies the option in lists.
    QString id() const { return name(); }
    QString name() const;
    QString shortName() const;
    // Nominal for the VBR cases; the encoder ignores it in VBR mode.
    constexpr int kbps() const noexcept;
    // -1 for constant bitrate, otherwise the LAME VBR quality (0 is best).
    constexpr int vbrQuality() const noexcept;

    // {"<case name>": {}}
    QJsonValue toJson() const;
    static BitrateOption fromJson(const QJsonValue &json);

    constexpr bool operator==(const BitrateOption &) const noexcept = default;

private:
    Case m_case = Case::cbr320;
};

// Output sample rate; the enumerator values are the raw values.
class SampleRateOption {
public:
    enum class Case { auto_ = 0, sr44100 = 44100, sr48000 = 48000, sr32000 = 32000 };

    // The source track's own rate ("auto" is a C++ keyword).
    static const SampleRateOption auto_;
    static const SampleRateOption sr44100;
    static const SampleRateOption sr48000;
    static const SampleRateOption sr32000;

    // The first case, auto_, which is also the default setting.
    constexpr SampleRateOption() noexcept = default;
    constexpr SampleRateOption(Case value) noexcept : m_case(value) {}

    static constexpr std::array<SampleRateOption, 4> allCases() noexcept;
    // Nothing for any value that is not one of the cases' raw values.
    static constexpr std::optional<SampleRateOption> fromRawValue(int rawValue) noexcept;

    constexpr Case caseValue() const noexcept { return m_case; }
    constexpr int rawValue() const noexcept { return static_cast<int>(m_case); }
    constexpr int id() const noexcept { return rawValue(); }
    QString name() const;

    // The raw value as a JSON number.
    QJsonValue toJson() const { return rawValue(); }
    static SampleRateOption fromJson(const QJsonValue &json);

    constexpr bool operator==(const SampleRateOption &) const noexcept = default;

private:
    Case m_case = Case::auto_;
};

// Output channel layout; the enumerator values are the raw values. Note stereo precedes mono.
class AudioChannelOption {
public:
    enum class Case { auto_ = 0, stereo = 2, mono = 1 };

    // 1 channel for a mono source, otherwise 2 ("auto" is a C++ keyword).
    static const AudioChannelOption auto_;
    static const AudioChannelOption stereo;
    static const AudioChannelOption mono;

    // The first case, auto_, which is also the default setting.
    constexpr AudioChannelOption() noexcept = default;
    constexpr AudioChannelOption(Case value) noexcept : m_case(value) {}

    static constexpr std::array<AudioChannelOption, 3> allCases() noexcept;
    // Nothing for any value that is not one of the cases' raw values.
    static constexpr std::optional<AudioChannelOption> fromRawValue(int rawValue) noexcept;

    constexpr Case caseValue() const noexcept { return m_case; }
    constexpr int rawValue() const noexcept { return static_cast<int>(m_case); }
    constexpr int id() const noexcept { return rawValue(); }
    QString name() const;

    // The raw value as a JSON number.
    QJsonValue toJson() const { return rawValue(); }
    static AudioChannelOption fromJson(const QJsonValue &json);

    constexpr bool operator==(const AudioChannelOption &) const noexcept = default;

private:
    Case m_case = Case::auto_;
};

inline constexpr BitrateOption BitrateOption::cbr320{Case::cbr320};
inline constexpr BitrateOption BitrateOption::cbr256{Case::cbr256};
inline constexpr BitrateOption BitrateOption::cbr192{Case::cbr192};
inline constexpr BitrateOption BitrateOption::cbr128{Case::cbr128};
inline constexpr BitrateOption BitrateOption::vbr0{Case::vbr0};
inline constexpr BitrateOption BitrateOption::vbr2{Case::vbr2};

constexpr std::array<BitrateOption, 6> BitrateOption::allCases() noexcept
{
    return {cbr320, cbr256, cbr192, cbr128, vbr0, vbr2};
}

constexpr int BitrateOption::kbps() const noexcept
{
    switch (m_case) {
    case Case::cbr320:
        return 320;
    case Case::cbr256:
    case Case::vbr0:
        return 256;
    case Case::cbr192:
    case Case::vbr2:
        return 192;
    case Case::cbr128:
        return 128;
    }
    return 320;
}

constexpr int BitrateOption::vbrQuality() const noexcept
{
    switch (m_case) {
    case Case::vbr0:
        return 0;
    case Case::vbr2:
        return 2;
    case Case::cbr320:
    case Case::cbr256:
    case Case::cbr192:
    case Case::cbr128:
        break;
    }
    return -1;
}

inline constexpr SampleRateOption SampleRateOption::auto_{Case::auto_};
inline constexpr SampleRateOption SampleRateOption::sr44100{Case::sr44100};
inline constexpr SampleRateOption SampleRateOption::sr48000{Case::sr48000};
inline constexpr SampleRateOption SampleRateOption::sr32000{Case::sr32000};

constexpr std::array<SampleRateOption, 4> SampleRateOption::allCases() noexcept
{
    return {auto_, sr44100, sr48000, sr32000};
}

constexpr std::optional<SampleRateOption> SampleRateOption::fromRawValue(int rawValue) noexcept
{
    for (const SampleRateOption option : allCases()) {
        if (option.rawValue() == rawValue)
            return option;
    }
    return std::nullopt;
}

inline constexpr AudioChannelOption AudioChannelOption::auto_{Case::auto_};
inline constexpr AudioChannelOption AudioChannelOption::stereo{Case::stereo};
inline constexpr AudioChannelOption AudioChannelOption::mono{Case::mono};

constexpr std::array<AudioChannelOption, 3> AudioChannelOption::allCases() noexcept
{
    return {auto_, stereo, mono};
}

constexpr std::optional<AudioChannelOption> AudioChannelOption::fromRawValue(int rawValue) noexcept
{
    for (const AudioChannelOption option : allCases()) {
        if (option.rawValue() == rawValue)
            return option;
    }
    return std::nullopt;
}

inline size_t qHash(BitrateOption option, size_t seed = 0) noexcept
{
    return QT_PREPEND_NAMESPACE(qHash)(static_cast<int>(option.caseValue()), seed);
}

inline size_t qHash(SampleRateOption option, size_t seed = 0) noexcept
{
    return QT_PREPEND_NAMESPACE(qHash)(option.rawValue(), seed);
}

inline size_t qHash(AudioChannelOption option, size_t seed = 0) noexcept
{
    return QT_PREPEND_NAMESPACE(qHash)(option.rawValue(), seed);
}

// How one job's audio is extracted. Aggregate: brace-initialise the fields in this order.
struct AudioExtractionSettings {
    BitrateOption bitrate = BitrateOption::cbr320;
    SampleRateOption sampleRate = SampleRateOption::auto_;
    AudioChannelOption channels = AudioChannelOption::auto_;
    bool normalizePeak = false;
    double volumeGainDb = 0.0;
    // Seconds from the start of the source; absent means from the beginning.
    std::optional<double> trimStartSeconds;
    // Seconds from the start of the source; absent means to the end.
    std::optional<double> trimEndSeconds;
    double fadeInDuration = 0.0;
    double fadeOutDuration = 0.0;
    bool embedCoverArt = true;
    // Zero-based among the source's audio tracks; resolveTrackIndex clamps it.
    qint64 selectedTrackIndex = 0;
    // Loudness normalisation to this integrated loudness in LUFS; absent means off. Takes the
    // place of normalizePeak when both are set. resolveLoudnessTarget clamps it.
    std::optional<double> loudnessTarget;
    // With a loudness target: a true-peak limiter holds the peaks under the ceiling, so that the
    // target is met where the gain alone would stop short of it.
    bool loudnessLimiter = false;
    // Measures the loudness for ReplayGain tags even with no loudness target; with one, the
    // tags are written anyway.
    bool writeReplayGain = false;

    // Keys are the field names; absent trims and loudness target, and the two switches above
    // when off, are left out.
    QJsonObject toJson() const;
    // Every key but the two trims, the loudness target and the two switches is required; a
    // missing or null one of those reads as absent or off, and unknown keys are ignored. Throws
    // SettingsDecodingError.
    static AudioExtractionSettings fromJson(const QJsonValue &json);

    bool operator==(const AudioExtractionSettings &) const = default;
};

// --- Resolving the settings against one source, for one extraction ---

inline constexpr double lowestLoudnessTarget = -30.0;
inline constexpr double highestLoudnessTarget = -5.0;
// The target offered first: what streaming players and podcast apps play at.
inline constexpr double suggestedLoudnessTarget = -16.0;

// The target clamped into [lowestLoudnessTarget, highestLoudnessTarget]; nothing when off or
// not a finite number.
std::optional<double> resolveLoudnessTarget(const std::optional<double> &target);

inline constexpr double fallbackSourceSampleRate = 44100.0;
inline constexpr quint32 fallbackSourceChannelCount = 2;

// Rate and channel count of the selected track, with the fallbacks already applied.
struct SourceAudioFormat {
    double sampleRate = fallbackSourceSampleRate;
    quint32 channelCount = fallbackSourceChannelCount;

    bool operator==(const SourceAudioFormat &) const = default;
};

// From the track's first format description: pass nothing for either value the description
// does not give (both when the track has none). A rate that is not a finite number above 0
// becomes 44100 and a channel count of 0 becomes 2.
SourceAudioFormat resolveSourceAudioFormat(std::optional<double> sampleRate,
                                           std::optional<quint32> channelCount);

// Fixed options give their rate; auto_ drops the fraction of the source rate (44100.9 gives
// 44100). A source rate that is not finite and above 0 counts as 44100, one beyond int's range
// as the largest int.
int resolveOutputSampleRate(SampleRateOption option, double sourceSampleRate);

// The constant bitrate an MP3 at outputSampleRate really carries for option: below 32 kHz
// (MPEG-2 and 2.5) a frame holds at most 160 kbit/s, so 320k and 256k become 160. VBR options
// give their nominal kbps(), as the encoder ignores it.
int writtenBitrateKbps(BitrateOption option, int outputSampleRate);
// option.shortName() with the bitrate really written: "160k" for 320k at 24 kHz.
QString writtenBitrateName(BitrateOption option, int outputSampleRate);

// stereo gives 2, mono 1; auto_ keeps a mono source mono and makes every other count stereo.
int resolveOutputChannelCount(AudioChannelOption option, quint32 sourceChannelCount);

// The index clamped into [0, trackCount - 1]; nothing when there is no track to pick
// (trackCount of 0 or less).
std::optional<qint64> resolveTrackIndex(qint64 selectedTrackIndex, qint64 trackCount);

// A media time range in units of 1/600 second, as the media reader takes it.
struct MediaTimeRange {
    static constexpr qint32 timescale = 600;

    qint64 start = 0;
    qint64 duration = 0;

    // Seconds to units rounded to the nearest unit (halves away from zero), saturating at
    // qint64's limits; NaN gives 0.
    static qint64 unitsFromSeconds(double seconds) noexcept;
    static MediaTimeRange fromSeconds(double startSeconds, double durationSeconds) noexcept;

    double startSeconds() const noexcept { return double(start) / timescale; }
    double durationSeconds() const noexcept { return double(duration) / timescale; }

    bool operator==(const MediaTimeRange &) const = default;
};

// The shortest range that is ever read, in seconds.
inline constexpr double minimumTrimLengthSeconds = 0.1;

struct TrimRange {
    double startSeconds = 0.0;
    // The trim end limited to the source duration.
    double endSeconds = 0.0;
    // end - start, but never below minimumTrimLengthSeconds; the length fades are placed in.
    double lengthSeconds = minimumTrimLengthSeconds;
    // Set when the reader must be limited: from the start for lengthSeconds.
    std::optional<MediaTimeRange> readerRange;

    bool operator==(const TrimRange &) const = default;
};

// The trim settings resolved against the source duration in seconds. An absent or negative
// start counts as 0, an absent end or one beyond the duration as the duration; the reader is
// limited when the start is above 0 or the end below the duration. The engine rejects bad
// durations before this; here a trim that is not finite counts as absent and a duration that
// is not finite or is negative counts as 0, so every result stays finite.
TrimRange resolveTrimRange(const AudioExtractionSettings &settings, double sourceDuration);

} // namespace tonbrook

template <> struct std::hash<tonbrook::BitrateOption> {
    size_t operator()(tonbrook::BitrateOption option) const noexcept
    {
        return tonbrook::qHash(option);
    }
};

template <> struct std::hash<tonbrook::SampleRateOption> {
    size_t operator()(tonbrook::SampleRateOption option) const noexcept
    {
        return tonbrook::qHash(option);
    }
};

template <> struct std::hash<tonbrook::AudioChannelOption> {
    size_t operator()(tonbrook::AudioChannelOption option) const noexcept
    {
        return tonbrook::qHash(option);
    }
};
