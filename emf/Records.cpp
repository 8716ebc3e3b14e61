#include "emf/Records.h"

#include <QtEndian>

namespace emf {

QList<EmfRecord> wholeRecords(const QByteArray &emf)
{
    QList<EmfRecord> records;
    if (emf.size() < kEmfHeaderSize)
        return {};
    for (qsizetype at = 0; at < emf.size();) {
        if (emf.size() - at < 8)
            return {};
        const quint32 type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (size < 8 || size % 4 != 0 || size > quint64(emf.size() - at))
            return {};
        records.append({type, at, size});
        at += size;
    }
    if (records.first().type != kEmfHeader || records.first().size < kEmfHeaderSize
        || records.last().type != kEmfEndOfFile)
        return {};
    return records;
}

} // namespace emf
