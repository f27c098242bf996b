#pragma once

#include "engine/extraction_progress.h"
#include "model/extraction_settings.h"
#include "model/media_records.h"

#include <QString>

#include <algorithm>
#include <exception>
#include <functional>
#include <future>
#include <optional>
#include <stop_token>
#include <thread>

namespace tonbrook {

// Turns one audio track of one media file into one finished MP3 file. One engine per
// extraction: extractAudio starts the work on the engine's own worker thread and returns at
// once; the future reports the end (rethrowing the failure), cancel() stops it at the next
// sample buffer. Destroying the engine cancels a running extraction and waits for it.
class AudioExtractionEngine {
public:
    using ProgressCallback = std::function<void(const ExtractionProgress &)>;
    // Called once on the worker thread when the extraction has ended; null on success.
    using CompletionCallback = std::function<void(std::exception_ptr)>;

    AudioExtractionEngine() = default;
    ~AudioExtractionEngine();

    AudioExtractionEngine(const AudioExtractionEngine &) = delete;
    AudioExtractionEngine &operator=(const AudioExtractionEngine &) = delete;

    // Starts the extraction; call once per engine. Failures are AudioExtractionError,
    // MP3EncoderError, or the reader's MediaReaderError from loading the source.
    // onProgress is called on the worker thread. On success the file at `to` is replaced (unless
    // it is one Tonbrook did not write and setKeepsForeignFiles is on: see writtenPath); on
    // failure or cancellation it is left exactly as it was.
    std::shared_future<void> extractAudio(const QString &from, const QString &to,
                                          const AudioExtractionSettings &settings,
                                          const std::optional<MediaMetadata> &metadata,
                                          ProgressCallback onProgress = {},
                                          CompletionCallback onFinished = {});

    // Asks the running extraction to stop; it ends with AudioExtractionError::cancelled.
    void cancel();

    // Encoder threads the next extraction may use (1 by default). With more than one, an
    // extraction of at least 30 s at 32, 44.1 or 48 kHz is decoded once and encoded in that
    // many segments at once; the MP3 decodes to the same samples as with one.
    void setEncoderThreads(int threads) { m_encoderThreads = std::max(1, threads); }
    int encoderThreads() const { return m_encoderThreads; }

    // Whether the next extraction leaves a file at `to` that Tonbrook did not write (one
    // without the source mark, see model/output_mark.h) and writes "name (2).mp3" beside it
    // instead; false replaces whatever is there.
    void setKeepsForeignFiles(bool keep) { m_keepForeignFiles = keep; }
    bool keepsForeignFiles() const { return m_keepForeignFiles; }

    // The file the extraction wrote once it has completed (read it in the completion callback
    // or after the future is ready); empty before.
    const QString &writtenPath() const { return m_writtenPath; }

    // The extraction itself, on the calling thread, checking stop once per sample buffer.
    // writtenPath, when given, receives the file written (see setKeepsForeignFiles).
    static void run(const QString &from, const QString &to, const AudioExtractionSettings &settings,
                    const std::optional<MediaMetadata> &metadata,
                    const ProgressCallback &onProgress, std::stop_token stop,
                    int encoderThreads = 1, bool keepForeignFiles = false,
                    QString *writtenPath = nullptr);

private:
    int m_encoderThreads = 1;
    bool m_keepForeignFiles = false;
    QString m_writtenPath;
    std::jthread m_worker; // last: joined before the members it writes go
};

} // namespace tonbrook
