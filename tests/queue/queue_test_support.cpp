#include "queue_test_support.h"

#include "support/test_media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace queuetest {

namespace {

// A tone compresses well, so twenty minutes stay small on disk.
QStringList flacAudio(double seconds)
{
    return {"-f",   "lavfi",
            "-i",   QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds),
            "-ac",  "2",
            "-c:a", "flac"};
}

} // namespace

QString shortClip()
{
    return testmedia::make("queue-clip.mp4",
                           testmedia::patternInput({320, 240}, 25, 2.0) +
                               QStringList{"-f", "lavfi", "-i",
                                           "sine=frequency=440:sample_rate=44100:duration=2", "-ac",
                                           "2", "-c:v", "mpeg4", "-c:a", "aac", "-metadata",
                                           "title=Harbour Lights", "-shortest"});
}

QString mediumAudio()
{
    return testmedia::make("queue-medium.mkv", flacAudio(60));
}

QString longAudio()
{
    return testmedia::make("queue-long.mkv", flacAudio(1200));
}

QString videoOnly()
{
    return testmedia::make("queue-video-only.mp4", testmedia::patternInput({160, 120}, 25, 2.0) +
                                                       QStringList{"-c:v", "mpeg4"});
}

bool copyTo(const QString &source, const QString &destination)
{
    QDir().mkpath(QFileInfo(destination).absolutePath());
    QFile::remove(destination);
    return !source.isEmpty() && QFile::copy(source, destination);
}

void ThreadCheck::hit()
{
    if (QThread::currentThread() != thread())
        ++offThreadEmissions;
}

PropertyWatch::PropertyWatch(QObject *object)
    : m_object(object), m_threadCheck(std::make_unique<ThreadCheck>())
{
    const QMetaObject *meta = object->metaObject();
    const QMetaMethod hit =
        m_threadCheck->metaObject()->method(m_threadCheck->metaObject()->indexOfSlot("hit()"));
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.hasNotifySignal())
            continue;
        QObject::connect(object, property.notifySignal(), m_threadCheck.get(), hit,
                         Qt::DirectConnection);
        m_entries.push_back({property,
                             std::make_unique<QSignalSpy>(object, property.notifySignal()),
                             property.read(object), 0});
    }
}

QStringList PropertyWatch::check()
{
    QStringList problems;
    for (Entry &entry : m_entries) {
        const QVariant now = entry.property.read(m_object);
        // Values without equality (the inspection result) are checked by their own tests.
        const bool changed = now.metaType().isEqualityComparable() && now != entry.last;
        if (changed && entry.spy->count() == entry.seen)
            problems << QStringLiteral("%1 changed without a signal").arg(entry.property.name());
        entry.last = now;
        entry.seen = entry.spy->count();
    }
    if (m_threadCheck->offThreadEmissions > 0)
        problems << QStringLiteral("%1 notify signals off the owning thread")
                        .arg(m_threadCheck->offThreadEmissions);
    return problems;
}

int PropertyWatch::emissions(const char *property) const
{
    for (const Entry &entry : m_entries) {
        if (qstrcmp(entry.property.name(), property) == 0)
            return int(entry.spy->count());
    }
    return -1;
}

} // namespace queuetest
