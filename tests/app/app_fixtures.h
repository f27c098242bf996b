#pragma once

#include "queue/conversion_job.h"
#include "queue/conversion_queue.h"

#include <QList>
#include <QQuickItem>
#include <QStringList>

#include <QObject>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantMap>

// Real jobs over media made with the ffmpeg command line, in the states the views show.
// Waiting helpers spin the event loop until the job really gets there.
class AppFixtures : public QObject {
    Q_OBJECT

public:
    explicit AppFixtures(QObject *parent = nullptr);

    // kind: "clip" (2 s 320x240 video with one stereo track and a title tag), "audio" (audio
    // only), "tracks" (video with two audio tracks), "long" (20 min of audio), "broken".
    Q_INVOKABLE tonbrook::ConversionJob *pendingJob(const QString &kind);
    // Inspection started; the job stays inspecting until the event loop delivers the result.
    Q_INVOKABLE tonbrook::ConversionJob *inspectingJob(const QString &kind);
    Q_INVOKABLE tonbrook::ConversionJob *readyJob(const QString &kind);
    // The long file, extracting, after its first progress report.
    Q_INVOKABLE tonbrook::ConversionJob *convertingJob();
    Q_INVOKABLE tonbrook::ConversionJob *completedJob();
    // The broken file, after its inspection failed.
    Q_INVOKABLE tonbrook::ConversionJob *failedJob();
    Q_INVOKABLE tonbrook::ConversionJob *cancelledJob();
    // A copy of the clip under a long file name.
    Q_INVOKABLE tonbrook::ConversionJob *readyJobNamed(const QString &fileName);
    // Spins the event loop until the job's status is `status` (a JobView.Status) or time runs out.
    Q_INVOKABLE bool waitForStatus(tonbrook::ConversionJob *job, int status, int timeoutMs = 60000);

    // 3 s of 44.1 kHz stereo MP3 made by ffmpeg's LAME encoder.
    Q_INVOKABLE QUrl shortMp3() const;
    Q_INVOKABLE QUrl missingFile() const;
    // A 40x30 PNG, and a file with a .png name that holds text.
    Q_INVOKABLE QUrl pngImage();
    // Adds an output device to the test's private sound server, as plugging in a headset does.
    Q_INVOKABLE bool addAudioSink() const;
    Q_INVOKABLE QUrl textNamedPng();
    Q_INVOKABLE qint64 fileSize(const QUrl &file) const;

    // The job's C++ values, for checking what the views wrote. Absent trims read as null.
    Q_INVOKABLE QVariantMap settingsOf(tonbrook::ConversionJob *job) const;
    // The gain has no control of its own; a job's settings file or the CLI sets it.
    Q_INVOKABLE void setVolumeGain(tonbrook::ConversionJob *job, double decibels) const;
    // Cover art size is -1 when the job has none.
    Q_INVOKABLE QVariantMap metadataOf(tonbrook::ConversionJob *job) const;

    // A real queue whose batch notices go nowhere; owned by the fixtures.
    Q_INVOKABLE tonbrook::ConversionQueue *newQueue();
    // Copies of the clip, named prefix-1.mp4 and up, in a folder of their own.
    Q_INVOKABLE QList<QUrl> clipCopies(const QString &prefix, int count);
    // A folder holding clip.MOV, notes.txt, .hidden.mp4 and sub/clip2.mkv.
    Q_INVOKABLE QUrl mixedFolder();
    // Paths, not URLs, as the desktop passes them on a command line.
    Q_INVOKABLE QStringList pathsOf(const QList<QUrl> &urls) const;
    // A file drag from outside the window, delivered as the window system delivers it: enter
    // and move over the item's centre, then a drop when `drop` is set.
    Q_INVOKABLE void dragOver(QQuickItem *item, const QList<QUrl> &urls, bool drop = false);
    Q_INVOKABLE void dragLeave(QQuickItem *item);
    // A key press and release sent to a window of its own (not the test's).
    Q_INVOKABLE void keyClick(QObject *window, int key, int modifiers);
    // Walks the window's accessibility tree as a screen reader does and lists every shown
    // control (button, check box, switch, combo box, slider, field, list row) that has no
    // name, as "role objectName".
    Q_INVOKABLE QStringList unnamedControls(QObject *window) const;
    // Deletes the object at once, as quitting does, not later as destroy() does.
    Q_INVOKABLE void deleteNow(QObject *object) const { delete object; }
    // Switches the application between the app's light and dark palettes, as the desktop's
    // preference does.
    Q_INVOKABLE void useDarkPalette(bool dark) const;

private:
    QString mediaFor(const QString &kind) const;
    tonbrook::ConversionJob *makeJob(const QString &path);

    QTemporaryDir m_outputs;
    int m_folders = 0;
};
