#include "systemnames.h"

#include <fcntl.h>

namespace ItemCsv {
namespace {

// The length of the valid UTF-8 sequence that `bytes` starts with, or 0. A sequence is valid
// when Qt decodes it to a character that encodes to the same bytes again, which rules out
// overlong forms, surrogates and what lies past U+10FFFF.
qsizetype sequenceLength(QByteArrayView bytes)
{
    const auto lead = uchar(bytes.front());
    const qsizetype length = lead < 0x80 ? 1
        : lead < 0xC2                    ? 0
        : lead < 0xE0                    ? 2
        : lead < 0xF0                    ? 3
        : lead < 0xF5                    ? 4
                                         : 0;
    if (length == 0 || length > bytes.size())
        return 0;
    const QByteArrayView sequence = bytes.first(length);
    return QString::fromUtf8(sequence).toUtf8() == sequence ? length : 0;
}

// Decoded text never holds a lone low surrogate, so one in U+DC80 to U+DCFF stands for a byte.
bool isByte(QStringView name, qsizetype at)
{
    const char16_t character = name[at].unicode();
    return character >= 0xDC80 && character <= 0xDCFF
        && (at == 0 || !name[at - 1].isHighSurrogate());
}

} // namespace

QByteArray systemName(QStringView name)
{
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype at = 0; at < name.size(); ++at) {
        if (isByte(name, at)) {
            bytes += name.sliced(start, at - start).toUtf8();
            bytes += char(name[at].unicode() - 0xDC00);
            start = at + 1;
        }
    }
    return bytes + name.sliced(start).toUtf8();
}

QString nameFromSystem(QByteArrayView bytes)
{
    QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() == bytes)
        return decoded;
    QString name;
    qsizetype start = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        if (const qsizetype length = sequenceLength(bytes.sliced(at))) {
            at += length;
            continue;
        }
        name += QString::fromUtf8(bytes.sliced(start, at - start));
        name += QChar(char16_t(0xDC00 + uchar(bytes[at])));
        start = ++at;
    }
    return name + QString::fromUtf8(bytes.sliced(start));
}

QString shownName(QStringView name)
{
    QString shown = name.toString();
    for (qsizetype at = 0; at < name.size(); ++at) {
        if (isByte(name, at))
            shown[at] = QChar::ReplacementCharacter;
    }
    return shown;
}

bool isUnreadableName(FileSystem &fileSystem, const QString &fileName)
{
    if (!fileName.contains(QChar::ReplacementCharacter))
        return false;
    QByteArray folder = fileName.startsWith(u'/') ? "/" : ".";
    for (const QString &part : fileName.split(u'/', Qt::SkipEmptyParts)) {
        QList<QByteArray> names;
        if (part.contains(QChar::ReplacementCharacter)
            && fileSystem.listFolder(AT_FDCWD, folder.constData(), names) == 0) {
            for (const QByteArray &name : names) {
                const QString decoded = QString::fromUtf8(name);
                if (decoded == part && decoded.toUtf8() != name)
                    return true;
            }
        }
        folder += '/' + systemName(part);
    }
    return false;
}

} // namespace ItemCsv
