#include "platform/NativePath.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <QStringDecoder>

namespace platform {
namespace {

constexpr char16_t kKeptByte = 0xDC00;

// A character beyond U+FFFF is a high surrogate followed by a low one, and
// one in eight of those low halves lies in the kept bytes' range: only a low
// surrogate with no high one before it is a kept byte.
bool isKeptByte(QStringView path, qsizetype at)
{
    const char16_t c = path[at].unicode();
    return c >= 0xDC80 && c <= 0xDCFF && (at == 0 || !path[at - 1].isHighSurrogate());
}

bool holdsKeptBytes(QStringView path)
{
    for (qsizetype at = 0; at < path.size(); ++at)
        if (isKeptByte(path, at))
            return true;
    return false;
}

// Length of the valid UTF-8 sequence at p, or 0.
int validSequence(const unsigned char *p, qsizetype left)
{
    const unsigned char b = p[0];
    int length = 0;
    char32_t min = 0;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        length = 2, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF)
        length = 3, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4)
        length = 4, min = 0x10000;
    else
        return 0;
    if (left < length)
        return 0;
    char32_t code = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QStringList nativeArguments(int argc, char **argv, int first)
{
    QStringList arguments;
    for (int i = first; i < argc; ++i)
        arguments << fromNativePath(argv[i]);
    return arguments;
}

QString fromNativePath(const QByteArray &bytes)
{
    QString path;
    path.reserve(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = validSequence(p + i, bytes.size() - i);
        if (length == 0) {
            path += QChar(char16_t(kKeptByte + p[i]));
            ++i;
            continue;
        }
        path += QString::fromUtf8(bytes.constData() + i, length);
        i += length;
    }
    return path;
}

QByteArray toNativePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype run = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isKeptByte(path, i))
            continue;
        bytes += QStringView(path).mid(run, i - run).toUtf8();
        if (i < path.size())
            bytes += char(path[i].unicode() - kKeptByte);
        run = i + 1;
    }
    return bytes;
}

QString absoluteNativePath(const QString &path)
{
    if (path.startsWith('/'))
        return path;
    char *folder = getcwd(nullptr, 0);
    if (!folder)
        return path;
    QString absolute = fromNativePath(folder);
    free(folder);
    return (absolute.endsWith('/') ? absolute : absolute + '/') + path;
}

bool isNativeFolder(const QString &path)
{
    struct stat info {};
    return stat(toNativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isNativeFile(const QString &path)
{
    struct stat info {};
    return stat(toNativePath(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

QString readablePath(const QString &path)
{
    if (!holdsKeptBytes(path))
        return path;
    QStringDecoder gb18030("GB18030");
    const QString text = gb18030.decode(toNativePath(path));
    if (gb18030.isValid() && !gb18030.hasError())
        return text;
    QString shown = path;
    for (qsizetype at = 0; at < shown.size(); ++at)
        if (isKeptByte(path, at))
            shown[at] = QChar::ReplacementCharacter;
    return shown;
}

} // namespace platform
