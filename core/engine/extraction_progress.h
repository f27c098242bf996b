#pragma once

#include "model/translatable_text.h"

#include <QString>

#include <exception>
#include <stdexcept>
#include <string>

namespace tonbrook {

// One progress report of an extraction; a plain value, safe to pass between threads.
struct ExtractionProgress {
    // Share of the selected range encoded so far, 0.0 to 1.0.
    double fractionCompleted = 0.0;
    // Audio encoded so far, as playing time in seconds.
    double processedDuration = 0.0;
    // Playing time of the selected range in seconds (never below 0.1).
    double totalDuration = 0.0;
    // Seconds of audio encoded per wall-clock second.
    double speedMultiplier = 0.0;
    // Wall-clock seconds still expected; 0 when unknown and at the end.
    double estimatedRemainingTime = 0.0;
    // True only in the single final report.
    bool isComplete = false;
    // In the final report: what the user should know about the result, in a sentence; empty
    // when nothing. For example, that loudness normalisation stopped short of its target.
    TranslatableText note;

    // "12.3x"
    QString formattedSpeed() const;
    // "2m 05s remaining", "59s remaining", or "Finishing..." when no time is left or known.
    // Always English: machine-readable output carries it.
    QString formattedETA() const;
    // The same in the user's language, for people to read.
    QString localizedETA() const;

    // A report during the extraction: framesWritten frames at sampleRate, elapsedSeconds since
    // the encoding started.
    static ExtractionProgress report(qint64 framesWritten, int sampleRate, double totalDuration,
                                     double elapsedSeconds);
    // The final report.
    static ExtractionProgress finalReport(qint64 framesWritten, int sampleRate,
                                          double totalDuration, double elapsedSeconds);

    bool operator==(const ExtractionProgress &) const = default;
};

// The engine's own failures; what() is the user-facing description, in English.
class AudioExtractionError : public std::runtime_error {
public:
    enum class Kind {
        assetLoadingFailed,
        readerInitializationFailed,
        readerFailed,
        noAudioTrackFound,
        outputDirectoryCreationFailed,
        cancelled,
    };

    static AudioExtractionError assetLoadingFailed(const TranslatableText &text);
    static AudioExtractionError readerInitializationFailed(const TranslatableText &text);
    static AudioExtractionError readerFailed(const TranslatableText &text);
    // The same with a text that reads alike in every language.
    static AudioExtractionError assetLoadingFailed(const QString &text);
    static AudioExtractionError readerInitializationFailed(const QString &text);
    static AudioExtractionError readerFailed(const QString &text);
    static AudioExtractionError noAudioTrackFound();
    static AudioExtractionError outputDirectoryCreationFailed();
    static AudioExtractionError cancelled();

    Kind kind() const noexcept { return m_kind; }
    // The payload of the first three kinds, in English; empty for the others.
    QString text() const { return m_text.english(); }
    QString errorDescription() const { return QString::fromUtf8(what()); }
    // The description to be put together in English or in the user's language.
    const TranslatableText &description() const noexcept { return m_description; }

    friend bool operator==(const AudioExtractionError &a, const AudioExtractionError &b)
    {
        return a.m_kind == b.m_kind && a.m_text == b.m_text;
    }

private:
    AudioExtractionError(Kind kind, const TranslatableText &text,
                         const TranslatableText &description);

    Kind m_kind;
    TranslatableText m_text;
    TranslatableText m_description;
};

// What a failure of an extraction or an inspection says, in English (what() of the exception)
// or in the user's language: the engine's, the media reader's, the encoder's and the cover art
// cache's failures are translated; any other exception's text is kept as it is.
TranslatableText failureText(std::exception_ptr failure);

// systemErrorSentence(error): in English, or in the user's language by the C library's own
// translation ("The disk is full." by Tonbrook's). Empty for 0.
TranslatableText systemErrorText(int error);

} // namespace tonbrook
