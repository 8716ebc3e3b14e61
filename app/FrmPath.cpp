#include "app/FrmPath.h"

#include "app/clsGetPath.h"
#include "gui/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace {

template <class W>
W *placed(W *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    twips::place(widget, left, top, width, height);
    return widget;
}

// Neither button answers Enter or Escape on its own.
QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *b = placed(new QPushButton(caption, parent), name, left, top, width, height);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

FrmPath::FrmPath(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("FrmPath");
    setWindowTitle("选择目录：");
    if (owner)
        setWindowIcon(owner->windowIcon());
    setFont(owner ? owner->font() : font());
    setFixedSize(twips::toPixels(4500), twips::toPixels(2055));

    Frame1 = placed(new QGroupBox(this), "Frame1", 60, 0, 4395, 1635);
    Label1 = placed(new QLabel("添加文档的目录：", Frame1), "Label1", 60, 180, 1995, 195);
    txtFolder = placed(new QLineEdit(Frame1), "txtFolder", 60, 420, 3615, 315);
    CmdFolder = button(Frame1, "CmdFolder", "", 3720, 360, 555, 495);
    CmdFolder->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    CmdFolder->setToolTip("请选择一个文件夹");
    Label2 = placed(new QLabel("文件后缀：", Frame1), "Label2", 60, 900, 900, 180);
    Combo1 = placed(new QComboBox(Frame1), "Combo1", 1020, 840, 1815, 300);
    Combo1->setEditable(true);
    Combo1->addItem("*.ppt");
    Combo1->setEditText("*.doc");
    ChkSubdir = placed(new QCheckBox("包括该目录子目录中的文档", Frame1), "ChkSubdir", 60, 1260, 2595, 255);
    CmdCancel = button(this, "CmdCancel", "取消", 2160, 1680, 855, 315);
    CmdOK = button(this, "CmdOK", "确定", 3420, 1680, 855, 315);

    const QList<QWidget *> order{CmdOK, CmdCancel, Combo1, txtFolder, CmdFolder, ChkSubdir};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    CmdOK->setFocus();

    connect(CmdFolder, &QPushButton::clicked, this, &FrmPath::CmdFolder_Click);
    connect(CmdOK, &QPushButton::clicked, this, &FrmPath::CmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FrmPath::CmdCancel_Click);
    if (owner)
        move(owner->geometry().center() - rect().center());
}

void FrmPath::CmdFolder_Click()
{
    // A cancelled browse empties the box.
    txtFolder->setText(askForFolder(this));
}

void FrmPath::CmdOK_Click()
{
    hide();
}

void FrmPath::CmdCancel_Click()
{
    txtFolder->clear();
    reject();
}

void FrmPath::closeEvent(QCloseEvent *event)
{
    txtFolder->clear();
    QDialog::closeEvent(event);
}

void FrmPath::keyPressEvent(QKeyEvent *event)
{
    // Escape does not cancel this dialog; only its buttons and close box end it.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}
