// libFuzzer target: mutated media bytes through inspection and a short extraction, both over
// a temporary file, as a dropped file would go; and through the check of a file found at an
// output path for Tonbrook's mark.
#include "engine/audio_extraction_engine.h"
#include "model/media_records.h"
#include "model/output_mark.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stop_token>

using namespace tonbrook;

namespace {

QTemporaryDir &workDir()
{
    static QTemporaryDir dir(QDir::tempPath() + "/tonbrook-fuzz-XXXXXX");
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString source = workDir().filePath("input.mp4");
    const QString output = workDir().filePath("output.mp3");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    (void)readSourceMark(source);
    try {
        (void)VideoFileInfo::inspect(QUrl::fromLocalFile(source));
    } catch (const std::exception &) {
    }
    // The first half second only, so a hostile duration cannot turn one input into minutes.
    AudioExtractionSettings settings;
    settings.bitrate = BitrateOption::cbr128;
    settings.trimEndSeconds = 0.5;
    try {
        AudioExtractionEngine::run(source, output, settings, std::nullopt, {}, std::stop_token());
    } catch (const std::exception &) {
    }
    QFile::remove(output);
    return 0;
}
