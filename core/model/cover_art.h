#pragma once

#include "model/translatable_text.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

namespace tonbrook {

// Cover art bytes read back from the cache no longer match what was stored.
class CoverArtUnavailable : public std::runtime_error {
public:
    // reason: the cache file's path with what became of it.
    explicit CoverArtUnavailable(const TranslatableText &reason);

    // what() in English or in the user's language.
    const TranslatableText &text() const noexcept { return m_text; }

private:
    TranslatableText m_text;
};

// Encoded image bytes kept on disk, in this process's cache folder, rather than in memory: a
// queued job holds only this small handle. Copies share one cache file, which goes when the
// last copy does; equal bytes stored twice share one file as well. When the cache cannot be
// written, the bytes stay in memory instead.
class CoverArt {
public:
    // Stores the bytes (implicit, so that metadata can be written with plain bytes).
    CoverArt(const QByteArray &bytes);

    qsizetype size() const noexcept;
    // SHA-1 of the bytes.
    QByteArray hash() const;
    // The bytes, or nothing when the cache file has vanished or no longer matches size and hash.
    std::optional<QByteArray> read() const;
    // The bytes; throws CoverArtUnavailable, whose text is fit to show, when read() has none.
    QByteArray bytes() const;
    // The cache file, or empty when the bytes are held in memory.
    QString cachePath() const;

    // The same bytes (size and hash), wherever they are kept.
    friend bool operator==(const CoverArt &a, const CoverArt &b);

    struct Stored; // the shared storage, defined with the cache

private:
    std::shared_ptr<const Stored> m_stored;
};

// The folder this process keeps cache files in, made on first use:
// $XDG_CACHE_HOME/tonbrook/session-XXXXXX (the temporary folder when that cannot be made),
// locked for the process's life. Making it first removes the folders of sessions whose process
// has ended without removing its own. Empty when no folder could be made. Thread-safe.
QString cacheSessionFolder();
// Removes this process's cache folder; later art stays in memory. Runs by itself at exit();
// call it before leaving any other way (_exit). Idempotent.
void endCacheSession();

// Holds the cache session for the scope of main(): begins it (sweeping abandoned folders) and
// ends it on the way out.
class CacheSessionScope {
public:
    CacheSessionScope() { cacheSessionFolder(); }
    ~CacheSessionScope() { endCacheSession(); }
    CacheSessionScope(const CacheSessionScope &) = delete;
    CacheSessionScope &operator=(const CacheSessionScope &) = delete;
};

} // namespace tonbrook
