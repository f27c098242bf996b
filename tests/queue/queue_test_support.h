#pragma once

#include "queue/job_status.h"

#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariant>

#include <memory>
#include <vector>

namespace queuetest {

// 2 s of 320x240 video with 44.1 kHz stereo AAC and a title tag, as MP4.
QString shortClip();
// 60 s of stereo FLAC audio in Matroska: a few hundred milliseconds of work for the engine.
QString mediumAudio();
// 20 min of stereo FLAC audio in Matroska: long enough to act while it is being extracted.
QString longAudio();
// 2 s of video and no audio track.
QString videoOnly();
// Copies a file to destination (creating its folder); false on failure.
bool copyTo(const QString &source, const QString &destination);

// Counts notify signals that were emitted off the owning thread.
class ThreadCheck : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    int offThreadEmissions = 0;

public slots:
    void hit();
};

// Watches every notifying property of an object: at each check, a property whose value has
// changed since the last check must have emitted its notify signal, on the owning thread.
class PropertyWatch {
public:
    explicit PropertyWatch(QObject *object);

    // Problems since the last check, empty when all is well.
    QStringList check();
    // Emissions of the named property's notify signal so far.
    int emissions(const char *property) const;
    int offThreadEmissions() const { return m_threadCheck->offThreadEmissions; }

private:
    struct Entry {
        QMetaProperty property;
        std::unique_ptr<QSignalSpy> spy;
        QVariant last;
        qsizetype seen = 0;
    };

    QObject *m_object;
    std::unique_ptr<ThreadCheck> m_threadCheck;
    std::vector<Entry> m_entries;
};

} // namespace queuetest

namespace tonbrook {

// Readable failures in QCOMPARE.
inline char *toString(const JobStatus &status)
{
    return qstrdup(QStringLiteral("%1(progress %2, speed \"%3\", eta \"%4\", url %5, size %6, "
                                  "duration %7, error \"%8\")")
                       .arg(status.title())
                       .arg(status.progress())
                       .arg(status.speed(), status.eta(), status.outputURL().toString())
                       .arg(status.outputSize())
                       .arg(status.duration())
                       .arg(status.error())
                       .toUtf8()
                       .constData());
}

} // namespace tonbrook
