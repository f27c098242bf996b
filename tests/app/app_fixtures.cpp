#include "app_fixtures.h"

#include "color_scheme.h"

#include "queue_test_support.h"
#include "support/test_media.h"
#include "support/testtools.h"
#include "waveform_plot.h"

#include <QAccessible>
#include <QMetaEnum>
#include <QSet>

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QQuickWindow>
#include <QTest>
#include <functional>

using tonbrook::ConversionJob;
using tonbrook::JobStatus;

AppFixtures::AppFixtures(QObject *parent) : QObject(parent) {}

QString AppFixtures::mediaFor(const QString &kind) const
{
    if (kind == QLatin1String("clip"))
        return queuetest::shortClip();
    if (kind == QLatin1String("audio"))
        return queuetest::mediumAudio();
    if (kind == QLatin1String("long"))
        return queuetest::longAudio();
    if (kind == QLatin1String("tracks")) {
        return testmedia::make(
            "app-two-tracks.mkv",
            testmedia::patternInput({320, 180}, 25, 2.0) +
                QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=2",
                            "-f", "lavfi", "-i", "sine=frequency=660:sample_rate=44100:duration=2",
                            "-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:v", "mpeg4", "-c:a",
                            "flac", "-shortest"});
    }
    if (kind == QLatin1String("burst")) {
        // Silence, a loud burst from 10 to 12 s and a quieter tone from 30 to 40 s.
        // With pictures, as the files it stands for have them.
        return testmedia::make(
            "app-burst.mkv", testmedia::patternInput({160, 90}, 5, 45.0) +
                                 QStringList{"-f", "lavfi", "-i",
                                             "aevalsrc=exprs='0.9*between(t,10,12)*sin(2*PI*440*t)"
                                             "+0.2*between(t,30,40)*sin(2*PI*300*t)':s=48000:d=45",
                                             "-c:v", "mpeg4", "-c:a", "flac", "-shortest"});
    }
    if (kind == QLatin1String("no-audio"))
        return testmedia::make("app-no-audio.mkv", testmedia::patternInput({160, 90}, 5, 2.0) +
                                                       QStringList{"-c:v", "mpeg4"});
    if (kind == QLatin1String("two-shapes")) {
        // Two tracks of 4 s: the first sounds in its first half, the second in its second.
        return testmedia::make(
            "app-two-shapes.mkv",
            {"-f", "lavfi", "-i", "aevalsrc=exprs='0.8*lt(t,2)*sin(2*PI*440*t)':s=48000:d=4", "-f",
             "lavfi", "-i", "aevalsrc=exprs='0.8*gte(t,2)*sin(2*PI*660*t)':s=48000:d=4", "-map",
             "0:a", "-map", "1:a", "-c:a", "flac"});
    }
    if (kind == QLatin1String("low-rate")) {
        // 22.05 kHz, where an MP3 carries at most 160 kbit/s.
        return testmedia::make(
            "app-low-rate.mkv",
            {"-f", "lavfi", "-i", "sine=sample_rate=22050:duration=2", "-c:a", "flac"});
    }
    if (kind.startsWith(QLatin1String("tiny-"))) {
        // "tiny-8x8": a few pixels of one colour, as a browser's in-page recorder may write.
        return testmedia::make(
            QStringLiteral("app-%1.webm").arg(kind),
            {"-f", "lavfi", "-i",
             QStringLiteral("color=c=0xc82828:s=%1:r=10:d=1,format=rgb24").arg(kind.mid(5)), "-f",
             "lavfi", "-i", "sine=duration=1", "-pix_fmt", "yuv420p", "-c:v", "libvpx", "-c:a",
             "libvorbis", "-shortest"});
    }
    if (kind == QLatin1String("broken"))
        return testmedia::writeBytes("app-broken.mp4", "this is not a video file");
    qFatal("unknown media kind %s", qPrintable(kind));
}

ConversionJob *AppFixtures::makeJob(const QString &path)
{
    if (path.isEmpty())
        qFatal("ffmpeg could not make the test media");
    return new ConversionJob(QUrl::fromLocalFile(path), QUrl::fromLocalFile(m_outputs.path()), {},
                             this);
}

ConversionJob *AppFixtures::pendingJob(const QString &kind)
{
    return makeJob(mediaFor(kind));
}

ConversionJob *AppFixtures::inspectingJob(const QString &kind)
{
    ConversionJob *job = pendingJob(kind);
    job->inspect();
    return job;
}

