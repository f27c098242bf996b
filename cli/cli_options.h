#pragma once

#include "model/extraction_settings.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

namespace tonbrook::cli {

// Tags that replace the inspected ones in every job; absent leaves the inspected tag.
struct TagOverrides {
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> year;
    std::optional<QString> genre;
    std::optional<QString> comment;
};

// This run's part of the inputs when several runs share them: index from 1 to count.
struct Shard {
    int index = 1;
    int count = 1;

    bool operator==(const Shard &) const = default;
};

struct CliOptions {
    // As given; relative paths are taken from the working directory.
    QStringList inputs;
    // Absolute; absent means next to each source.
    std::optional<QString> outputDir;
    AudioExtractionSettings settings;
    TagOverrides tags;
    int jobs = 2;
    // Encoder threads all conversions share; none (--threads auto or no option) means one per
    // hardware thread.
    std::optional<int> threads;
    // Absent: every input. Present: only the files whose zero-based position i in the whole
    // set satisfies i mod count == index - 1, named as if one run converted them all.
    std::optional<Shard> shard;
    // Replace files at the outputs that Tonbrook did not write, rather than number past them.
    bool overwrite = false;
    bool inspectOnly = false;
    bool json = false;
    bool quiet = false;
};

struct ParsedCommandLine {
    enum class Action { run, help, version, usageError };

    Action action = Action::run;
    CliOptions options;
    // The help or version text, or the one-line usage error.
    QString text;
};

inline constexpr int minimumJobs = 1;
inline constexpr int maximumJobs = 64;
inline constexpr int minimumThreads = 1;
inline constexpr int maximumThreads = 64;
inline constexpr int maximumShards = 1000000;
// Beyond this the gain overflows single precision and the samples stop being numbers.
inline constexpr double maximumGainDb = 60.0;
// Larger values overflow the frame counts they become.
inline constexpr double maximumSeconds = 1.0e6;

// Parses the arguments (arguments[0] is the program). Does not touch the file system; the
// environment is read only for --shard auto (a Slurm job array or a Kubernetes indexed job).
ParsedCommandLine
parseCommandLine(const QStringList &arguments,
                 const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

} // namespace tonbrook::cli
