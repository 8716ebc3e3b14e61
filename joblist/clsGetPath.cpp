#include "joblist/clsGetPath.h"

#include "platform/FileDialog.h"

void clsGetPath::GetFolder()
{
    Folder = platform::FileDialog::getExistingDirectory(hwnd, Caption.isEmpty() ? "Select a Folder..." : Caption);
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
