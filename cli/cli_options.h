#pragma once

#include "model/extraction_settings.h"

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
// Beyond this the gain overflows single precision and the samples stop being numbers.
inline constexpr double maximumGainDb = 60.0;
// Larger values overflow the frame counts they become.
inline constexpr double maximumSeconds = 1.0e6;

// Parses the arguments (arguments[0] is the program). Does not touch the file system.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

} // namespace tonbrook::cli
