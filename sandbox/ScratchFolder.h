#pragma once

#include <QString>

namespace sandbox {

// What a process that was killed left outside its folder, removed by pid
// once its folder is (and no live process has that pid again).
using LeftoversElsewhere = void (*)(long pid);

// The folder for this process's temporary files (its children's folders,
// their temporary files and pipes), made on first use in a place only this
// user can make names in, and removed at exit. It stays locked while its
// process lives, so the folders of processes that were killed are told
// apart and removed when the next one makes its own; the first call's
// `removeElsewhere` removes the rest of what they left. Throws Failure,
// saying why, when no such folder can be made.
QString scratchFolder(LeftoversElsewhere removeElsewhere);

} // namespace sandbox
