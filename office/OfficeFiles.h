#pragma once

// Internal to office/: the files an office process may open. A document can
// link to any file by name through some import filter, so the office may
// read only what it needs to run and lay out text: its own installation, the
// libraries and data it loads, fonts and their configuration, and a few
// system files it reads at start. It may write only beneath its own folder
// (profile and temporary files).

#include "sandbox/FileAllowList.h"

#include <QString>

namespace office {

// `ownFolder` is the office's own folder (its profile).
sandbox::FileAllowList officeFiles(const QString &ownFolder);

} // namespace office
