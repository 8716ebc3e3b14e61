#include "app/clsGetPath.h"

#include "gui/FileDialog.h"

void clsGetPath::GetFolder()
{
    Folder = gui::FileDialog::getExistingDirectory(hwnd, Caption.isEmpty() ? "Select a Folder..." : Caption);
}

QString askForFolder(QWidget *owner)
{
    clsGetPath picker;
    picker.Caption = "请选择一个文件夹";
    picker.Flags = 0;
    picker.hwnd = owner;
    picker.GetFolder();
    return picker.Folder;
}
