#pragma once

#include <QString>

namespace platform {

// Folders are joined with the names in them as they stand, so a folder path
// ends in one "/" before it is used.
inline void appendSeparator(QString &folder)
{
    if (!folder.endsWith('/'))
        folder += '/';
}

} // namespace platform
