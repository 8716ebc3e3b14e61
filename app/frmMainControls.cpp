// The main window's controls: names, captions, and their design geometry in
// twips, each relative to its container.

#include "app/frmMain.h"

#include "gui/Twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWebEngineView>

namespace {

template <class W>
W *control(QWidget *parent, const char *name, const QString &caption, int left, int top, int width, int height)
{
    auto *w = new W(caption, parent);
    w->setObjectName(QLatin1String(name));
    twips::place(w, left, top, width, height);
    return w;
}

} // namespace

void frmMain::createControls()
{
    QFont font = this->font();
    font.setPointSize(9);
    setFont(font);

    Frame1 = control<QGroupBox>(this, "Frame1", "待处理文件", 60, 60, 10155, 4455);
    Frame2 = control<QGroupBox>(this, "Frame2", "输出", 60, 4800, 10155, 735);
    Frame5 = control<QGroupBox>(this, "Frame5", "选  项", 60, 5880, 10155, 675);
    Frame4 = control<QGroupBox>(this, "Frame4", "进  度", 60, 6900, 10155, 615);
    Frame3 = control<QGroupBox>(this, "Frame3", "", 60, 7860, 10155, 675);
    Frame6 = control<QGroupBox>(this, "Frame6", "关于", 10320, 40, 2715, 8535);

    const char *fileOpCaptions[] = {"添加文件", "添加目录", "移除文件", "全部清空"};
    const int fileOpTops[] = {300, 1320, 2280, 3240};
    for (int i = 0; i < 4; ++i) {
        CmdFileOp[i] = control<QPushButton>(Frame1, "CmdFileOp", fileOpCaptions[i], 120, fileOpTops[i], 915, 375);
        CmdFileOp[i]->setProperty("index", i);
    }
    ListView2 = new QTreeWidget(Frame1);
    ListView2->setObjectName("ListView2");
    twips::place(ListView2, 1140, 240, 8895, 3495);
    ListView2->setColumnCount(1);
    ListView2->setHeaderLabels({"文件"});
    ListView2->setRootIsDecorated(false);
    ListView2->setUniformRowHeights(true);
    ListView2->header()->setStretchLastSection(false);
    ListView2->header()->resizeSection(0, twips::toPixels(1440));
    Label2 = control<QLabel>(Frame1, "Label2", " 转换页码范围：", 120, 4080, 1350, 180);
    OptSlidesAll = control<QRadioButton>(Frame1, "OptSlidesAll", "全部", 1800, 4080, 855, 180);
    OptSlidesAll->setChecked(true);
    OptSlides2 = control<QRadioButton>(Frame1, "OptSlides2", "指定范围：", 3000, 4080, 1215, 180);
    txtFrom = control<QLineEdit>(Frame1, "txtFrom", "1", 4200, 3960, 495, 390);
    Label3 = control<QLabel>(Frame1, "Label3", "－", 4680, 4080, 180, 180);
    txt2 = control<QLineEdit>(Frame1, "txt2", "1", 4800, 3960, 495, 390);

    Label1 = control<QLabel>(Frame2, "Label1", "图片保存到目录：", 600, 360, 1455, 255);
    txtOutDir = control<QLineEdit>(Frame2, "txtOutDir", "", 2040, 240, 7215, 375);
    Command2 = control<QPushButton>(Frame2, "Command2", "...", 9240, 240, 495, 315);

    Check1 = control<QCheckBox>(Frame5, "Check1", "处理时的异常记录到文件：", 180, 300, 2535, 180);
    Check1->setChecked(true);
    txtLog = control<QLineEdit>(Frame5, "txtLog", "", 2640, 180, 6795, 330);
    Command1 = control<QPushButton>(Frame5, "Command1", "...", 9480, 180, 495, 315);

    lblInput = control<QLabel>(Frame4, "lblInput", "", 180, 240, 3855, 315);
    lblProcessing = control<QLabel>(Frame4, "lblProcessing", "", 4140, 240, 3855, 315);

    CmdDo = control<QPushButton>(Frame3, "CmdDo", "批量转换为图片", 2280, 200, 1815, 375);
    Command3 = control<QPushButton>(Frame3, "Command3", "图片格式转换", 4680, 200, 1815, 375);
    CmdExit = control<QPushButton>(Frame3, "CmdExit", "退出", 7320, 200, 915, 375);
    CmdHelp = control<QPushButton>(Frame3, "CmdHelp", "", 8880, 200, 915, 375);

    WebBrowser1 = new QWebEngineView(Frame6);
    WebBrowser1->setObjectName("WebBrowser1");
    twips::place(WebBrowser1, 60, 300, 2595, 7755);
    CmdHide = control<QPushButton>(Frame6, "CmdHide", "隐藏", 900, 8100, 915, 375);
}

void frmMain::setTabOrder()
{
    // Frames and labels never take the focus, so only the focusable controls
    // are chained, in the window's order.
    QWidget *browser = WebBrowser1->focusProxy() ? WebBrowser1->focusProxy() : WebBrowser1;
    const QList<QWidget *> order{
        CmdFileOp[0], CmdFileOp[1], CmdFileOp[2], CmdFileOp[3], ListView2, CmdDo,    CmdExit,
        Check1,       txtLog,       Command1,     browser,      CmdHelp,   CmdHide,  txtOutDir,
        OptSlidesAll, OptSlides2,   txtFrom,      txt2,         Command2,  Command3,
    };
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
