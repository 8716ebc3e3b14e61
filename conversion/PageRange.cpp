#include "conversion/PageRange.h"

namespace conversion {

std::optional<PageRange> readPageRange(const QString &from, const QString &to)
{
    if (from.isEmpty() || to.isEmpty())
        return std::nullopt;
    bool firstOk = false;
    bool lastOk = false;
    const qint16 first = from.toShort(&firstOk);
    const qint16 last = to.toShort(&lastOk);
    if (!firstOk || !lastOk || first > last)
        return std::nullopt;
    return PageRange{first, last};
}

bool isRangeKey(int keyAscii)
{
    return keyAscii == 8 || (keyAscii >= '0' && keyAscii <= '9');
}

} // namespace conversion
