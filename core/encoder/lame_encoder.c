#include "lame_encoder.h"

#include <lame/lame.h>

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

/* lame_init and lame_init_params fill tables shared by every encoder in the process
 * (pow43, adj43, pow20, ipow20, ...). They run one at a time under this lock. */
static pthread_mutex_t g_setup_lock = PTHREAD_MUTEX_INITIALIZER;

/* Grows the output buffer to exactly newSize bytes; on failure the old buffer stays. */
static int grow_buffer(LameEncoderContext *ctx, size_t newSize)
{
    unsigned char *grown = realloc(ctx->mp3Buffer, newSize);
    if (grown == NULL) {
        return 0;
    }
    ctx->mp3Buffer = grown;
    ctx->mp3BufferSize = newSize;
    return 1;
}

/* LAME takes the capacity as an int; a larger buffer is still only that big to it. */
static int buffer_capacity(const LameEncoderContext *ctx)
{
    return ctx->mp3BufferSize > (size_t)INT_MAX ? INT_MAX : (int)ctx->mp3BufferSize;
}

/* Keeps the reason of the first file failure for the caller's message. */
static void note_file_error(LameEncoderContext *ctx)
{
    if (ctx->fileError == 0) {
        ctx->fileError = errno != 0 ? errno : EIO;
    }
}

/* Writes produced MP3 bytes; -3 when the file took fewer of them. */
static int32_t write_bytes(LameEncoderContext *ctx, const unsigned char *bytes, size_t count)
{
    if (fwrite(bytes, 1, count, ctx->outputFile) < count) {
        note_file_error(ctx);
        return -3;
    }
    return 0;
}

LameEncoderContext *lame_encoder_create(int32_t inSampleRate, int32_t outSampleRate,
                                        int32_t numChannels, int32_t bitrateKbps,
                                        int32_t vbrQuality, const char *outputPath)
{
    LameEncoderContext *ctx = calloc(1, sizeof *ctx);
    if (ctx == NULL) {
        return NULL;
    }
    pthread_mutex_lock(&g_setup_lock);
    ctx->gfp = lame_init();
    pthread_mutex_unlock(&g_setup_lock);
    if (ctx->gfp == NULL) {
        free(ctx);
        return NULL;
    }

    ctx->inSampleRate = inSampleRate > 0 ? inSampleRate : 44100;
    ctx->outSampleRate = outSampleRate > 0 ? outSampleRate : ctx->inSampleRate;
    ctx->numChannels = numChannels > 0 ? numChannels : 2;
    ctx->bitrateKbps = bitrateKbps > 0 ? bitrateKbps : 320;
    ctx->vbrQuality = vbrQuality;

    if (outputPath != NULL && outputPath[0] != '\0') {
        /* Readable too: the info-frame step seeks back and reads the first frame. */
        ctx->outputFile = fopen(outputPath, "wb+");
        if (ctx->outputFile == NULL) {
            int reason = errno;
            lame_close(ctx->gfp);
            free(ctx);
            errno = reason;
            return NULL;
        }
    }

    ctx->mp3Buffer = malloc(LAME_ENCODER_INITIAL_BUFFER_SIZE);
    if (ctx->mp3Buffer == NULL) {
        if (ctx->outputFile != NULL) {
            fclose(ctx->outputFile);
        }
        lame_close(ctx->gfp);
        free(ctx);
        return NULL;
    }
    ctx->mp3BufferSize = LAME_ENCODER_INITIAL_BUFFER_SIZE;
    return ctx;
}

static int is_ascii(const char *text)
{
    for (const unsigned char *p = (const unsigned char *)text; *p != '\0'; ++p) {
        if (*p >= 0x80) {
            return 0;
        }
    }
    return 1;
}

/* Decodes one UTF-8 sequence; malformed input yields U+FFFD and consumes one byte. */
static uint32_t next_code_point(const unsigned char **cursor)
{
    const unsigned char *p = *cursor;
    uint32_t cp;
    int extra;
    uint32_t minimum;
    if (p[0] < 0x80) {
        *cursor = p + 1;
        return p[0];
    } else if ((p[0] & 0xE0) == 0xC0) {
        cp = p[0] & 0x1Fu;
        extra = 1;
        minimum = 0x80;
    } else if ((p[0] & 0xF0) == 0xE0) {
        cp = p[0] & 0x0Fu;
        extra = 2;
        minimum = 0x800;
    } else if ((p[0] & 0xF8) == 0xF0) {
        cp = p[0] & 0x07u;
        extra = 3;
        minimum = 0x10000;
    } else {
        *cursor = p + 1;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) { /* also stops at the terminating zero */
            *cursor = p + 1;
            return 0xFFFD;
        }
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    *cursor = p + 1 + extra;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0xFFFD;
    }
    return cp;
}

