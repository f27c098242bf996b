#include "engine/extraction_progress.h"

#include "encoder/mp3_encoder.h"
#include "model/cover_art.h"
#include "model/media_reader.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace tonbrook {

QString ExtractionProgress::formattedSpeed() const
{
    return QString::asprintf("%.1fx", speedMultiplier);
}

namespace {

QString describeETA(double t, bool translated)
{
    const auto text = [translated](const char *source) {
        return translated ? QCoreApplication::translate("ExtractionProgress", source)
                          : QString::fromLatin1(source);
    };
    // Beyond what a 64-bit count of seconds holds; never produced by the engine.
    if (!std::isfinite(t) || t <= 0.0 || t >= 9.2e18)
        return text(QT_TRANSLATE_NOOP("ExtractionProgress", "Finishing..."));
    const auto s = static_cast<qint64>(t);
    if (s > 59)
        return text(QT_TRANSLATE_NOOP("ExtractionProgress", "%1m %2s remaining"))
            .arg(s / 60)
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return text(QT_TRANSLATE_NOOP("ExtractionProgress", "%1s remaining")).arg(s);
}

} // namespace

QString ExtractionProgress::formattedETA() const
{
    return describeETA(estimatedRemainingTime, false);
}

QString ExtractionProgress::localizedETA() const
{
    return describeETA(estimatedRemainingTime, true);
}

ExtractionProgress ExtractionProgress::report(qint64 framesWritten, int sampleRate,
                                              double totalDuration, double elapsedSeconds)
{
    ExtractionProgress p;
    p.totalDuration = totalDuration;
    p.processedDuration = double(framesWritten) / sampleRate;
    p.fractionCompleted = std::clamp(p.processedDuration / totalDuration, 0.0, 1.0);
    p.speedMultiplier = p.processedDuration / std::max(elapsedSeconds, 0.001);
    const double left = std::max(totalDuration - p.processedDuration, 0.0);
    p.estimatedRemainingTime = p.speedMultiplier > 0.0 ? left / p.speedMultiplier : 0.0;
    p.isComplete = false;
    return p;
}

ExtractionProgress ExtractionProgress::finalReport(qint64 framesWritten, int sampleRate,
                                                   double totalDuration, double elapsedSeconds)
{
    ExtractionProgress p;
    p.fractionCompleted = 1.0;
    p.processedDuration = totalDuration;
    p.totalDuration = totalDuration;
    p.speedMultiplier = (double(framesWritten) / sampleRate) / std::max(elapsedSeconds, 0.001);
    p.estimatedRemainingTime = 0.0;
    p.isComplete = true;
    return p;
}

namespace {

TranslatableText engineText(const char *source,
                            std::initializer_list<TranslatableText> arguments = {})
{
    return TranslatableText("AudioExtractionError", source, arguments);
}

TranslatableText encoderText(const char *source,
                             std::initializer_list<TranslatableText> arguments = {})
{
    return TranslatableText("MP3EncoderError", source, arguments);
}

} // namespace

AudioExtractionError::AudioExtractionError(Kind kind, const TranslatableText &text,
                                           const TranslatableText &description)
    : std::runtime_error(description.english().toStdString()), m_kind(kind), m_text(text),
      m_description(description)
{
}

AudioExtractionError AudioExtractionError::assetLoadingFailed(const TranslatableText &text)
{
    return {Kind::assetLoadingFailed, text,
            engineText(QT_TRANSLATE_NOOP("AudioExtractionError", "Failed to open video file: %1"),
                       {text})};
}

AudioExtractionError AudioExtractionError::readerInitializationFailed(const TranslatableText &text)
{
    return {Kind::readerInitializationFailed, text,
            engineText(
                QT_TRANSLATE_NOOP("AudioExtractionError", "Could not initialize audio reader: %1"),
                {text})};
}

AudioExtractionError AudioExtractionError::readerFailed(const TranslatableText &text)
{
    return {
        Kind::readerFailed, text,
        engineText(QT_TRANSLATE_NOOP("AudioExtractionError", "Audio decoding error: %1"), {text})};
}

