#include "encoder/mp3_encoder.h"

#include "encoder/lame_encoder.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <locale.h>

namespace tonbrook {

namespace {

std::string asSentence(std::string text)
{
    if (text.empty())
        return {};
    if (text.front() >= 'a' && text.front() <= 'z')
        text.front() = char(text.front() - 'a' + 'A');
    if (text.back() != '.')
        text += '.';
    return text;
}

} // namespace

std::string systemErrorSentence(int error)
{
    if (error == 0)
        return {};
    // The one most users meet, in their words rather than the C library's.
    if (error == ENOSPC)
        return "The disk is full.";
    // The process's locale would translate strerror's text once an application has set it
    // from the environment; the C locale keeps it the same everywhere.
    static const locale_t plain = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return asSentence(plain ? strerror_l(error, plain) : std::strerror(error));
}

std::string localizedSystemErrorSentence(int error)
{
    return error == 0 ? std::string() : asSentence(std::strerror(error));
}

std::string withSystemError(const std::string &text, int error)
{
    const std::string reason = systemErrorSentence(error);
    return reason.empty() ? text : text + " " + reason;
}

MP3EncoderError::MP3EncoderError(Kind kind, int32_t code, int systemError,
                                 const std::string &description)
    : std::runtime_error(withSystemError(description, systemError)), m_kind(kind), m_code(code),
      m_systemError(systemError)
{
}

MP3EncoderError MP3EncoderError::initializationFailed(int32_t code, int systemError)
{
    return {Kind::initializationFailed, code, systemError,
            "MP3 encoder initialization failed with code " + std::to_string(code) + "."};
}

MP3EncoderError MP3EncoderError::writeFailed(int32_t code, int systemError)
{
    return {Kind::writeFailed, code, systemError,
            "MP3 encoder write failed with error " + std::to_string(code) + "."};
}

MP3EncoderError MP3EncoderError::contextCreationFailed(int systemError)
{
    return {Kind::contextCreationFailed, 0, systemError, "Failed to create MP3 encoder instance."};
}

MP3EncoderError MP3EncoderError::outputFileNotFound(int systemError)
{
    return {Kind::outputFileNotFound, 0, systemError,
            "MP3 output file could not be created or written."};
}

MP3EncoderError MP3EncoderError::encodingCancelled()
{
    return {Kind::encodingCancelled, 0, 0, "Audio extraction was cancelled."};
}

// The errno value behind a -3 (a file write) from the C layer; 0 for other codes.
static int fileError(const LameEncoderContext *context, int32_t code)
{
    return code == -3 && context ? context->fileError : 0;
}

MP3Encoder::MP3Encoder(int inputSampleRate, int outputSampleRate, int channels, int bitrateKbps,
                       int vbrQuality, const std::string &outputPath)
{
    if (outputSampleRate < 1)
        outputSampleRate = inputSampleRate;
    errno = 0;
    m_context = lame_encoder_create(inputSampleRate, outputSampleRate, channels, bitrateKbps,
                                    vbrQuality, outputPath.c_str());
    if (!m_context)
        throw MP3EncoderError::contextCreationFailed(errno);
}

MP3Encoder::~MP3Encoder()
{
    lame_encoder_destroy(m_context);
}

static const char *cString(const std::optional<std::string> &text)
{
    return text ? text->c_str() : nullptr;
}

void MP3Encoder::setMetadata(const std::optional<std::string> &title,
                             const std::optional<std::string> &artist,
                             const std::optional<std::string> &album,
                             const std::optional<std::string> &year,
                             const std::optional<std::string> &genre,
                             const std::optional<std::string> &comment,
                             std::span<const unsigned char> coverArt)
{
    if (!m_context)
        return;
    (void)lame_encoder_set_metadata(m_context, cString(title), cString(artist), cString(album),
                                    cString(year), cString(genre), cString(comment),
                                    coverArt.empty() ? nullptr : coverArt.data(), coverArt.size());
}

void MP3Encoder::addUserText(const std::string &description, const std::string &value)
{
    if (m_context)
        (void)lame_encoder_set_user_text(m_context, description.c_str(), value.c_str());
}

void MP3Encoder::prepare()
{
    if (!m_context)
        throw MP3EncoderError::contextCreationFailed();
    const int32_t result = lame_encoder_init(m_context);
    if (result < 0)
        throw MP3EncoderError::initializationFailed(result, fileError(m_context, result));
}

void MP3Encoder::writePCM16Interleaved(std::span<const int16_t> samples, int sampleCountPerChannel)
{
    if (!m_context)
        throw MP3EncoderError::contextCreationFailed();
    // Never let the encoder read past the caller's buffer.
    if (sampleCountPerChannel > 0 && samples.size() / static_cast<size_t>(m_context->numChannels) <
                                         static_cast<size_t>(sampleCountPerChannel))
        throw MP3EncoderError::writeFailed(-1);
    const int32_t result =
        lame_encoder_write_pcm16(m_context, samples.data(), sampleCountPerChannel);
    if (result < 0)
        throw MP3EncoderError::writeFailed(result, fileError(m_context, result));
}

void MP3Encoder::writeFloat32(std::span<const float> leftChannel,
                              std::optional<std::span<const float>> rightChannel)
{
    if (!m_context)
        throw MP3EncoderError::contextCreationFailed();
    if (leftChannel.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
        (rightChannel && rightChannel->size() < leftChannel.size()))
        throw MP3EncoderError::writeFailed(-1);
    const int32_t result = lame_encoder_write_float32(m_context, leftChannel.data(),
                                                      rightChannel ? rightChannel->data() : nullptr,
                                                      static_cast<int32_t>(leftChannel.size()));
    if (result < 0)
        throw MP3EncoderError::writeFailed(result, fileError(m_context, result));
}

void MP3Encoder::finish()
{
    if (!m_context)
        return;
    const int32_t result = lame_encoder_finish(m_context);
    if (result < 0)
        throw MP3EncoderError::writeFailed(result, fileError(m_context, result));
}

int MP3Encoder::inputSampleRate() const
{
    return m_context->inSampleRate;
}
int MP3Encoder::outputSampleRate() const
{
    return m_context->outSampleRate;
}
int MP3Encoder::channels() const
{
    return m_context->numChannels;
}

} // namespace tonbrook
