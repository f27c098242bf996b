/*
 * lame_encoder: a flat C layer over the LAME MP3 encoder.
 *
 * One LameEncoderContext stands for one MP3 file being written. It owns one LAME
 * encoder instance, the open output file and one growable output byte buffer. Every
 * block of MP3 bytes the encoder produces goes straight from that buffer to the file;
 * at the end the encoder is flushed and the file's first frame is rewritten as the
 * Xing/LAME info frame.
 *
 * Calling order: lame_encoder_create, lame_encoder_set_metadata (at most once),
 * lame_encoder_init, any number of writes, lame_encoder_finish, lame_encoder_destroy.
 * lame_encoder_destroy is also the only clean-up needed after a failure at any step.
 *
 * A context created without an output path can instead encode into memory:
 * lame_encoder_create (path NULL), lame_encoder_set_metadata (optional; the tags are
 * then only read back), lame_encoder_init, any number of lame_encoder_encode_pcm16,
 * optionally lame_encoder_flush, then the tag readers, lame_encoder_destroy. Such a
 * context produces exactly the bytes a file context with the same settings writes
 * (its first frame is the placeholder for the info frame).
 *
 * Functions report failure by 32-bit signed codes and never abort. A context must
 * only be used by one thread at a time. LAME's set-up fills tables shared by the whole
 * process: lame_encoder_create and lame_encoder_init take a process-wide lock for it,
 * and a caller that encodes on several threads at once prepares every context
 * (create and init) before any of them encodes.
 */
#ifndef TONBROOK_LAME_ENCODER_H
#define TONBROOK_LAME_ENCODER_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* LAME's encoder handle; opaque outside the implementation. */
struct lame_global_struct;

/** Initial capacity of the output buffer, in bytes (1 MiB). */
#define LAME_ENCODER_INITIAL_BUFFER_SIZE ((size_t)1048576)

/** Extra room reserved beside embedded album art, in bytes (256 KiB). */
#define LAME_ENCODER_ART_HEADROOM ((size_t)262144)

typedef struct LameEncoderContext {
    struct lame_global_struct *gfp; /**< owned; released with lame_close */
    int32_t inSampleRate;           /**< rate of the PCM handed in, Hz */
    int32_t outSampleRate;          /**< rate of the MP3 stream, Hz */
    int32_t numChannels;            /**< 1 (mono) or 2 (stereo), in and out */
    int32_t bitrateKbps;            /**< kbit/s; used only at a constant bitrate */
    int32_t vbrQuality;             /**< 0..9 selects VBR at that quality; else CBR */
    FILE *outputFile;               /**< owned; may be NULL (then nothing can be written) */
    unsigned char *mp3Buffer;       /**< owned; receives each block of MP3 bytes */
    size_t mp3BufferSize;           /**< capacity of mp3Buffer, in bytes; never shrinks */
    int fileError;                  /**< errno of the first failed file write; 0 while none */
} LameEncoderContext;

/**
 * Creates a context and opens (creates or truncates) the output file in mode "wb+".
 *
 * @param inSampleRate   PCM rate in Hz; 0 or below means 44100.
 * @param outSampleRate  MP3 rate in Hz; 0 or below means the resolved inSampleRate.
 * @param numChannels    1 or 2; 0 or below means 2.
 * @param bitrateKbps    constant bitrate in kbit/s; 0 or below means 320.
 * @param vbrQuality     0..9 for VBR at that quality; any other value means CBR.
 * @param outputPath     zero-terminated UTF-8 path; NULL or "" leaves the file absent,
 *                       and every write and lame_encoder_finish then return -1.
 * @return a new context, or NULL when memory ran out, LAME failed to start or the
 *         output file could not be opened (nothing is left allocated or open; errno is
 *         then the reason the file could not be opened).
 */
LameEncoderContext *lame_encoder_create(int32_t inSampleRate, int32_t outSampleRate,
                                        int32_t numChannels, int32_t bitrateKbps,
                                        int32_t vbrQuality, const char *outputPath);

/**
 * Requests an ID3v2 tag and sets its text fields and album art (marked as the front
 * cover, picture type 3). Call at most once, before lame_encoder_init.
 *
 * Each text is zero-terminated UTF-8 and may be NULL; NULL or "" leaves the field
 * unset. Year and genre are text. Plain ASCII text is written as ISO-8859-1 frames,
 * any other text as UTF-16 frames, so non-ASCII text reads back unchanged.
 *
 * @param albumArt        image bytes (JPEG or PNG), may be NULL.
 * @param albumArtLength  number of bytes in albumArt; 0 embeds no picture.
 * @return 0, or -1 for a NULL context or encoder handle (no tag was set). When art is
 *         given the buffer grows to length + 256 KiB if it is smaller; a failed growth
 *         keeps the old buffer and still returns 0.
 */
int32_t lame_encoder_set_metadata(LameEncoderContext *ctx, const char *title, const char *artist,
                                  const char *album, const char *year, const char *genre,
                                  const char *comment, const unsigned char *albumArt,
                                  size_t albumArtLength);

/**
 * Adds a user-defined text frame (ID3v2 TXXX) with the given description and value to
 * the tag requested with lame_encoder_set_metadata; call after it, before init. Both are
 * zero-terminated UTF-8; the description must not be empty or contain '='.
 *
 * @return 0, or -1 for a NULL context, handle or text, a description that is not allowed,
 *         no tag requested, or no memory.
 */
int32_t lame_encoder_set_user_text(LameEncoderContext *ctx, const char *description,
                                   const char *value);

