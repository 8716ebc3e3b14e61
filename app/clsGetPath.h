#pragma once

#include <QString>

class QWidget;

// Asks for one folder. Set the caption and owner, call GetFolder, read Folder:
// the chosen folder ("/" for the root, no trailing separator otherwise), or
// the empty string when the user cancelled.
class clsGetPath {
public:
    QString Caption;
    QWidget *hwnd = nullptr;
    // Browse flags; Qt's folder dialog takes none, and every caller passes 0.
    qint16 Flags = 0;
    QString Folder;

    void GetFolder();
};

// The one way the program asks for a folder: a fresh picker with the
// program's caption, owned by the asking window.
QString askForFolder(QWidget *owner);
