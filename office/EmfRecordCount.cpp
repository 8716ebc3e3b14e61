#include "office/EmfRecordCount.h"

#include <QtEndian>

namespace office {
namespace {

constexpr qsizetype kHeaderSize = 88;
constexpr qsizetype kRecordCountAt = 52;
constexpr quint32 kEndOfFile = 14;

} // namespace

void correctRecordCount(QByteArray &emf)
{
    if (emf.size() < kHeaderSize)
        return;
    quint32 records = 0;
    qsizetype at = 0;
    quint32 type = 0;
    while (at < emf.size()) {
        if (emf.size() - at < 8)
            return;
        type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (size < 8 || size % 4 != 0 || size > quint64(emf.size() - at))
            return;
        ++records;
        at += size;
    }
    if (type != kEndOfFile)
        return;
    qToLittleEndian<quint32>(records, emf.data() + kRecordCountAt);
}

} // namespace office
