#include "cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace tonbrook::cli {

namespace {

// "320", "256", "192", "128", "v0", "v2": the bitrate options in declaration order.
QString bitrateWord(BitrateOption option)
{
    return option.vbrQuality() >= 0 ? QStringLiteral("v%1").arg(option.vbrQuality())
                                    : QString::number(option.kbps());
}

QString sampleRateWord(SampleRateOption option)
{
    return option == SampleRateOption::auto_ ? QStringLiteral("auto")
                                             : QString::number(option.rawValue());
}

QString channelWord(AudioChannelOption option)
{
    switch (option.caseValue()) {
    case AudioChannelOption::Case::auto_:
        break;
    case AudioChannelOption::Case::stereo:
        return QStringLiteral("stereo");
    case AudioChannelOption::Case::mono:
        return QStringLiteral("mono");
    }
    return QStringLiteral("auto");
}

template <typename Option, size_t N>
std::optional<Option> pick(const std::array<Option, N> &cases, QString (*word)(Option),
                           const QString &value)
{
    for (const Option option : cases) {
        if (word(option).compare(value.trimmed(), Qt::CaseInsensitive) == 0)
            return option;
    }
    return std::nullopt;
}

template <typename Option, size_t N>
QString choices(const std::array<Option, N> &cases, QString (*word)(Option))
{
    QStringList words;
    for (const Option option : cases)
        words << word(option);
    return words.join(QStringLiteral(", "));
}

// Thrown inside the parser and turned into the one-line usage error.
struct UsageError {
    QString text;
};

class OptionReader {
public:
    explicit OptionReader(const QCommandLineParser &parser) : m_parser(parser) {}

    std::optional<QString> text(const QCommandLineOption &option) const
    {
        if (!m_parser.isSet(option))
            return std::nullopt;
        return m_parser.value(option);
    }

    // A finite number within [low, high].
    std::optional<double> number(const QCommandLineOption &option, double low, double high,
                                 const QString &unit) const
    {
        const auto value = text(option);
        if (!value)
            return std::nullopt;
        bool ok = false;
        const double number = value->trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(number) || number < low || number > high)
            throw UsageError{
                QCoreApplication::translate(
                    "CliOptions", "invalid value '%1' for --%2: expected %3 from %4 to %5")
                    .arg(*value, option.names().constLast(), unit, QString::number(low),
                         QString::number(high))};
        return number;
    }

    std::optional<qint64> integer(const QCommandLineOption &option, qint64 low, qint64 high) const
    {
        const auto value = text(option);
        if (!value)
            return std::nullopt;
        bool ok = false;
        const qint64 number = value->trimmed().toLongLong(&ok);
        if (!ok || number < low || number > high)
            throw UsageError{
                QCoreApplication::translate(
                    "CliOptions",
                    "invalid value '%1' for --%2: expected a whole number from %3 to %4")
                    .arg(*value, option.names().constLast(), QString::number(low),
                         QString::number(high))};
        return number;
    }

    template <typename Option, size_t N>
    std::optional<Option> choice(const QCommandLineOption &option,
                                 const std::array<Option, N> &cases, QString (*word)(Option)) const
    {
        const auto value = text(option);
        if (!value)
            return std::nullopt;
        const auto picked = pick(cases, word, *value);
        if (!picked)
            throw UsageError{QCoreApplication::translate(
                                 "CliOptions", "invalid value '%1' for --%2: expected one of %3")
                                 .arg(*value, option.names().constLast(), choices(cases, word))};
        return picked;
    }

private:
    const QCommandLineParser &m_parser;
};

} // namespace

