#pragma once

#include <QString>

#include <optional>

namespace conversion {

// First and last page of a range, as typed: 16-bit whole numbers.
struct PageRange {
    qint16 first;
    qint16 last;
};

// Nothing when a bound is empty, is not a 16-bit whole number, or the first
// is greater than the last. Equal bounds are a range.
std::optional<PageRange> readPageRange(const QString &from, const QString &to);

// The range boxes take digits and backspace only (character codes).
bool isRangeKey(int keyAscii);

} // namespace conversion
