#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

struct LameEncoderContext;

namespace tonbrook {

// An encoder failure, with the description the user sees as the reason a job failed.
class MP3EncoderError : public std::runtime_error {
public:
    enum class Kind {
        initializationFailed,
        writeFailed,
        contextCreationFailed,
        outputFileNotFound,
        encodingCancelled,
    };

    // systemError, when not 0, is the errno value that caused the failure; its text is
    // added to the description as a second sentence.
    static MP3EncoderError initializationFailed(int32_t code, int systemError = 0);
    static MP3EncoderError writeFailed(int32_t code, int systemError = 0);
    static MP3EncoderError contextCreationFailed(int systemError = 0);
    static MP3EncoderError outputFileNotFound(int systemError = 0);
    static MP3EncoderError encodingCancelled();

    Kind kind() const noexcept { return m_kind; }
    // The library's or the context's code; 0 for the kinds without one.
    int32_t code() const noexcept { return m_code; }
    // The errno value behind the failure; 0 when none is known.
    int systemError() const noexcept { return m_systemError; }
    std::string errorDescription() const { return what(); }

    friend bool operator==(const MP3EncoderError &a, const MP3EncoderError &b) noexcept
    {
        return a.m_kind == b.m_kind && a.m_code == b.m_code;
    }

private:
    MP3EncoderError(Kind kind, int32_t code, int systemError, const std::string &description);

    Kind m_kind;
    int32_t m_code;
    int m_systemError;
};

// The reason an errno value names, as a sentence: "Permission denied.", "The disk is full.";
// empty for 0. In English whatever the locale: error texts are machine-readable output too.
std::string systemErrorSentence(int error);
// The C library's sentence in the language of the process's locale ("Keine Berechtigung.");
// "The disk is full." is left to the caller to translate.
std::string localizedSystemErrorSentence(int error);

// text, then the reason for error as a second sentence when there is one.
std::string withSystemError(const std::string &text, int error);

// Owns one encoder context, and with it the open output file, for one MP3 file.
// Order of use: construct, setMetadata (at most once), prepare, writes, finish.
// After any failure the caller just releases the object.
class MP3Encoder {
public:
    // Creates (or truncates) the file at outputPath (UTF-8). Throws contextCreationFailed
    // when the context could not be made, which covers a file that cannot be created.
    MP3Encoder(int inputSampleRate, int outputSampleRate, int channels, int bitrateKbps,
               int vbrQuality, const std::string &outputPath);
    ~MP3Encoder();

    MP3Encoder(const MP3Encoder &) = delete;
    MP3Encoder &operator=(const MP3Encoder &) = delete;

    // Requests an ID3v2 tag with the given texts (UTF-8) and cover art (as the front cover);
    // an absent or empty field is left out. Never fails.
    void
    setMetadata(const std::optional<std::string> &title, const std::optional<std::string> &artist,
                const std::optional<std::string> &album, const std::optional<std::string> &year,
                const std::optional<std::string> &genre, const std::optional<std::string> &comment,
                std::span<const unsigned char> coverArt = {});

    // Adds a user text frame (TXXX) with that description and value to the tag requested
    // by setMetadata (call after it). Never fails.
    void addUserText(const std::string &description, const std::string &value);

    // Configures the encoder and writes the tag. Throws initializationFailed.
    void prepare();

    // Encodes sampleCountPerChannel frames of interleaved 16-bit PCM from samples, which
    // must hold at least that many frames. Throws writeFailed.
    void writePCM16Interleaved(std::span<const int16_t> samples, int sampleCountPerChannel);

    // Encodes 32-bit float PCM (full scale -1 to 1); the frame count is leftChannel's
    // length, and rightChannel, when given, must be as long. Throws writeFailed.
    void writeFloat32(std::span<const float> leftChannel,
                      std::optional<std::span<const float>> rightChannel = std::nullopt);

    // Flushes, writes the info frame and flushes the file. Throws writeFailed.
    void finish();

    // The resolved configuration of the context.
    int inputSampleRate() const;
    int outputSampleRate() const;
    int channels() const;

private:
    LameEncoderContext *m_context = nullptr;
};

} // namespace tonbrook
