#pragma once

// Internal to office/: the folder of this process's office profiles, their
// temporary folders and pipes (see sandbox/ScratchFolder.h). Throws Failure,
// saying why, when it cannot be made.

#include <QString>

namespace office {

QString scratchFolder();

} // namespace office