bool AppFixtures::waitForStatus(ConversionJob *job, int status, int timeoutMs)
{
    const auto wanted = JobStatus::Case(status);
    return QTest::qWaitFor([&] { return job->status().is(wanted); }, timeoutMs);
}

ConversionJob *AppFixtures::readyJob(const QString &kind)
{
    ConversionJob *job = inspectingJob(kind);
    if (!waitForStatus(job, int(JobStatus::Case::ready)))
        qWarning("job for %s did not become ready: %s", qPrintable(kind),
                 qPrintable(job->status().error()));
    return job;
}

ConversionJob *AppFixtures::readyJobNamed(const QString &fileName)
{
    const QString path = m_outputs.filePath(QStringLiteral("sources/") + fileName);
    queuetest::copyTo(queuetest::shortClip(), path);
    ConversionJob *job = makeJob(path);
    job->inspect();
    waitForStatus(job, int(JobStatus::Case::ready));
    return job;
}

ConversionJob *AppFixtures::convertingJob()
{
    ConversionJob *job = readyJob(QStringLiteral("long"));
    job->startExtraction();
    const bool reported = QTest::qWaitFor([job] {
        return job->status().is(JobStatus::Case::converting) && job->status().progress() > 0;
    });
    if (!reported)
        qWarning("no progress report arrived: %s", qPrintable(job->status().title()));
    return job;
}

ConversionJob *AppFixtures::completedJob()
{
    ConversionJob *job = readyJob(QStringLiteral("clip"));
    job->startExtraction();
    if (!waitForStatus(job, int(JobStatus::Case::completed)))
        qWarning("extraction did not complete: %s", qPrintable(job->status().error()));
    return job;
}

ConversionJob *AppFixtures::failedJob()
{
    ConversionJob *job = inspectingJob(QStringLiteral("broken"));
    waitForStatus(job, int(JobStatus::Case::failed));
    return job;
}

ConversionJob *AppFixtures::cancelledJob()
{
    ConversionJob *job = readyJob(QStringLiteral("clip"));
    job->cancel();
    return job;
}

QUrl AppFixtures::shortMp3() const
{
    return QUrl::fromLocalFile(testmedia::make(
        "app-preview.mp3", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3",
                            "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k"}));
}

QUrl AppFixtures::missingFile() const
{
    return QUrl::fromLocalFile(m_outputs.filePath(QStringLiteral("nowhere/missing.mp3")));
}

QUrl AppFixtures::pngImage()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    const QString path = m_outputs.filePath(QStringLiteral("art.png"));
    image.save(path, "PNG");
    return QUrl::fromLocalFile(path);
}

bool AppFixtures::addAudioSink() const
{
    const auto result = testtools::run(QStringLiteral("pactl"),
                                       {"load-module", "module-null-sink", "sink_name=late_sink"});
    if (result.exitCode != 0)
        qWarning("pactl failed: %s", result.err.constData());
    return result.exitCode == 0;
}

