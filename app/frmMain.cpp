#include "app/frmMain.h"

#include "app/InformationPage.h"
#include "conversion/BatchRun.h"
#include "gui/MessageBox.h"
#include "gui/Twips.h"
#include "log/DefaultLogPath.h"
#include "log/WriteLog.h"
#include "office/LibreOffice.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeWidget>
#include <QWebEngineView>

#include <cstdio>

namespace {

const char kTitle[] = "Pagegrab";

} // namespace

frmMain::Services frmMain::defaultServices()
{
    return {
        office::libreOffices(),
        platform::SingleInstance::defaultKey(),
        QCoreApplication::applicationDirPath(),
        QStringLiteral(PAGEGRAB_INFORMATION_SERVER),
        conversion::defaultDocumentsInFlight(),
    };
}

frmMain::frmMain(Services services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)), instance_(services_.instanceKey)
{
    setObjectName("frmMain");
    setWindowIcon(QIcon(":/pagegrab-32.png"));
    createControls();
    setTabOrder();
    connectHandlers();
    // The browser takes the focus through a widget it creates once a page
    // loads; that widget joins the focus chain at its end unless re-chained.
    WebBrowser1->installEventFilter(this);
    instance_.onAnotherStart([this] { bringToFront(); });
    resize(twips::toPixels(13065), twips::toPixels(8580));
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

frmMain::~frmMain() = default;

bool frmMain::Form_Load()
{
    if (instance_.anotherIsRunning())
        return false;
    QCoreApplication::setApplicationName(kTitle);
    setWindowTitle(QCoreApplication::applicationName());
    lblInput->setText("待处理文件：0项");
    converter_ = {};
    txtLog->setText(defaultLogPath(services_.programFolder));

    // The office is started once only to prove that it can be; every document
    // gets a fresh one of its own later.
    // The message says what a person can do about it; why the office did not
    // start goes to standard error and the log, for whoever has to find out.
    if (const QString why = office::whyNoOfficeRuns(services_.offices.start); !why.isEmpty()) {
        std::fprintf(stderr, "pagegrab: %s\n", qPrintable(why));
        WriteLogNote(txtLog->text(), "办公软件无法启动：" + why);
        gui::MessageBox::show(nullptr, "你的计算机中没有安装LibreOffice，无法正常使用本软件！");
        return false;
    }
    CmdHelp->setText("帮助");
    CmdHelp->setVisible(false);
    const QUrl page = informationPageAddress(services_.informationServer);
    // A page that cannot be loaded gives way to our own, once.
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, [this, page](bool loaded) {
        if (!loaded && WebBrowser1->url() == page)
            WebBrowser1->setHtml(offlinePage(txtLog->text(), palette()), page);
    });
    WebBrowser1->load(page);
    return true;
}

void frmMain::bringToFront()
{
    // A second start ends at once: the user meets the window they have.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void frmMain::Form_Resize()
{
    // Each step on its own: a width the control refuses leaves it as it was.
    ListView2->header()->resizeSection(0, twips::toPixels(twips::width(ListView2) - 100));
    // A hidden panel keeps the width it had, for showing it again. (Where
    // window borders are wider than 80 twips, hiding leaves the panel a
    // negative width, which is refused anyway; here borders can be thinner.)
    if (Frame6->isHidden())
        return;
    twips::setWidth(Frame6, twips::fromPixels(width()) - 10320 - 50);
    twips::setWidth(WebBrowser1, twips::width(Frame6) - 100);
}

void frmMain::Form_Unload()
{
    converter_.terminate();
}

void frmMain::CmdExit_Click()
{
    close();
}

void frmMain::connectHandlers()
{
    connect(CmdExit, &QPushButton::clicked, this, &frmMain::CmdExit_Click);
    for (int i = 0; i < 4; ++i)
        connect(CmdFileOp[i], &QPushButton::clicked, this, [this, i] { CmdFileOp_Click(i); });
    connect(CmdDo, &QPushButton::clicked, this, &frmMain::CmdDo_Click);
    connect(OptSlidesAll, &QRadioButton::clicked, this, &frmMain::OptSlidesAll_Click);
    connect(OptSlides2, &QRadioButton::clicked, this, &frmMain::OptSlides2_Click);
    txtFrom->installEventFilter(this);
    txt2->installEventFilter(this);
    ListView2->setAcceptDrops(true);
    ListView2->viewport()->installEventFilter(this);
    connect(CmdHide, &QPushButton::clicked, this, &frmMain::CmdHide_Click);
    connect(CmdHelp, &QPushButton::clicked, this, &frmMain::CmdHelp_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Check1, &QCheckBox::clicked, this, &frmMain::Check1_Click);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == WebBrowser1 && event->type() == QEvent::ChildPolished)
        setTabOrder();
    if ((watched == txtFrom || watched == txt2)
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod))
        return filterRangeKey(watched, event);
    if (watched == ListView2->viewport()
        && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop))
        return takeDrop(event);
    return QWidget::eventFilter(watched, event);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // A close request stops a run as its stop button does (no further
    // document starts) and closes the window once the documents in flight
    // have ended.
    if (running_) {
        closeRequested_ = true;
        stopRun();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}
