#pragma once

#include <QString>

namespace cli {

// Columns a text takes on a terminal: two for a Chinese character or a
// full-width sign, one for anything else.
int displayColumns(const QString &text);

} // namespace cli
