#include "cli/Columns.h"

#include <QList>

namespace cli {

int displayColumns(const QString &text)
{
    int columns = 0;
    for (const char32_t c : text.toUcs4())
        columns += (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF) ? 2 : 1;
    return columns;
}

} // namespace cli
