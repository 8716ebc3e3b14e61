#include "emf/RecordCount.h"

#include "emf/Records.h"

#include <QtEndian>

namespace emf {

void correctRecordCount(QByteArray &emf)
{
    constexpr qsizetype kRecordCountAt = 52;
    const auto records = wholeRecords(emf);
    if (!records.isEmpty())
        qToLittleEndian<quint32>(records.size(), emf.data() + kRecordCountAt);
}

} // namespace emf
