#pragma once

#include "model/extraction_settings.h"
#include "model/translatable_text.h"

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// The media framework the core reads files through: an asset opened on a file, its tracks and
// tags, a still-frame generator, and a decoding reader that delivers 16-bit interleaved PCM.
// Nothing here names the library underneath; openMediaAsset() gives the FFmpeg implementation.
namespace tonbrook {

// A failed load, a refused reader or a decoding failure; what() names the file and the reason.
class MediaReaderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit MediaReaderError(const QString &description);
    explicit MediaReaderError(const TranslatableText &description);

    // In English, as what() has it.
    QString description() const { return QString::fromUtf8(what()); }
    // The same to be put together in English or in the user's language.
    TranslatableText text() const;

private:
    // Empty when made from a plain text.
    TranslatableText m_text;
};

enum class MediaType { audio, video };

// Channels and rate of an audio format; either is 0 when the file does not say.
struct AudioStreamBasicDescription {
    double sampleRate = 0.0;
    quint32 channelsPerFrame = 0;

    bool operator==(const AudioStreamBasicDescription &) const = default;
};

struct FormatDescription {
    // Four-character code, most significant byte first ('aac ', 'lpcm', 'avc1'); 0 when the codec
    // has no name of four characters or fewer, and then codecName is the only name.
    quint32 mediaSubType = 0;
    // The codec's short lower-case text as the file names it: "aac", "lpcm", "avc1", "vorbis".
    QString codecName;
    // Audio tracks only.
    std::optional<AudioStreamBasicDescription> streamBasicDescription;

    bool operator==(const FormatDescription &) const = default;
};

// The 2-by-3 display matrix in CGAffineTransform's convention: (x, y) maps to
// (a x + c y + tx, b x + d y + ty), which is also QTransform(a, b, c, d, tx, ty).
struct AffineTransform {
    double a = 1.0;
    double b = 0.0;
    double c = 0.0;
    double d = 1.0;
    double tx = 0.0;
    double ty = 0.0;

    bool operator==(const AffineTransform &) const = default;
};

struct MediaTrack {
    MediaType mediaType = MediaType::audio;
    // The stream's index in the container; identifies the track for readers of the same asset.
    int trackID = -1;
    std::vector<FormatDescription> formatDescriptions;
    // BCP 47 ("en", "de-CH"); absent when the file gives none or says "undetermined".
    std::optional<QString> extendedLanguageTag;
    // Video: stored pixel size, widened by a non-square pixel aspect; empty for audio.
    QSizeF naturalSize;
    AffineTransform preferredTransform;
    // Bits per second as the container states it, 0 when unknown.
    double estimatedDataRate = 0.0;
};

// The tag roles inspection reads; the container's own keys are mapped onto them.
enum class CommonMetadataKey { title, artist, author, albumName, creationDate };

struct MetadataItem {
    std::optional<CommonMetadataKey> commonKey;
    // The container's own key as the demuxer reports it ("title", "ARTIST", "creation_time").
    QString identifier;
    std::optional<QString> stringValue;
};

// Signed 16-bit little-endian PCM, channels interleaved, at the given rate and channel count.
struct PcmOutputSettings {
    int sampleRate = 44100;
    int channelCount = 2;

    bool operator==(const PcmOutputSettings &) const = default;
};

// One block of decoded PCM: whole frames, contiguous, following the previous block without gap.
struct SampleBuffer {
    std::vector<qint16> samples;
    int channelCount = 0;

    qint64 frameCount() const
    {
        return channelCount > 0 ? qint64(samples.size()) / channelCount : 0;
    }
    qint64 dataLength() const { return qint64(samples.size() * sizeof(qint16)); }
    const char *data() const { return reinterpret_cast<const char *>(samples.data()); }
};

enum class ReaderStatus { unknown = 0, reading = 1, completed = 2, failed = 3, cancelled = 4 };

// Decodes one audio track of an asset; not shared between threads while in use.
class MediaAssetReader {
public:
    virtual ~MediaAssetReader() = default;

    // Limits decoding to [start, start + duration); before startReading only. Never set means
    // the whole track. The first frame delivered is the one at start.
    virtual void setTimeRange(const MediaTimeRange &range) = 0;
    virtual std::optional<MediaTimeRange> timeRange() const = 0;

    // One audio output per reader, added before startReading, at 1 to 8 channels and 1 Hz to
    // 384 kHz.
    virtual bool canAddOutput(const MediaTrack &track, const PcmOutputSettings &settings) const = 0;
    // Throws MediaReaderError when canAddOutput would say no.
    virtual void addOutput(const MediaTrack &track, const PcmOutputSettings &settings) = 0;

    // True when decoding started; false with error() set otherwise.
    virtual bool startReading() = 0;
    virtual ReaderStatus status() const = 0;
    virtual std::optional<MediaReaderError> error() const = 0;
    // Safe to call from another thread while copyNextSampleBuffer runs; it then returns nothing.
    virtual void cancelReading() = 0;
    // The next block, or nothing at the end, after an error (status failed) or a cancel.
    virtual std::optional<SampleBuffer> copyNextSampleBuffer() = 0;
};

// A media file. Opening never fails; the first load does. Loads may be called from any
// thread; each asset serialises its own calls, and different assets share nothing.
class MediaAsset {
public:
    virtual ~MediaAsset() = default;

    virtual QString filePath() const = 0;

    // Seconds from the first to the last timestamp, found from the packets when the container
    // states no length; not finite only for media without any timing.
    virtual double loadDuration() = 0;
    // Tracks of one kind in the file's order (cover pictures are not video tracks).
    virtual std::vector<MediaTrack> loadTracks(MediaType type) = 0;
    // The container's tags in the file's order, with the roles they play.
    virtual std::vector<MetadataItem> loadCommonMetadata() = 0;

    // A frame at or shortly before timeSeconds of the first video track (the nearest key frame
    // is acceptable), scaled down to fit maximumSize keeping its shape, and turned upright by
    // the track's transform when asked. Throws MediaReaderError when no frame can be made.
    virtual QImage generateImage(double timeSeconds, QSize maximumSize,
                                 bool appliesPreferredTrackTransform) = 0;

    // A new independent reader; several may run on one asset at once. Throws MediaReaderError.
    virtual std::unique_ptr<MediaAssetReader> createReader() = 0;
};

// What an asset is opened for.
enum class MediaUse {
    everything,
    // Only its audio tracks are probed, and quickly: the video tracks are listed without their
    // details and give no pictures, and the duration is the audio's. Readers made from it
    // probe the file in full, as always.
    audioOnly,
};

// The FFmpeg-backed asset for a local file path.
std::shared_ptr<MediaAsset> openMediaAsset(const QString &filePath,
                                           MediaUse use = MediaUse::everything);

} // namespace tonbrook
