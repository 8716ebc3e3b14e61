#pragma once

#include <QString>
#include <QStringList>

// Where the add-files dialog opens when nothing else sets its folder: where
// files were last added from, kept between starts as the desktop's own
// dialogs keep it. Empty before the first time.
QString lastAddFilesFolder();
void rememberAddFilesFolder(const QStringList &chosen);
