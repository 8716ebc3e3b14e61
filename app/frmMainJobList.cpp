// The job list: its four buttons and the count of jobs.

#include "app/frmMain.h"

#include "app/JobItem.h"
#include "joblist/FolderScan.h"
#include "joblist/FrmPath.h"
#include "platform/BusyPointer.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ModalDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

namespace {

const char kMask[] = "*.doc";

// A selection is limited to what a name buffer of this many characters holds:
// the folder, then each chosen name, each followed by a NUL.
constexpr qsizetype kNameBufferChars = 32767;

bool fitsNameBuffer(const QStringList &paths)
{
    qsizetype needed = QFileInfo(paths.constFirst()).path().size() + 2;
    for (const QString &path : paths)
        needed += QFileInfo(path).fileName().size() + 1;
    return needed <= kNameBufferChars;
}

} // namespace

void frmMain::CmdFileOp_Click(int Index)
{
    switch (Index) {
    case 0:
        addFiles();
        break;
    case 1:
        addFolder();
        break;
    case 2:
        removeSelected();
        break;
    case 3:
        clearAll();
        break;
    }
}

void frmMain::addFiles()
{
    const QStringList chosen = platform::FileDialog::getOpenFileNames(this, "新增", dialogFolder_, "Word文件(*.doc)");
    if (chosen.isEmpty())
        return;
    if (!fitsNameBuffer(chosen)) {
        platform::MessageBox::show(this, "您选择的文件名数超过了Windows系统的最大限制，请分批次加入文件！");
        refreshCount();
        return;
    }
    // One file is taken by its full path; several by the folder as the dialog
    // names it, a "/" and each name (so two separators at the root).
    for (const QString &path : chosen) {
        const QFileInfo file(path);
        const QString text = chosen.size() == 1 ? path : file.path() + "/" + file.fileName();
        ListView2->addTopLevelItem(newJobItem(text));
    }
    refreshCount();
}

void frmMain::addFolder()
{
    QString folder;
    bool subfolders = false;
    {
        FrmPath dialog(this);
        platform::showModal(dialog);
        folder = dialog.txtFolder->text();
        subfolders = dialog.ChkSubdir->isChecked();
    }
    if (folder.trimmed().isEmpty())
        return;
    platform::setBusyPointer(true);
    if (!folder.endsWith('/'))
        folder += '/';
    QStringList found;
    if (subfolders)
        joblist::ScanFolder(found, folder, kMask);
    else
        joblist::listFolder(found, folder, kMask);
    QList<QTreeWidgetItem *> items;
    for (const QString &path : found)
        items << newJobItem(path);
    ListView2->addTopLevelItems(items);
    platform::setBusyPointer(false);
    refreshCount();
}

void frmMain::removeSelected()
{
    QTreeWidgetItem *item = ListView2->currentItem();
    if (item && item->isSelected())
        delete ListView2->takeTopLevelItem(ListView2->indexOfTopLevelItem(item));
    refreshCount();
}

void frmMain::clearAll()
{
    if (ListView2->topLevelItemCount() == 0)
        return;
    if (platform::MessageBox::show(this, "确定要清空处理列表吗？", platform::Icon::Question, platform::Buttons::YesNo)
        == platform::Answer::Yes)
        ListView2->clear();
    refreshCount();
}

void frmMain::refreshCount()
{
    lblInput->setText(QStringLiteral("待处理文件%1项").arg(ListView2->topLevelItemCount()));
    lblProcessing->setText("");
}