namespace {

// A whole number from low to high, or none.
std::optional<qint64> wholeNumber(const QString &text, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

// --shard auto: the index and count of a Slurm job array task (its IDs need not start at 1,
// and may step) or of a Kubernetes indexed job's pod (zero-based; the count is not in its
// environment).
Shard shardFromEnvironment(const QProcessEnvironment &environment, std::optional<qint64> givenCount)
{
    const auto variable = [&](const char *name) {
        return environment.value(QLatin1String(name));
    };
    const auto number = [&](const char *name, qint64 low) {
        const auto value = wholeNumber(variable(name), low, std::numeric_limits<int>::max());
        if (!value)
            throw UsageError{QCoreApplication::translate(
                                 "CliOptions", "--shard auto: %1 is '%2', not a whole number of at "
                                               "least %3")
                                 .arg(QLatin1String(name), variable(name))
                                 .arg(low)};
        return *value;
    };
    const auto check = [](qint64 index, qint64 count, const QString &from) {
        if (count > maximumShards)
            throw UsageError{QCoreApplication::translate(
                                 "CliOptions", "--shard auto: %1 parts are more than %2 (%3)")
                                 .arg(count)
                                 .arg(maximumShards)
                                 .arg(from)};
        if (index < 1 || index > count)
            throw UsageError{QCoreApplication::translate(
                                 "CliOptions", "--shard auto: part %1 is not one of 1 to %2 (%3)")
                                 .arg(index)
                                 .arg(count)
                                 .arg(from)};
        return Shard{int(index), int(count)};
    };

    if (!variable("SLURM_ARRAY_TASK_ID").isEmpty()) {
        const qint64 id = number("SLURM_ARRAY_TASK_ID", 0);
        const qint64 first = number("SLURM_ARRAY_TASK_MIN", 0);
        const qint64 count = number("SLURM_ARRAY_TASK_COUNT", 1);
        const qint64 step =
            variable("SLURM_ARRAY_TASK_STEP").isEmpty() ? 1 : number("SLURM_ARRAY_TASK_STEP", 1);
        const QString from = QStringLiteral("SLURM_ARRAY_TASK_ID=%1, SLURM_ARRAY_TASK_MIN=%2, "
                                            "SLURM_ARRAY_TASK_STEP=%3, SLURM_ARRAY_TASK_COUNT=%4")
                                 .arg(id)
                                 .arg(first)
                                 .arg(step)
                                 .arg(count);
        if (givenCount && *givenCount != count)
            throw UsageError{QCoreApplication::translate("CliOptions",
                                                         "--shard-count %1 disagrees with "
                                                         "SLURM_ARRAY_TASK_COUNT=%2")
                                 .arg(*givenCount)
                                 .arg(count)};
        // Only one evenly stepped range numbers its tasks 1 to N. Slurm gives a list
        // (--array=1,3,8) a step of 1, so its last task shows where the tasks are not a range;
        // taking them as one would leave some parts unconverted.
        const bool oneRange = (id - first) % step == 0 &&
                              (variable("SLURM_ARRAY_TASK_MAX").isEmpty() ||
                               number("SLURM_ARRAY_TASK_MAX", 0) == first + (count - 1) * step);
        if (!oneRange)
            throw UsageError{
                QCoreApplication::translate("CliOptions",
                                            "--shard auto: the job array is not one evenly "
                                            "stepped range (%1, SLURM_ARRAY_TASK_MAX=%2); submit "
                                            "it as one range such as --array=1-%3, or give "
                                            "--shard K/N")
                    .arg(from, variable("SLURM_ARRAY_TASK_MAX"))
                    .arg(count)};
        return check((id - first) / step + 1, count, from);
    }
    if (!variable("JOB_COMPLETION_INDEX").isEmpty()) {
        const qint64 index = number("JOB_COMPLETION_INDEX", 0);
        qint64 count = 0;
        if (givenCount)
            count = *givenCount;
        else if (!variable("TONBROOK_SHARD_COUNT").isEmpty())
            count = number("TONBROOK_SHARD_COUNT", 1);
        else
            throw UsageError{QCoreApplication::translate(
                "CliOptions", "--shard auto: JOB_COMPLETION_INDEX is set but not "
                              "the number of parts: give --shard-count or set "
                              "TONBROOK_SHARD_COUNT")};
        return check(index + 1, count,
                     QStringLiteral("JOB_COMPLETION_INDEX=%1 of %2").arg(index).arg(count));
    }
    throw UsageError{QCoreApplication::translate(
        "CliOptions", "--shard auto: no Slurm job array (SLURM_ARRAY_TASK_ID) and "
                      "no Kubernetes indexed job (JOB_COMPLETION_INDEX) in the "
                      "environment; give --shard K/N instead")};
}

// "K/N" with 1 <= K <= N, or "auto".
std::optional<Shard> readShard(const std::optional<QString> &value,
                               std::optional<qint64> givenCount,
                               const QProcessEnvironment &environment)
{
    if (!value) {
        if (givenCount)
            throw UsageError{QCoreApplication::translate(
                "CliOptions", "--shard-count is only read with --shard auto")};
        return std::nullopt;
    }
    if (value->trimmed().compare(u"auto", Qt::CaseInsensitive) == 0)
        return shardFromEnvironment(environment, givenCount);
    if (givenCount)
        throw UsageError{QCoreApplication::translate(
            "CliOptions", "--shard-count is only read with --shard auto")};
    const QStringList parts = value->split(u'/');
    const auto count = parts.size() == 2 ? wholeNumber(parts[1], 1, maximumShards) : std::nullopt;
    const auto index = count ? wholeNumber(parts[0], 1, *count) : std::nullopt;
    if (!index)
        throw UsageError{QCoreApplication::translate(
                             "CliOptions", "invalid value '%1' for --shard: expected K/N, part K "
                                           "of N with 1 <= K <= N <= %2, or auto")
                             .arg(*value)
                             .arg(maximumShards)};
    return Shard{int(*index), int(*count)};
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments,
                                   const QProcessEnvironment &environment)
{
    const QString seconds = QCoreApplication::translate("CliOptions", "seconds");
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "CliOptions", "Extracts the audio of video files into MP3 files.\n"
                      "Every file and every video file found in a folder (recursively, hidden "
                      "items skipped) becomes one conversion.\n"
                      "Exit status: 0 all converted, 1 some failed, 2 usage error or nothing to "
                      "convert, 130 interrupted."));

