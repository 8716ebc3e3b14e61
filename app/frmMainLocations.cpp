// The output folder and log file boxes and their pickers.

#include "app/frmMain.h"

#include "app/clsGetPath.h"
#include "gui/FileDialog.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

// The longest path the log picker hands back, as in its file-name buffer.
constexpr int kMaxLogPath = 500;

} // namespace

void frmMain::Command1_Click()
{
    dialogFolder_ = services_.programFolder;
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