/* UTF-8 to zero-terminated UTF-16 in host order with a leading byte order mark, as
 * LAME's UTF-16 setters expect. The caller frees the result. */
static unsigned short *utf16_from_utf8(const char *text)
{
    /* Each byte yields at most one UTF-16 unit; add the mark and the terminator. */
    size_t capacity = strlen(text) + 2;
    unsigned short *out = malloc(capacity * sizeof *out);
    if (out == NULL) {
        return NULL;
    }
    size_t n = 0;
    out[n++] = 0xFEFF;
    const unsigned char *cursor = (const unsigned char *)text;
    while (*cursor != '\0') {
        uint32_t cp = next_code_point(&cursor);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out[n++] = (unsigned short)(0xD800 + (cp >> 10));
            out[n++] = (unsigned short)(0xDC00 + (cp & 0x3FF));
        } else {
            out[n++] = (unsigned short)cp;
        }
    }
    out[n] = 0;
    return out;
}

typedef void (*latin1_setter)(lame_t, const char *);

/* LAME's plain setters read ISO-8859-1; only ASCII goes through them unchanged. */
static void set_text(lame_t gfp, const char *text, latin1_setter setter, const char *frameId)
{
    if (text == NULL || text[0] == '\0') {
        return;
    }
    if (is_ascii(text)) {
        setter(gfp, text);
        return;
    }
    unsigned short *wide = utf16_from_utf8(text);
    if (wide == NULL) {
        return;
    }
    if (strcmp(frameId, "COMM") == 0) {
        static const unsigned short emptyDescription[] = {0xFEFF, 0};
        id3tag_set_comment_utf16(gfp, NULL, emptyDescription, wide);
    } else {
        id3tag_set_textinfo_utf16(gfp, frameId, wide);
    }
    free(wide);
}

/* id3tag_set_genre and id3tag_set_comment return int; wrap them as plain setters. */
static void set_genre(lame_t gfp, const char *genre)
{
    (void)id3tag_set_genre(gfp, genre);
}
static void set_comment(lame_t gfp, const char *comment)
{
    id3tag_set_comment(gfp, comment);
}

int32_t lame_encoder_set_metadata(LameEncoderContext *ctx, const char *title, const char *artist,
                                  const char *album, const char *year, const char *genre,
                                  const char *comment, const unsigned char *albumArt,
                                  size_t albumArtLength)
{
    if (ctx == NULL || ctx->gfp == NULL) {
        return -1;
    }
    id3tag_init(ctx->gfp);
    id3tag_add_v2(ctx->gfp);

    set_text(ctx->gfp, title, id3tag_set_title, "TIT2");
    set_text(ctx->gfp, artist, id3tag_set_artist, "TPE1");
    set_text(ctx->gfp, album, id3tag_set_album, "TALB");
    set_text(ctx->gfp, year, id3tag_set_year, "TYER");
    set_text(ctx->gfp, genre, set_genre, "TCON");
    set_text(ctx->gfp, comment, set_comment, "COMM");

    if (albumArt != NULL && albumArtLength > 0) {
        (void)id3tag_set_albumart(ctx->gfp, (const char *)albumArt, albumArtLength);
        size_t required = albumArtLength + LAME_ENCODER_ART_HEADROOM;
        if (required > ctx->mp3BufferSize) {
            (void)grow_buffer(ctx, required);
        }
    }
    return 0;
}