AudioExtractionError AudioExtractionError::assetLoadingFailed(const QString &text)
{
    return assetLoadingFailed(TranslatableText::verbatim(text));
}

AudioExtractionError AudioExtractionError::readerInitializationFailed(const QString &text)
{
    return readerInitializationFailed(TranslatableText::verbatim(text));
}

AudioExtractionError AudioExtractionError::readerFailed(const QString &text)
{
    return readerFailed(TranslatableText::verbatim(text));
}

AudioExtractionError AudioExtractionError::noAudioTrackFound()
{
    return {Kind::noAudioTrackFound,
            {},
            engineText(QT_TRANSLATE_NOOP("AudioExtractionError",
                                         "The selected video file contains no audio tracks."))};
}

AudioExtractionError AudioExtractionError::outputDirectoryCreationFailed()
{
    return {Kind::outputDirectoryCreationFailed,
            {},
            engineText(QT_TRANSLATE_NOOP("AudioExtractionError",
                                         "Failed to create output destination directory."))};
}

AudioExtractionError AudioExtractionError::cancelled()
{
    return {
        Kind::cancelled,
        {},
        engineText(QT_TRANSLATE_NOOP("AudioExtractionError", "Audio extraction was cancelled."))};
}

namespace {

// The encoder keeps to the standard library; its texts are put together again here, in the
// words of MP3EncoderError's own.
TranslatableText encoderFailureText(const MP3EncoderError &error)
{
    const auto code = TranslatableText::verbatim(QString::number(error.code()));
    TranslatableText text;
    switch (error.kind()) {
    case MP3EncoderError::Kind::initializationFailed:
        text = encoderText(
            QT_TRANSLATE_NOOP("MP3EncoderError", "MP3 encoder initialization failed with code %1."),
            {code});
        break;
    case MP3EncoderError::Kind::writeFailed:
        text = encoderText(
            QT_TRANSLATE_NOOP("MP3EncoderError", "MP3 encoder write failed with error %1."),
            {code});
        break;
    case MP3EncoderError::Kind::contextCreationFailed:
        text = encoderText(
            QT_TRANSLATE_NOOP("MP3EncoderError", "Failed to create MP3 encoder instance."));
        break;
    case MP3EncoderError::Kind::outputFileNotFound:
        text = encoderText(QT_TRANSLATE_NOOP("MP3EncoderError",
                                             "MP3 output file could not be created or written."));
        break;
    case MP3EncoderError::Kind::encodingCancelled:
        text = engineText(
            QT_TRANSLATE_NOOP("AudioExtractionError", "Audio extraction was cancelled."));
        break;
    }
    if (error.systemError() == 0)
        return text;
    return TranslatableText::joined("%1 %2", {text, systemErrorText(error.systemError())});
}

} // namespace

TranslatableText systemErrorText(int error)
{
    if (error == ENOSPC)
        return encoderText(QT_TRANSLATE_NOOP("MP3EncoderError", "The disk is full."));
    return TranslatableText::verbatim(QString::fromStdString(systemErrorSentence(error)),
                                      QString::fromStdString(localizedSystemErrorSentence(error)));
}

TranslatableText failureText(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const AudioExtractionError &error) {
        return error.description();
    } catch (const MediaReaderError &error) {
        return error.text();
    } catch (const MP3EncoderError &error) {
        // Should the encoder's wording ever part from the one above, its own English stands.
        const TranslatableText text = encoderFailureText(error);
        return text.english() == QString::fromUtf8(error.what())
                   ? text
                   : TranslatableText::verbatim(QString::fromUtf8(error.what()));
    } catch (const CoverArtUnavailable &error) {
        return error.text();
    } catch (const std::exception &error) {
        return TranslatableText::verbatim(QString::fromUtf8(error.what()));
    } catch (...) {
        return TranslatableText("AudioExtractionError",
                                QT_TRANSLATE_NOOP("AudioExtractionError", "Unknown error"));
    }
}

} // namespace tonbrook
