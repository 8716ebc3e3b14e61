#pragma once

#include <QString>

namespace office {

// The folder for this process's temporary files (office profiles, page
// pictures), made on first use and removed at exit. It stays locked while
// its process lives, so the folders of processes that were killed are told
// apart and removed, with their offices' pipe sockets, when the next one
// makes its own.
QString scratchFolder();

} // namespace office
