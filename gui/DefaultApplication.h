#pragma once

#include <QString>
#include <QStringList>

namespace gui {

// Shows a file in the desktop's default application for its type; false
// when the system has nothing that opens it.
bool openWithDefaultApplication(const QString &path);
// For tests: record the files instead of opening them (nullptr to stop),
// on a desktop that has an opener or one that has none.
void recordOpenedFiles(QStringList *sink, bool openerFound = true);

} // namespace gui