QUrl AppFixtures::textNamedPng()
{
    const QString path = m_outputs.filePath(QStringLiteral("not-art.png"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("plain text, not an image");
    return QUrl::fromLocalFile(path);
}

qint64 AppFixtures::fileSize(const QUrl &file) const
{
    return QFileInfo(file.toLocalFile()).size();
}

QVariantMap AppFixtures::settingsOf(ConversionJob *job) const
{
    const tonbrook::AudioExtractionSettings &s = job->settings();
    const auto optional = [](const std::optional<double> &v) {
        return v ? QVariant(*v) : QVariant::fromValue(nullptr);
    };
    return {
        {"bitrate", s.bitrate.shortName()},
        {"sampleRate", s.sampleRate.rawValue()},
        {"channels", s.channels.rawValue()},
        {"normalizePeak", s.normalizePeak},
        {"loudnessTarget", optional(s.loudnessTarget)},
        {"loudnessLimiter", s.loudnessLimiter},
        {"trimStart", optional(s.trimStartSeconds)},
        {"trimEnd", optional(s.trimEndSeconds)},
        {"fadeIn", s.fadeInDuration},
        {"fadeOut", s.fadeOutDuration},
        {"embedCoverArt", s.embedCoverArt},
        {"selectedTrackIndex", s.selectedTrackIndex},
        {"sourceDuration", job->fileInfo() ? job->fileInfo()->duration : 0.0},
    };
}

void AppFixtures::setVolumeGain(ConversionJob *job, double decibels) const
{
    tonbrook::AudioExtractionSettings settings = job->settings();
    settings.volumeGainDb = decibels;
    job->setSettings(settings);
}

QVariantMap AppFixtures::metadataOf(ConversionJob *job) const
{
    const tonbrook::MediaMetadata &m = job->metadata();
    return {
        {"title", m.title},
        {"artist", m.artist},
        {"album", m.album},
        {"year", m.year},
        {"genre", m.genre},
        {"coverArtSize", m.coverArtData ? m.coverArtData->size() : qsizetype(-1)},
    };
}

namespace {

// The queue's notices are checked in the queue's own tests; here they would reach the desktop.
class SilentNotifier : public tonbrook::BatchNotifier {
public:
    void requestPermission() override {}
    void playCompletionSound() override {}
    void postNotification(const QString &, const QString &) override {}
};

} // namespace

tonbrook::ConversionQueue *AppFixtures::newQueue()
{
    auto *queue = new tonbrook::ConversionQueue(std::make_unique<SilentNotifier>(), this);
    queue->setWaveformStore(tonbrook::WaveformPlot::sharedStore());
    return queue;
}

QList<QUrl> AppFixtures::clipCopies(const QString &prefix, int count)
{
    const QString folder = m_outputs.filePath(QStringLiteral("copies-%1").arg(++m_folders));
    QList<QUrl> urls;
    for (int i = 1; i <= count; ++i) {
        const QString path = QStringLiteral("%1/%2-%3.mp4").arg(folder, prefix).arg(i);
        if (!queuetest::copyTo(queuetest::shortClip(), path))
            qFatal("could not copy the clip to %s", qPrintable(path));
        urls << QUrl::fromLocalFile(path);
    }
    return urls;
}

QUrl AppFixtures::mixedFolder()
{
    const QString folder = m_outputs.filePath(QStringLiteral("mixed-%1").arg(++m_folders));
    const QString clip = queuetest::shortClip();
    queuetest::copyTo(clip, folder + QStringLiteral("/clip.MOV"));
    queuetest::copyTo(clip, folder + QStringLiteral("/.hidden.mp4"));
    queuetest::copyTo(clip, folder + QStringLiteral("/sub/clip2.mkv"));
    QFile notes(folder + QStringLiteral("/notes.txt"));
    if (notes.open(QIODevice::WriteOnly))
        notes.write("not a video");
    return QUrl::fromLocalFile(folder);
}

QStringList AppFixtures::pathsOf(const QList<QUrl> &urls) const
{
    QStringList paths;
    for (const QUrl &url : urls)
        paths << url.toLocalFile();
    return paths;
}

void AppFixtures::dragOver(QQuickItem *item, const QList<QUrl> &urls, bool drop)
{
    QQuickWindow *window = item->window();
    const QPointF at = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    // Owned by the test: the events only borrow it.
    auto *data = new QMimeData;
    data->setParent(this);
    data->setUrls(urls);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    if (drop) {
        QDropEvent dropEvent(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &dropEvent);
    }
}

void AppFixtures::dragLeave(QQuickItem *item)
{
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(item->window(), &leave);
}

void AppFixtures::keyClick(QObject *window, int key, int modifiers)
{
    auto *target = qobject_cast<QWindow *>(window);
    if (!target)
        qFatal("keyClick needs a window");
    target->requestActivate();
    if (!QTest::qWaitForWindowActive(target))
        qWarning("the window did not become active");
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
}

QStringList AppFixtures::unnamedControls(QObject *window) const
{
    static const QSet<QAccessible::Role> controls{
        QAccessible::Button,   QAccessible::CheckBox,   QAccessible::RadioButton,
        QAccessible::ComboBox, QAccessible::Slider,     QAccessible::EditableText,
        QAccessible::SpinBox,  QAccessible::ButtonMenu, QAccessible::ListItem,
        QAccessible::MenuItem, QAccessible::PageTab,    QAccessible::List};
    QStringList unnamed;
    const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        if (!node || node->state().invisible)
            return;
        if (controls.contains(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
            const QObject *object = node->object();
            unnamed << QStringLiteral("%1 %2").arg(
                QString::fromLatin1(
                    QMetaEnum::fromType<QAccessible::Role>().valueToKey(node->role())),
                object ? object->objectName() : QString());
        }
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return unnamed;
}

void AppFixtures::useDarkPalette(bool dark) const
{
    QGuiApplication::setPalette(dark ? tonbrook::darkPalette() : tonbrook::lightPalette());
}
