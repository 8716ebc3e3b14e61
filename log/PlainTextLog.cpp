#include "log/PlainTextLog.h"

#include "platform/RegularFile.h"

#include <QByteArray>


namespace {

constexpr qsizetype kLooked = 4096;

// Word 97-2003 and other compound files, and every ZIP-based format (Word
// 2007 and later, OpenDocument).
bool hasBinarySignature(const QByteArray &head)
{
    return head.startsWith("\xD0\xCF\x11\xE0") || head.startsWith("PK\x03\x04");
}

// What the office also opens as a document; a text editor or a server may
// put a byte order mark or blank lines before it.
bool hasTextDocumentSignature(const QByteArray &head)
{
    qsizetype start = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < head.size() && QByteArrayView(" \t\r\n").contains(head[start]))
        ++start;
    const QByteArray opening = head.mid(start, 16).toLower();
    for (const char *signature : {"{\\rtf", "%pdf", "<?xml", "<html", "<!doctype"})
        if (opening.startsWith(signature))
            return true;
    return false;
}

// Text of any ASCII-compatible encoding has no control bytes but these.
bool hasControlBytes(const QByteArray &head)
{
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F)
            return true;
    }
    return false;
}

} // namespace

bool isPlainTextLog(const QString &path)
{
    // A terminal, a pipe or a device given as the log (/dev/stderr) is not
    // opened here at all; one swapped in since does not block the run.
    const platform::RegularFileStart head = platform::readRegularFile(path, kLooked);
    if (head.error)
        return true;
    return !hasBinarySignature(head.bytes) && !hasTextDocumentSignature(head.bytes) && !hasControlBytes(head.bytes);
}
