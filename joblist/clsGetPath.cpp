#include "joblist/clsGetPath.h"

#include "platform/FileDialog.h"

void clsGetPath::GetFolder()
{
    Folder = platform::FileDialog::getExistingDirectory(hwnd, Caption.isEmpty() ? "Select a Folder..." : Caption);
}
