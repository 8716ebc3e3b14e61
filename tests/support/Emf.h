#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QStringList>
#include <QtEndian>

// What the tests read from an Enhanced Metafile: its header record.
struct EmfHeader {
    bool valid = false;
    // The picture frame in hundredths of a millimetre, edges inclusive.
    QRect frame;
    quint32 records = 0;
};

inline EmfHeader readEmfHeader(const QByteArray &emf)
{
    EmfHeader h;
    if (emf.size() < 88 || qFromLittleEndian<quint32>(emf.constData()) != 1 || emf.mid(40, 4) != " EMF")
        return h;
    const auto at = [&](int offset) { return qFromLittleEndian<qint32>(emf.constData() + offset); };
    h.valid = true;
    h.frame = QRect(QPoint(at(24), at(28)), QPoint(at(32), at(36)));
    h.records = qFromLittleEndian<quint32>(emf.constData() + 52);
    return h;
}

// How many records run whole from the header to the end of the file (the
// last an end-of-file record); 0 when they do not.
inline quint32 emfRecordsHeld(const QByteArray &emf)
{
    quint32 records = 0;
    quint32 type = 0;
    qsizetype at = 0;
    while (at + 8 <= emf.size()) {
        type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (size < 8 || quint64(at) + size > quint64(emf.size()))
            return 0;
        ++records;
        at += size;
    }
    return at == emf.size() && type == 14 ? records : 0;
}

// Text records hold their characters as UTF-16.
inline bool emfContainsText(const QByteArray &emf, const QString &text)
{
    return emf.contains(QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
}

// The text of every text record (EMR_EXTTEXTOUTW), in record order.
inline QStringList emfTexts(const QByteArray &emf)
{
    QStringList texts;
    for (qsizetype at = 0; at + 8 <= emf.size();) {
        const quint32 type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (size < 8 || quint64(at) + size > quint64(emf.size()))
            break;
        if (type == 84 && size >= 76) {
            const quint32 chars = qFromLittleEndian<quint32>(emf.constData() + at + 44);
            const quint32 offset = qFromLittleEndian<quint32>(emf.constData() + at + 48);
            if (offset + 2 * quint64(chars) <= size)
                texts << QString::fromUtf16(reinterpret_cast<const char16_t *>(emf.constData() + at + offset), chars);
        }
        at += size;
    }
    return texts;
}

// Whether any record draws a bitmap (the bit-block and DIB records, or an
// EMF+ image inside a comment record).
inline bool emfDrawsBitmap(const QByteArray &emf)
{
    static const QList<quint32> bitmapRecords{76, 77, 78, 79, 80, 81, 114, 116};
    for (qsizetype at = 0; at + 8 <= emf.size();) {
        const quint32 type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (bitmapRecords.contains(type))
            return true;
        // EMF+ records travel in comments: "EMF+" then records whose type
        // 0x401A is DrawImage and 0x401B DrawImagePoints.
        if (type == 70 && emf.mid(at + 12, 4) == "EMF+") {
            for (qsizetype p = at + 16; p + 12 <= at + size;) {
                const quint16 plusType = qFromLittleEndian<quint16>(emf.constData() + p);
                if (plusType == 0x401A || plusType == 0x401B)
                    return true;
                const quint32 plusSize = qFromLittleEndian<quint32>(emf.constData() + p + 4);
                if (plusSize < 12)
                    break;
                p += plusSize;
            }
        }
        if (size < 8)
            break;
        at += size;
    }
    return false;
}

// The picture as a reader that knows no EMF+ sees it: without the comment
// records that carry EMF+.
inline QByteArray withoutEmfPlus(const QByteArray &emf)
{
    QByteArray plain;
    quint32 records = 0;
    for (qsizetype at = 0; at + 8 <= emf.size();) {
        const quint32 type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (size < 8 || quint64(at) + size > quint64(emf.size()))
            return {};
        if (type != 70 || size < 16 || emf.mid(at + 12, 4) != "EMF+") {
            plain += emf.mid(at, size);
            ++records;
        }
        at += size;
    }
    qToLittleEndian<quint32>(quint32(plain.size()), plain.data() + 48);
    qToLittleEndian<quint32>(records, plain.data() + 52);
    return plain;
}
