#pragma once

#include <QString>

namespace office {

// The folder for this process's temporary files (office profiles with their
// temporary folders and pipes, page pictures), made on first use in a place
// only this user can make names in, and removed at exit. It stays locked
// while its process lives, so the folders of processes that were killed are
// told apart and removed when the next one makes its own. Throws Failure,
// saying why, when no such folder can be made.
QString scratchFolder();

} // namespace office