/**
 * Configures the encoder (rates, channels, joint stereo or mono, CBR or VBR,
 * quality 2, info frame) and writes the ID3v2 tag, if one was requested, at the
 * start of the output file.
 *
 * @return 0; -1 for a NULL context or encoder handle; -2 when LAME rejected the
 *         parameters; -3 when the file took fewer bytes of the ID3v2 tag than it has
 *         (or the tag could not be built).
 */
int32_t lame_encoder_init(LameEncoderContext *ctx);

/**
 * Encodes interleaved signed 16-bit PCM (host byte order) and writes the MP3 bytes.
 *
 * @param samples                 frames of numChannels samples each (L, R, L, R, ...).
 * @param sampleCountPerChannel   number of frames. Not number of samples!
 * @return the number of MP3 bytes written (0 when LAME held the samples back);
 *         -1 for a NULL context, handle, samples or file, a frame count below 1, or a
 *         buffer still too small after two doublings (or a failed doubling);
 *         -2 when growing the buffer to 1.25 n + 65536 bytes failed (nothing encoded);
 *         -3 when the file took fewer bytes than LAME produced (those bytes are lost);
 *         any other negative value is LAME's own code.
 */
int32_t lame_encoder_write_pcm16(LameEncoderContext *ctx, const int16_t *samples,
                                 int32_t sampleCountPerChannel);

/**
 * Encodes two channels of 32-bit float PCM (full scale -1.0 to 1.0, not interleaved).
 *
 * @param left                    left (or only) channel; required.
 * @param right                   right channel; NULL uses left for both.
 * @param sampleCountPerChannel   number of frames.
 * @return as lame_encoder_write_pcm16, except that there is no retry: a buffer too
 *         small is LAME's -1; growth needs 1.25 n + 7200 bytes.
 */
int32_t lame_encoder_write_float32(LameEncoderContext *ctx, const float *left, const float *right,
                                   int32_t sampleCountPerChannel);

/**
 * Flushes the encoder, writes the remaining MP3 bytes and the ID3v1 tag (when a tag
 * was requested), rewrites the first frame as the info frame and flushes the stream.
 * The file stays open until lame_encoder_destroy.
 *
 * @return 0; -1 for a NULL context, handle or file (nothing was flushed); -3 when the
 *         file took fewer bytes than were flushed, or the stream is in error after the
 *         info frame was rewritten or the stream flushed (a full disk, for example).
 */
int32_t lame_encoder_finish(LameEncoderContext *ctx);

/**
 * Encodes interleaved signed 16-bit PCM (host byte order) into the context's buffer
 * instead of the file; for a context with or without an output file.
 *
 * @param samples                 frames of numChannels samples each.
 * @param sampleCountPerChannel   number of frames.
 * @param bytes                   receives the start of the produced MP3 bytes, valid
 *                                until the next call on the context; NULL on failure.
 * @return the number of MP3 bytes produced (0 when LAME held the samples back); -1 for
 *         a NULL context, handle, samples or bytes, a frame count below 1, or a buffer
 *         still too small after two doublings; -2 when growing the buffer to
 *         1.25 n + 65536 bytes failed; any other negative value is LAME's own code.
 */
int32_t lame_encoder_encode_pcm16(LameEncoderContext *ctx, const int16_t *samples,
                                  int32_t sampleCountPerChannel, const unsigned char **bytes);

/**
 * Encodes what LAME still holds and flushes its bit reservoir into the context's buffer
 * (the counterpart of lame_encoder_finish for memory contexts; no tag is produced).
 *
 * @param bytes  receives the start of the produced bytes, valid until the next call.
 * @return the number of MP3 bytes; -1 for a NULL context, handle or bytes; -2 when the
 *         buffer could not be grown to 64 KiB; other negative values are LAME's codes.
 */
int32_t lame_encoder_flush(LameEncoderContext *ctx, const unsigned char **bytes);

/**
 * Copies the info frame (Xing/Info header and LAME tag) as LAME would write it over the
 * placeholder frame, describing what the context has encoded so far.
 *
 * @param buffer  destination; may be NULL when size is 0 (to ask for the length).
 * @return the frame's length in bytes (nothing is copied when it exceeds size; 0 when
 *         the context writes no info frame); -1 for a NULL context or handle, or a NULL
 *         buffer with a nonzero size.
 */
int32_t lame_encoder_get_lametag_frame(const LameEncoderContext *ctx, unsigned char *buffer,
                                       size_t size);

/**
 * Copies the ID3v2 tag requested with lame_encoder_set_metadata (after init).
 *
 * @return its length in bytes (nothing is copied when it exceeds size; 0 without a
 *         tag); -1 as lame_encoder_get_lametag_frame.
 */
int32_t lame_encoder_get_id3v2_tag(const LameEncoderContext *ctx, unsigned char *buffer,
                                   size_t size);

/**
 * Copies the ID3v1 tag (128 bytes) that goes after the last frame when a tag was
 * requested.
 *
 * @return as lame_encoder_get_id3v2_tag.
 */
int32_t lame_encoder_get_id3v1_tag(const LameEncoderContext *ctx, unsigned char *buffer,
                                   size_t size);

/**
 * @return the encoder delay in samples (after init), or -1 for a NULL context or handle.
 */
int32_t lame_encoder_get_encoder_delay(const LameEncoderContext *ctx);

/**
 * @return the MPEG version of the stream after init: 1 for MPEG-1 (32, 44.1, 48 kHz),
 *         0 for MPEG-2, 2 for MPEG-2.5; -1 for a NULL context or handle.
 */
int32_t lame_encoder_get_mpeg_version(const LameEncoderContext *ctx);

/**
 * Closes the output file, releases the encoder and the buffer, then the context.
 * Safe on NULL and on a context in any state after create.
 */
void lame_encoder_destroy(LameEncoderContext *ctx);

#ifdef __cplusplus
}
#endif

#endif /* TONBROOK_LAME_ENCODER_H */
