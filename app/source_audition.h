#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QAudioOutput;
class QMediaDevices;
class QMediaPlayer;

namespace tonbrook {

// Plays a stretch of a source file's audio, on one of its audio tracks, for listening before
// extracting: from a start to an end, where it stops by itself. The position follows the
// playback every few hundredths of a second.
class SourceAudition : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
    // Among the source's audio tracks, as the extraction counts them.
    Q_PROPERTY(int trackIndex READ trackIndex WRITE setTrackIndex NOTIFY trackIndexChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    // Seconds into the source; where playback is, or where it stopped.
    Q_PROPERTY(double position READ position NOTIFY positionChanged)
    // False while the system has no audio output; nothing can play then.
    Q_PROPERTY(bool hasOutputDevice READ hasOutputDevice NOTIFY hasOutputDeviceChanged)

public:
    static constexpr int tickIntervalMs = 30;

    explicit SourceAudition(QObject *parent = nullptr);
    ~SourceAudition() override;

    QUrl source() const { return m_source; }
    void setSource(const QUrl &source);
    int trackIndex() const { return m_trackIndex; }
    void setTrackIndex(int index);
    bool isPlaying() const { return m_isPlaying; }
    double position() const { return m_position; }
    bool hasOutputDevice() const { return m_hasOutputDevice; }

    // Plays from fromSeconds and stops at untilSeconds; nothing without a device.
    Q_INVOKABLE void play(double fromSeconds, double untilSeconds);
    Q_INVOKABLE void stop();

signals:
    void sourceChanged();
    void trackIndexChanged();
    void isPlayingChanged();
    void positionChanged();
    void hasOutputDeviceChanged();

private:
    void followOutputDevices();
    void startWhenLoaded();
    void tick();
    void discardPlayer();
    void setPlaying(bool playing);
    void setPosition(double seconds);

    QUrl m_source;
    int m_trackIndex = 0;
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    QMediaDevices *m_devices;
    QTimer m_timer;
    QTimer m_devicePoll;
    bool m_hasOutputDevice = false;
    bool m_isPlaying = false;
    double m_position = 0.0;
    // The stretch asked for, until the player has loaded the file and starts it.
    struct Stretch {
        double from = 0.0;
        double until = 0.0;
    };
    std::optional<Stretch> m_waiting;
    double m_from = 0.0;
    double m_until = 0.0;
    // Playing has started and the seek to m_from has not shown in the position yet.
    bool m_seeking = false;
};

} // namespace tonbrook
