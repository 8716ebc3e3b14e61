#pragma once

// The steps every confined child takes between its fork and its program,
// whoever forked it: us (ConfinedProcess) or a fork server (ForkServer).

#include "sandbox/Confinement.h"

#include <QByteArray>

#include <sys/types.h>
#include <vector>

namespace sandbox {

// What a child gets of our environment: what it needs to find the user, the
// language, the time zone and the user's fonts. Nothing else of the caller's
// (tokens and keys on a server) reaches a process that strangers' files
// drive.
std::vector<QByteArray> inheritedEnvironment();

// The strings as an argument or environment list, for exec or main(): built
// before fork, it points into `strings`.
std::vector<char *> nullTerminated(std::vector<QByteArray> &strings);

// In a child, system calls only: its own process group, killed with
// `parent`; ends the child when `parent` is gone already.
void joinOwnGroupTiedTo(pid_t parent);

// In a child, system calls only: its standard streams on /dev/null, and no
// descriptor above `last` open.
void keepOnlyStreamsUpTo(int last);

// In the child, system calls only: joinOwnGroupTiedTo(parent), the
// confinement applied (and its capabilities dropped) and reported on
// `reportFd`, working in the confinement's own folder, keepOnlyStreamsUpTo(2).
// Ends the child where a step fails, or where the confinement
// `mustBeComplete` and is not.
void enterConfinedChild(const Confinement &confinement, pid_t parent, int reportFd, bool mustBeComplete);

} // namespace sandbox