int32_t lame_encoder_set_user_text(LameEncoderContext *ctx, const char *description,
                                   const char *value)
{
    if (ctx == NULL || ctx->gfp == NULL || description == NULL || description[0] == '\0' ||
        strchr(description, '=') != NULL || value == NULL) {
        return -1;
    }
    /* LAME takes a user text frame as "description=value" and splits at the first '='. */
    size_t length = strlen(description) + 1 + strlen(value);
    char *field = malloc(length + 1);
    if (field == NULL) {
        return -1;
    }
    strcpy(field, description);
    strcat(field, "=");
    strcat(field, value);
    int result;
    if (is_ascii(field)) {
        result = id3tag_set_textinfo_latin1(ctx->gfp, "TXXX", field);
    } else {
        unsigned short *wide = utf16_from_utf8(field);
        result = wide != NULL ? id3tag_set_textinfo_utf16(ctx->gfp, "TXXX", wide) : -1;
        free(wide);
    }
    free(field);
    return result == 0 ? 0 : -1;
}

/* Reads a 4-byte big-endian frame size of ID3v2.3 (plain) or ID3v2.4 (synchsafe). */
static size_t frame_size(const unsigned char *p, int synchsafe)
{
    if (synchsafe) {
        return ((size_t)(p[0] & 0x7F) << 21) | ((size_t)(p[1] & 0x7F) << 14) |
               ((size_t)(p[2] & 0x7F) << 7) | (size_t)(p[3] & 0x7F);
    }
    return ((size_t)p[0] << 24) | ((size_t)p[1] << 16) | ((size_t)p[2] << 8) | (size_t)p[3];
}

/* LAME marks its picture "Other" (type 0); players and car stereos look for the front
 * cover (type 3). Rewrites that byte of the APIC frame in a tag LAME built. */
static void mark_front_cover(unsigned char *tag, size_t size)
{
    if (size < 10 || memcmp(tag, "ID3", 3) != 0 || (tag[5] & 0xC0) != 0) {
        return; /* not a tag, or unsynchronised / with an extended header: left alone */
    }
    const int synchsafe = tag[3] >= 4;
    size_t at = 10;
    while (at + 10 <= size && tag[at] != 0) {
        const size_t length = frame_size(tag + at + 4, synchsafe);
        if (length > size - at - 10) {
            return;
        }
        if (memcmp(tag + at, "APIC", 4) == 0) {
            /* encoding byte, zero-terminated MIME type, then the picture type */
            if (length < 2) {
                return;
            }
            const unsigned char *body = tag + at + 10;
            const unsigned char *mimeEnd = memchr(body + 1, 0, length - 1);
            if (mimeEnd != NULL && (size_t)(mimeEnd + 1 - body) < length) {
                tag[mimeEnd + 1 - tag] = 3;
            }
            return;
        }
        at += 10 + length;
    }
}

/* LAME's ID3v2 tag as this layer writes it: see mark_front_cover. */
static size_t get_id3v2_tag(lame_t gfp, unsigned char *buffer, size_t size)
{
    size_t length = lame_get_id3v2_tag(gfp, buffer, size);
    if (length > 0 && length <= size) {
        mark_front_cover(buffer, length);
    }
    return length;
}

/* Writes LAME's ID3v2 tag at the current (start) position of the file. LAME would
 * otherwise put it through its fixed-size bitstream buffer, which aborts the process
 * once the tag (album art, mostly) passes about 147 KB. */
static int32_t write_id3v2_tag(LameEncoderContext *ctx)
{
    size_t size = get_id3v2_tag(ctx->gfp, ctx->mp3Buffer, ctx->mp3BufferSize);
    if (size == 0) {
        return 0;
    }
    if (size <= ctx->mp3BufferSize) {
        return write_bytes(ctx, ctx->mp3Buffer, size);
    }
    unsigned char *tag = malloc(size);
    if (tag == NULL) {
        return -3;
    }
    size_t written = get_id3v2_tag(ctx->gfp, tag, size);
    int32_t result = written == size ? write_bytes(ctx, tag, size) : -3;
    free(tag);
    return result;
}

int32_t lame_encoder_init(LameEncoderContext *ctx)
{
    if (ctx == NULL || ctx->gfp == NULL) {
        return -1;
    }
    lame_t gfp = ctx->gfp;
    lame_set_in_samplerate(gfp, ctx->inSampleRate);
    lame_set_out_samplerate(gfp, ctx->outSampleRate);
    lame_set_num_channels(gfp, ctx->numChannels);
    lame_set_mode(gfp, ctx->numChannels == 1 ? MONO : JOINT_STEREO);

    /* Read as unsigned, every negative quality lands above 9 and selects CBR. */
    if ((uint32_t)ctx->vbrQuality > 9u) {
        lame_set_VBR(gfp, vbr_off);
        lame_set_brate(gfp, ctx->bitrateKbps);
    } else {
        lame_set_VBR(gfp, vbr_mtrh);
        lame_set_VBR_q(gfp, ctx->vbrQuality);
    }
    lame_set_quality(gfp, 2);
    lame_set_bWriteVbrTag(gfp, 1);
    lame_set_write_id3tag_automatic(gfp, 0);

    pthread_mutex_lock(&g_setup_lock);
    int params = lame_init_params(gfp);
    pthread_mutex_unlock(&g_setup_lock);
    if (params < 0) {
        return -2;
    }
    if (ctx->outputFile != NULL) {
        return write_id3v2_tag(ctx);
    }
    return 0;
}

