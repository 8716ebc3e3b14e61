#pragma once

#include <QString>
#include <QStringList>

namespace gui {

// Shows a file in the desktop's default application for its type.
void openWithDefaultApplication(const QString &path);
// For tests: record the files instead of opening them (nullptr to stop).
void recordOpenedFiles(QStringList *sink);

} // namespace gui
