#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QAudioOutput;
class QMediaDevices;
class QMediaPlayer;
class QTimer;

namespace tonbrook {

// The preview player's state and transport for one MP3 file: QMediaPlayer with a QAudioOutput,
// polled every 0.1 s while playing.
class AudioPreviewPlayer : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(bool hasPlayer READ hasPlayer NOTIFY hasPlayerChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double currentTime READ currentTime NOTIFY currentTimeChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    // The seek slider's upper end: the duration, but never below 0.1 s.
    Q_PROPERTY(double seekMaximum READ seekMaximum NOTIFY durationChanged)
    Q_PROPERTY(float volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(QString currentTimeText READ currentTimeText NOTIFY currentTimeChanged)
    Q_PROPERTY(QString durationText READ durationText NOTIFY durationChanged)
    Q_PROPERTY(bool isTimerRunning READ isTimerRunning NOTIFY isPlayingChanged)
    // False while the system has no audio output; playing is impossible then.
    Q_PROPERTY(bool hasOutputDevice READ hasOutputDevice NOTIFY hasOutputDeviceChanged)

public:
    static constexpr int tickIntervalMs = 100;
    static constexpr int devicePollIntervalMs = 1000;
    static constexpr double skipSeconds = 10.0;

    explicit AudioPreviewPlayer(QObject *parent = nullptr);
    ~AudioPreviewPlayer() override;

    QUrl source() const { return m_source; }
    void setSource(const QUrl &source);
    bool hasPlayer() const { return m_player != nullptr; }
    bool isPlaying() const { return m_isPlaying; }
    double currentTime() const { return m_currentTime; }
    double duration() const { return m_duration; }
    double seekMaximum() const;
    float volume() const { return m_volume; }
    void setVolume(float volume);
    QString currentTimeText() const { return formatTime(m_currentTime); }
    QString durationText() const { return formatTime(m_duration); }
    bool isTimerRunning() const;
    bool hasOutputDevice() const { return m_hasOutputDevice; }

    // Creates the player for source; a file it cannot open prints one line to standard output
    // and leaves no player.
    Q_INVOKABLE void setupPlayer();
    // Without a player, tries to create one and does not play; without a device, nothing.
    Q_INVOKABLE void togglePlay();
    // Stops playback and polling; the player itself stays.
    Q_INVOKABLE void stopPlayer();
    // The seek slider moved to seconds.
    Q_INVOKABLE void seek(double seconds);
    Q_INVOKABLE void skipBackward();
    Q_INVOKABLE void skipForward();

    // "%02d:%02d" of whole minutes and seconds, truncated; minutes are not wrapped into hours.
    Q_INVOKABLE static QString formatTime(double seconds);

signals:
    void sourceChanged();
    void hasPlayerChanged();
    void isPlayingChanged();
    void currentTimeChanged();
    void durationChanged();
    void volumeChanged();
    void hasOutputDeviceChanged();

private:
    void tick();
    void followOutputDevices();
    void attachOutput();
    void discardPlayer();
    void setPlaying(bool playing);
    void setCurrentTime(double seconds);
    void setDuration(double seconds);
    double playerPosition() const;
    void moveTo(double seconds);

    QUrl m_source;
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    QTimer *m_timer;
    QMediaDevices *m_devices;
    QTimer *m_devicePoll;
    bool m_hasOutputDevice = false;
    bool m_isPlaying = false;
    double m_currentTime = 0.0;
    double m_duration = 0.0;
    float m_volume = 0.8f;
};

} // namespace tonbrook
