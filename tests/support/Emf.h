#pragma once

#include <QByteArray>
#include <QRect>
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

// Text records hold their characters as UTF-16.
inline bool emfContainsText(const QByteArray &emf, const QString &text)
{
    return emf.contains(QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
}