static int encode_pcm16(LameEncoderContext *ctx, const int16_t *samples, int32_t frames)
{
    /* LAME's prototypes take non-const buffers but only read them. */
    short *pcm = (short *)samples;
    if (ctx->numChannels == 1) {
        return lame_encode_buffer(ctx->gfp, pcm, pcm, frames, ctx->mp3Buffer, buffer_capacity(ctx));
    }
    return lame_encode_buffer_interleaved(ctx->gfp, pcm, frames, ctx->mp3Buffer,
                                          buffer_capacity(ctx));
}

/* Encodes into the context's buffer, growing it first to 1.25 n + 65536 bytes and then
 * doubling it up to twice while LAME reports it too small. Returns LAME's count or code,
 * -1 when the buffer stayed too small, -2 when the first growth failed. */
static int32_t encode_pcm16_buffered(LameEncoderContext *ctx, const int16_t *samples,
                                     int32_t sampleCountPerChannel)
{
    size_t needed = (size_t)(1.25 * (double)sampleCountPerChannel + 65536.0);
    if (ctx->mp3BufferSize < needed && !grow_buffer(ctx, needed)) {
        return -2;
    }

    int result;
    for (int attempt = 0;; ++attempt) {
        result = encode_pcm16(ctx, samples, sampleCountPerChannel);
        if (result != -1) {
            break;
        }
        /* -1 is LAME's "output buffer too small": double it and try again, twice. */
        if (!grow_buffer(ctx, ctx->mp3BufferSize * 2) || attempt == 2) {
            return -1;
        }
    }
    return result;
}

int32_t lame_encoder_write_pcm16(LameEncoderContext *ctx, const int16_t *samples,
                                 int32_t sampleCountPerChannel)
{
    if (ctx == NULL || ctx->gfp == NULL || sampleCountPerChannel < 1 || samples == NULL ||
        ctx->outputFile == NULL) {
        return -1;
    }
    int32_t result = encode_pcm16_buffered(ctx, samples, sampleCountPerChannel);
    if (result <= 0) {
        return result;
    }
    if (write_bytes(ctx, ctx->mp3Buffer, (size_t)result) != 0) {
        return -3;
    }
    return result;
}

int32_t lame_encoder_encode_pcm16(LameEncoderContext *ctx, const int16_t *samples,
                                  int32_t sampleCountPerChannel, const unsigned char **bytes)
{
    if (bytes != NULL) {
        *bytes = NULL;
    }
    if (ctx == NULL || ctx->gfp == NULL || sampleCountPerChannel < 1 || samples == NULL ||
        bytes == NULL) {
        return -1;
    }
    int32_t result = encode_pcm16_buffered(ctx, samples, sampleCountPerChannel);
    *bytes = ctx->mp3Buffer;
    return result;
}

int32_t lame_encoder_flush(LameEncoderContext *ctx, const unsigned char **bytes)
{
    if (bytes != NULL) {
        *bytes = NULL;
    }
    if (ctx == NULL || ctx->gfp == NULL || bytes == NULL) {
        return -1;
    }
    /* The flush encodes at most a few frames; LAME asks for 7200 bytes at the least. */
    if (ctx->mp3BufferSize < 65536 && !grow_buffer(ctx, 65536)) {
        return -2;
    }
    int result = lame_encode_flush(ctx->gfp, ctx->mp3Buffer, buffer_capacity(ctx));
    *bytes = ctx->mp3Buffer;
    return result;
}

