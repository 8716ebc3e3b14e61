#pragma once

#include <QString>

// Where the log goes at start-up: Pagegrab.log beside the program when the
// program folder is writable; otherwise (an installed package) Pagegrab.log
// in the user's own data folder, created when needed, so log lines are not
// silently lost.
QString defaultLogPath(const QString &programFolder);