    const QCommandLineOption outputDir(
        {"o", "output-dir"},
        QCoreApplication::translate("CliOptions",
                                    "Write every MP3 into <dir> (created when missing) instead "
                                    "of next to its source."),
        "dir");
    const QCommandLineOption bitrate(
        {"b", "bitrate"},
        QCoreApplication::translate("CliOptions", "Bitrate: %1 (default 320).")
            .arg(choices(BitrateOption::allCases(), bitrateWord)),
        "opt");
    const QCommandLineOption sampleRate(
        {"r", "sample-rate"},
        QCoreApplication::translate("CliOptions", "Sample rate: %1 (default auto).")
            .arg(choices(SampleRateOption::allCases(), sampleRateWord)),
        "opt");
    const QCommandLineOption channels(
        {"c", "channels"},
        QCoreApplication::translate("CliOptions", "Channels: %1 (default auto).")
            .arg(choices(AudioChannelOption::allCases(), channelWord)),
        "opt");
    const QCommandLineOption normalize(
        {"n", "normalize"}, QCoreApplication::translate("CliOptions", "Normalise the peak level."));
    const QCommandLineOption gain(
        {"g", "gain"},
        QCoreApplication::translate("CliOptions", "Volume gain in decibels (default 0)."), "dB");
    const QCommandLineOption loudness(
        "loudness",
        QCoreApplication::translate(
            "CliOptions",
            "Normalise the loudness (EBU R128) to <LUFS>, from %1 to %2; %3 suits most "
            "players. Takes the place of --normalize. The true peak stays under -1 "
            "dBTP, so a loud target may be missed unless --limiter is given.")
            .arg(lowestLoudnessTarget)
            .arg(highestLoudnessTarget)
            .arg(suggestedLoudnessTarget),
        "LUFS");
    const QCommandLineOption limiter(
        "limiter",
        QCoreApplication::translate(
            "CliOptions",
            "With --loudness: hold the true peak under -1 dBTP with a limiter, so that a "
            "loud target is met."));
    const QCommandLineOption replayGain(
        "replaygain",
        QCoreApplication::translate(
            "CliOptions",
            "Measure the loudness for ReplayGain tags also without --loudness (with it, "
            "they are written anyway)."));
    const QCommandLineOption start(
        "start", QCoreApplication::translate("CliOptions", "Start at <s> seconds into the source."),
        "s");
    const QCommandLineOption end(
        "end", QCoreApplication::translate("CliOptions", "End at <s> seconds into the source."),
        "s");
    const QCommandLineOption fadeIn(
        "fade-in", QCoreApplication::translate("CliOptions", "Fade in over <s> seconds."), "s");
    const QCommandLineOption fadeOut(
        "fade-out", QCoreApplication::translate("CliOptions", "Fade out over <s> seconds."), "s");
    const QCommandLineOption noCoverArt(
        "no-cover-art", QCoreApplication::translate("CliOptions", "Do not embed cover art."));
    const QCommandLineOption track(
        {"t", "track"},
        QCoreApplication::translate("CliOptions", "Zero-based audio track (default 0)."), "n");
    const QCommandLineOption title(
        "title", QCoreApplication::translate("CliOptions", "Title tag for every file."), "text");
    const QCommandLineOption artist(
        "artist", QCoreApplication::translate("CliOptions", "Artist tag for every file."), "text");
    const QCommandLineOption album(
        "album", QCoreApplication::translate("CliOptions", "Album tag for every file."), "text");
    const QCommandLineOption year(
        "year", QCoreApplication::translate("CliOptions", "Year tag for every file."), "text");
    const QCommandLineOption genre(
        "genre", QCoreApplication::translate("CliOptions", "Genre tag for every file."), "text");
    const QCommandLineOption comment(
        "comment", QCoreApplication::translate("CliOptions", "Comment tag for every file."),
        "text");
    const QCommandLineOption jobs(
        {"j", "jobs"},
        QCoreApplication::translate("CliOptions", "Concurrent conversions, %1 to %2 (default 2).")
            .arg(minimumJobs)
            .arg(maximumJobs),
        "n");
    const QCommandLineOption threads(
        "threads",
        QCoreApplication::translate(
            "CliOptions", "Encoder threads all conversions share: auto (default, one per hardware "
                          "thread) or %1 to %2; a long file is encoded on several at once.")
            .arg(minimumThreads)
            .arg(maximumThreads),
        "n");
    const QCommandLineOption shard(
        "shard",
        QCoreApplication::translate(
            "CliOptions",
            "Convert only part K of N (1 <= K <= N) of the files: the file at zero-based position "
            "i "
            "of the whole set, in the order they are taken, belongs to part (i mod N) + 1. Outputs "
            "are named over the whole set, so N runs write what one run would. 'auto' reads the "
            "part from a Slurm job array or a Kubernetes indexed job."),
        "K/N|auto");
    const QCommandLineOption shardCount(
        "shard-count",
        QCoreApplication::translate(
            "CliOptions",
            "With --shard auto in a Kubernetes indexed job: the number of parts (else read from "
            "TONBROOK_SHARD_COUNT)."),
        "n");
    const QCommandLineOption overwrite(
        "overwrite",
        QCoreApplication::translate(
            "CliOptions",
            "Replace a file at an output that Tonbrook did not write (by default it stays, and the "
            "MP3 is numbered past it: 'name (2).mp3')."));
    const QCommandLineOption inspect(
        "inspect",
        QCoreApplication::translate(
            "CliOptions",
            "Only inspect: print one JSON array describing the files, convert nothing."));
    const QCommandLineOption json(
        "json", QCoreApplication::translate("CliOptions",
                                            "Print one JSON object per line for each event."));
    const QCommandLineOption quiet(
        {"q", "quiet"}, QCoreApplication::translate(
                            "CliOptions", "Print only failures and the final summary line."));
    parser.addOptions({outputDir,  bitrate,    sampleRate, channels, normalize, gain,
                       loudness,   limiter,    replayGain, start,    end,       fadeIn,
                       fadeOut,    noCoverArt, track,      title,    artist,    album,
                       year,       genre,      comment,    jobs,     threads,   shard,
                       shardCount, overwrite,  inspect,    json,     quiet});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        "files", QCoreApplication::translate("CliOptions", "Video files or folders."),
        QCoreApplication::translate("CliOptions", "<file or folder>..."));

    ParsedCommandLine result;
    if (!parser.parse(arguments)) {
        result.action = ParsedCommandLine::Action::usageError;
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::version;
        result.text = QCoreApplication::applicationName() + u' ' +
                      QCoreApplication::applicationVersion() + u'\n';
        return result;
    }

    CliOptions &options = result.options;
    try {
        const OptionReader read(parser);
        AudioExtractionSettings &settings = options.settings;
        if (const auto value = read.choice(bitrate, BitrateOption::allCases(), bitrateWord))
            settings.bitrate = *value;
        if (const auto value =
                read.choice(sampleRate, SampleRateOption::allCases(), sampleRateWord))
            settings.sampleRate = *value;
        if (const auto value = read.choice(channels, AudioChannelOption::allCases(), channelWord))
            settings.channels = *value;
        settings.normalizePeak = parser.isSet(normalize);
        settings.volumeGainDb = read.number(gain, -maximumGainDb, maximumGainDb,
                                            QCoreApplication::translate("CliOptions", "decibels"))
                                    .value_or(0.0);
        settings.loudnessTarget =
            read.number(loudness, lowestLoudnessTarget, highestLoudnessTarget, "LUFS");
        settings.loudnessLimiter = parser.isSet(limiter);
        if (settings.loudnessLimiter && !settings.loudnessTarget)
            throw UsageError{
                QCoreApplication::translate("CliOptions", "--limiter needs --loudness")};
        settings.writeReplayGain = parser.isSet(replayGain);
        settings.trimStartSeconds = read.number(start, 0.0, maximumSeconds, seconds);
        settings.trimEndSeconds = read.number(end, 0.0, maximumSeconds, seconds);
        settings.fadeInDuration = read.number(fadeIn, 0.0, maximumSeconds, seconds).value_or(0.0);
        settings.fadeOutDuration = read.number(fadeOut, 0.0, maximumSeconds, seconds).value_or(0.0);
        settings.embedCoverArt = !parser.isSet(noCoverArt);
        settings.selectedTrackIndex = read.integer(track, 0, 1 << 20).value_or(0);
        if (settings.trimStartSeconds && settings.trimEndSeconds &&
            *settings.trimEndSeconds <= *settings.trimStartSeconds)
            throw UsageError{
                QCoreApplication::translate("CliOptions",
                                            "invalid value '%1' for --end: must be after --start")
                    .arg(parser.value(end))};

        options.tags = {read.text(title), read.text(artist), read.text(album),
                        read.text(year),  read.text(genre),  read.text(comment)};
        options.jobs = int(read.integer(jobs, minimumJobs, maximumJobs).value_or(2));
        if (const auto value = read.text(threads);
            value && value->trimmed().compare(u"auto", Qt::CaseInsensitive) != 0) {
            bool ok = false;
            const int number = value->trimmed().toInt(&ok);
            if (!ok || number < minimumThreads || number > maximumThreads)
                throw UsageError{
                    QCoreApplication::translate("CliOptions",
                                                "invalid value '%1' for --threads: expected auto "
                                                "or a whole number from %2 to %3")
                        .arg(*value, QString::number(minimumThreads),
                             QString::number(maximumThreads))};
            options.threads = number;
        }
        options.shard =
            readShard(read.text(shard), read.integer(shardCount, 1, maximumShards), environment);
        if (const auto dir = read.text(outputDir)) {
            if (dir->isEmpty())
                throw UsageError{QCoreApplication::translate(
                    "CliOptions", "invalid value '' for --output-dir: expected a folder")};
            options.outputDir = QDir::cleanPath(QFileInfo(*dir).absoluteFilePath());
        }
    } catch (const UsageError &error) {
        result.action = ParsedCommandLine::Action::usageError;
        result.text = error.text;
        return result;
    }
    options.overwrite = parser.isSet(overwrite);
    options.inspectOnly = parser.isSet(inspect);
    options.json = parser.isSet(json);
    options.quiet = parser.isSet(quiet);
    options.inputs = parser.positionalArguments();
    if (options.inputs.isEmpty()) {
        result.action = ParsedCommandLine::Action::usageError;
        result.text = QCoreApplication::translate("CliOptions", "no files or folders given");
    }
    return result;
}

} // namespace tonbrook::cli
