#include "office/EmfRecordCount.h"

#include "office/EmfRecords.h"

#include <QtEndian>

namespace office {

void correctRecordCount(QByteArray &emf)
{
    constexpr qsizetype kRecordCountAt = 52;
    const auto records = wholeRecords(emf);
    if (!records.isEmpty())
        qToLittleEndian<quint32>(records.size(), emf.data() + kRecordCountAt);
}

} // namespace office
