#pragma once

#include <QString>

#include <stdexcept>

namespace conversion {

class NamingError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The file name without its folder and without its last extension: the stem
// runs from after the last "/" up to the last ".". Throws NamingError when
// there is no dot after the last separator.
QString GetFilePrefix(const QString &StrFileName);

// The last extension with its dot; the whole string when it has no dot. The
// search does not stop at a separator.
QString GetFileSuffix(const QString &StrFileName);

// outputFolder (ending in "/") + stem + "-" + page + ".emf".
QString pageFileName(const QString &outputFolder, const QString &documentPath, int page);

} // namespace conversion