int32_t lame_encoder_get_lametag_frame(const LameEncoderContext *ctx, unsigned char *buffer,
                                       size_t size)
{
    if (ctx == NULL || ctx->gfp == NULL || (buffer == NULL && size > 0)) {
        return -1;
    }
    size_t length = lame_get_lametag_frame(ctx->gfp, buffer, size);
    return length > (size_t)INT32_MAX ? -1 : (int32_t)length;
}

int32_t lame_encoder_get_id3v2_tag(const LameEncoderContext *ctx, unsigned char *buffer,
                                   size_t size)
{
    if (ctx == NULL || ctx->gfp == NULL || (buffer == NULL && size > 0)) {
        return -1;
    }
    size_t length = get_id3v2_tag(ctx->gfp, buffer, size);
    return length > (size_t)INT32_MAX ? -1 : (int32_t)length;
}

int32_t lame_encoder_get_id3v1_tag(const LameEncoderContext *ctx, unsigned char *buffer,
                                   size_t size)
{
    if (ctx == NULL || ctx->gfp == NULL || (buffer == NULL && size > 0)) {
        return -1;
    }
    size_t length = lame_get_id3v1_tag(ctx->gfp, buffer, size);
    return length > (size_t)INT32_MAX ? -1 : (int32_t)length;
}

int32_t lame_encoder_get_encoder_delay(const LameEncoderContext *ctx)
{
    if (ctx == NULL || ctx->gfp == NULL) {
        return -1;
    }
    return lame_get_encoder_delay(ctx->gfp);
}

int32_t lame_encoder_get_mpeg_version(const LameEncoderContext *ctx)
{
    if (ctx == NULL || ctx->gfp == NULL) {
        return -1;
    }
    return lame_get_version(ctx->gfp);
}

int32_t lame_encoder_write_float32(LameEncoderContext *ctx, const float *left, const float *right,
                                   int32_t sampleCountPerChannel)
{
    if (ctx == NULL || ctx->gfp == NULL || sampleCountPerChannel < 1 || left == NULL ||
        ctx->outputFile == NULL) {
        return -1;
    }
    size_t needed = (size_t)(1.25 * (double)sampleCountPerChannel + 7200.0);
    if (ctx->mp3BufferSize < needed && !grow_buffer(ctx, needed)) {
        return -2;
    }
    int result =
        lame_encode_buffer_ieee_float(ctx->gfp, left, right != NULL ? right : left,
                                      sampleCountPerChannel, ctx->mp3Buffer, buffer_capacity(ctx));
    if (result <= 0) {
        return result;
    }
    if (write_bytes(ctx, ctx->mp3Buffer, (size_t)result) != 0) {
        return -3;
    }
    return result;
}

int32_t lame_encoder_finish(LameEncoderContext *ctx)
{
    if (ctx == NULL || ctx->gfp == NULL || ctx->outputFile == NULL) {
        return -1;
    }
    int32_t result = 0;
    int flushed = lame_encode_flush(ctx->gfp, ctx->mp3Buffer, buffer_capacity(ctx));
    if (flushed > 0 && write_bytes(ctx, ctx->mp3Buffer, (size_t)flushed) != 0) {
        result = -3;
    }
    /* The ID3v1 tag goes after the last frame, where LAME itself would put it. */
    unsigned char v1[128];
    size_t v1Size = lame_get_id3v1_tag(ctx->gfp, v1, sizeof v1);
    if (result == 0 && v1Size > 0 && v1Size <= sizeof v1 && write_bytes(ctx, v1, v1Size) != 0) {
        result = -3;
    }
    /* Its seek writes out the stream's buffer: a full disk often surfaces there first. */
    errno = 0;
    lame_mp3_tags_fid(ctx->gfp, ctx->outputFile);
    if (ferror(ctx->outputFile)) {
        note_file_error(ctx);
    }
    /* Or here, when the stream's own buffer is written. */
    errno = 0;
    if (fflush(ctx->outputFile) != 0 || ferror(ctx->outputFile)) {
        note_file_error(ctx);
        result = -3;
    }
    return result;
}

void lame_encoder_destroy(LameEncoderContext *ctx)
{
    if (ctx == NULL) {
        return;
    }
    if (ctx->outputFile != NULL) {
        fclose(ctx->outputFile);
        ctx->outputFile = NULL;
    }
    if (ctx->gfp != NULL) {
        lame_close(ctx->gfp);
        ctx->gfp = NULL;
    }
    free(ctx->mp3Buffer);
    free(ctx);
}
