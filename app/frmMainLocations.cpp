// The output folder and log file boxes and their pickers.

#include "app/frmMain.h"

#include "app/clsGetPath.h"
#include "gui/FileDialog.h"
#include "log/DefaultLogPath.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>

namespace {

// The longest path the log picker hands back, as in its file-name buffer.
constexpr int kMaxLogPath = 500;

} // namespace

void frmMain::Command1_Click()
{
    // Where the default log goes: the program's folder, or, where that
    // cannot be written (an installed package), the user's own data folder,
    // so a log chosen here can take its lines.
    dialogFolder_ = QFileInfo(defaultLogPath(services_.programFolder)).absolutePath();
    const auto chosen = gui::FileDialog::getSaveFileName(this, "处理日志", dialogFolder_ + "/Slidecast.log",
                                                         "处理日志(*.log)");
    if (!chosen || chosen->trimmed().isEmpty() || chosen->size() > kMaxLogPath)
        return;
    txtLog->setText(*chosen);
}

void frmMain::Command2_Click()
{
    // A cancelled browse empties the box.
    txtOutDir->setText(askForFolder(this));
}

void frmMain::Check1_Click()
{
    // The log is always written; the box only says so.
    Check1->setChecked(true);
}
