#include "model/output_mark.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace tonbrook {

namespace {

quint32 bigEndian(const char *p)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

quint32 synchsafe(const char *p)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return quint32(b[0] & 0x7F) << 21 | quint32(b[1] & 0x7F) << 14 | quint32(b[2] & 0x7F) << 7 |
           quint32(b[3] & 0x7F);
}

// One zero-terminated string of the given ID3 text encoding from the start of bytes; `used`
// receives the bytes it took with its terminator.
QString decodeText(char encoding, QByteArrayView bytes, qsizetype &used)
{
    const bool wide = encoding == 1 || encoding == 2;
    qsizetype end = 0;
    if (wide) {
        while (end + 1 < bytes.size() && (bytes[end] != 0 || bytes[end + 1] != 0))
            end += 2;
        used = std::min(bytes.size(), end + 2);
    } else {
        while (end < bytes.size() && bytes[end] != 0)
            ++end;
        used = std::min(bytes.size(), end + 1);
    }
    QByteArrayView text = bytes.first(std::min(end, bytes.size()));
    switch (encoding) {
    case 0:
        return QString::fromLatin1(text);
    case 3:
        return QString::fromUtf8(text);
    case 2:
        return QStringDecoder(QStringDecoder::Utf16BE).decode(text);
    default: {
        auto order = QStringDecoder::Utf16LE;
        if (text.size() >= 2 && uchar(text[0]) == 0xFE && uchar(text[1]) == 0xFF) {
            order = QStringDecoder::Utf16BE;
            text = text.sliced(2);
        } else if (text.size() >= 2 && uchar(text[0]) == 0xFF && uchar(text[1]) == 0xFE) {
            text = text.sliced(2);
        }
        return QStringDecoder(order).decode(text);
    }
    }
}

} // namespace

std::optional<QString> readSourceMark(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return std::nullopt;
    const int version = header[3];
    const char flags = header[5];
    // An unsynchronised tag is not one Tonbrook wrote, nor one kept by an editor from one.
    if ((version != 3 && version != 4) || (flags & 0x80) != 0)
        return std::nullopt;
    const qint64 tagEnd = 10 + qint64(synchsafe(header.constData() + 6));
    qint64 at = 10;
    if (flags & 0x40) {
        const QByteArray extended = file.read(4);
        if (extended.size() < 4)
            return std::nullopt;
        at += version == 3 ? 4 + qint64(bigEndian(extended.constData()))
                           : qint64(synchsafe(extended.constData()));
    }
    constexpr qint64 longestText = 65536;
    while (at + 10 <= tagEnd) {
        if (!file.seek(at))
            return std::nullopt;
        const QByteArray frame = file.read(10);
        if (frame.size() < 10 || frame[0] == 0) // padding
            return std::nullopt;
        const qint64 size = version == 3 ? qint64(bigEndian(frame.constData() + 4))
                                         : qint64(synchsafe(frame.constData() + 4));
        if (size > tagEnd - at - 10)
            return std::nullopt;
        if (frame.startsWith("TXXX") && size >= 2 && size <= longestText) {
            const QByteArray body = file.read(size);
            if (body.size() < size)
                return std::nullopt;
            const char encoding = body[0];
            qsizetype used = 0;
            const QByteArrayView rest = QByteArrayView(body).sliced(1);
            const QString description = decodeText(encoding, rest, used);
            if (description == QLatin1String(sourceMarkDescription)) {
                qsizetype ignored = 0;
                return decodeText(encoding, rest.sliced(used), ignored);
            }
        }
        at += 10 + size;
    }
    return std::nullopt;
}

bool isForeignFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    return !readSourceMark(path).has_value();
}

} // namespace tonbrook
