#include "model/cover_art.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace tonbrook {

namespace {

const QString sessionPrefix = QStringLiteral("session-");
const QString lockName = QStringLiteral("lock");
// A folder without a lock file is a session still starting, or one that died while starting.
constexpr qint64 unlockedFolderAgeSeconds = 3600;

QByteArray sha1(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

// Removes the session folders below base whose owner has ended: their lock can be taken.
void sweepEndedSessions(const QString &base, const QString &own)
{
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addSecs(-unlockedFolderAgeSeconds);
    const QFileInfoList folders =
        QDir(base).entryInfoList({sessionPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &folder : folders) {
        const QString path = folder.absoluteFilePath();
        if (path == own)
            continue;
        const int fd =
            ::open(QFile::encodeName(path + u'/' + lockName).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                QDir(path).removeRecursively();
            ::close(fd);
        } else if (errno == ENOENT && folder.lastModified().toUTC() < oldest) {
            QDir(path).removeRecursively();
        }
    }
}

// A new session folder below base, locked through lockFd; empty when it cannot be made.
QString makeSessionFolder(const QString &base, int &lockFd)
{
    if (!QDir().mkpath(base))
        return {};
    QTemporaryDir made(base + u'/' + sessionPrefix + QStringLiteral("XXXXXX"));
    if (!made.isValid())
        return {};
    // Locked under another name and then renamed into place, so that no sweep ever sees the
    // lock file unlocked while this process lives.
    const QString staging = made.filePath(lockName + QStringLiteral(".staging"));
    const int fd =
        ::open(QFile::encodeName(staging).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(QFile::encodeName(staging).constData(),
                 QFile::encodeName(made.filePath(lockName)).constData()) != 0) {
        ::close(fd);
        return {};
    }
    made.setAutoRemove(false);
    lockFd = fd;
    return made.path();
}

struct Session {
    std::recursive_mutex mutex;
    bool begun = false;
    bool ended = false;
    QString folder;
    int lockFd = -1;
    quint64 filesMade = 0;
    QHash<QByteArray, std::weak_ptr<const CoverArt::Stored>> byHash;

    // The folder, made on first use; empty once ended or when none could be made.
    QString activeFolder()
    {
        if (ended)
            return {};
        if (!begun) {
            begun = true;
            std::atexit(endCacheSession);
            const QString cache =
                QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
            QString base = cache.isEmpty() ? QString() : cache + QStringLiteral("/tonbrook");
            if (!base.isEmpty())
                folder = makeSessionFolder(base, lockFd);
            if (folder.isEmpty()) {
                base =
                    QDir::tempPath() + QStringLiteral("/tonbrook-") + QString::number(::getuid());
                folder = makeSessionFolder(base, lockFd);
            }
            if (!folder.isEmpty())
                sweepEndedSessions(base, folder);
        }
        return folder;
    }
};

// Never destroyed: cover art held by other static objects may outlive every destructor.
Session &session()
{
    static Session *const instance = new Session;
    return *instance;
}

} // namespace

struct CoverArt::Stored {
    QString path; // empty when the bytes are in memory
    QByteArray memory;
    qsizetype size = 0;
    QByteArray hash;

    ~Stored()
    {
        if (path.isEmpty())
            return;
        Session &s = session();
        const std::lock_guard lock(s.mutex);
        QFile::remove(path);
        if (const auto it = s.byHash.constFind(hash); it != s.byHash.cend() && it->expired())
            s.byHash.erase(it);
    }
};

namespace {

TranslatableText unavailableText(const TranslatableText &reason)
{
    return TranslatableText(
        "CoverArt",
        QT_TRANSLATE_NOOP("CoverArt", "The cover art could not be read back from Tonbrook's "
                                      "cache (%1). Inspect the file again or choose the cover "
                                      "art again."),
        {reason});
}

} // namespace

CoverArtUnavailable::CoverArtUnavailable(const TranslatableText &reason)
    : std::runtime_error(unavailableText(reason).english().toStdString()),
      m_text(unavailableText(reason))
{
}

CoverArt::CoverArt(const QByteArray &bytes)
{
    auto stored = std::make_shared<Stored>();
    stored->size = bytes.size();
    stored->hash = sha1(bytes);

    Session &s = session();
    std::unique_lock lock(s.mutex);
    const QString folder = bytes.isEmpty() ? QString() : s.activeFolder();
    if (!folder.isEmpty()) {
        if (auto same = s.byHash.value(stored->hash).lock(); same && same->size == stored->size) {
            m_stored = std::move(same);
            return;
        }
        const QString path =
            folder + u'/' + QString::number(++s.filesMade) + QStringLiteral(".art");
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
            file.write(bytes) == bytes.size() && file.flush()) {
            stored->path = path;
            s.byHash.insert(stored->hash, stored);
        } else {
            file.remove();
        }
    }
    lock.unlock();
    if (stored->path.isEmpty())
        stored->memory = bytes;
    m_stored = std::move(stored);
}

qsizetype CoverArt::size() const noexcept
{
    return m_stored->size;
}

QByteArray CoverArt::hash() const
{
    return m_stored->hash;
}

QString CoverArt::cachePath() const
{
    return m_stored->path;
}

std::optional<QByteArray> CoverArt::read() const
{
    if (m_stored->path.isEmpty())
        return m_stored->memory;
    QFile file(m_stored->path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != m_stored->size)
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (bytes.size() != m_stored->size || sha1(bytes) != m_stored->hash)
        return std::nullopt;
    return bytes;
}

QByteArray CoverArt::bytes() const
{
    if (std::optional<QByteArray> bytes = read())
        return *std::move(bytes);
    const QString &path = m_stored->path;
    const auto file = TranslatableText::verbatim(path);
    throw CoverArtUnavailable(
        QFileInfo::exists(path)
            ? TranslatableText("CoverArt", QT_TRANSLATE_NOOP("CoverArt", "%1 has changed"), {file})
            : TranslatableText("CoverArt", QT_TRANSLATE_NOOP("CoverArt", "%1 is missing"), {file}));
}

bool operator==(const CoverArt &a, const CoverArt &b)
{
    return a.m_stored == b.m_stored ||
           (a.m_stored->size == b.m_stored->size && a.m_stored->hash == b.m_stored->hash);
}

QString cacheSessionFolder()
{
    Session &s = session();
    const std::lock_guard lock(s.mutex);
    return s.activeFolder();
}

void endCacheSession()
{
    Session &s = session();
    const std::lock_guard lock(s.mutex);
    if (s.ended)
        return;
    s.ended = true;
    s.byHash.clear();
    if (!s.folder.isEmpty())
        QDir(s.folder).removeRecursively();
    if (s.lockFd >= 0)
        ::close(s.lockFd);
    s.lockFd = -1;
}

} // namespace tonbrook
