#pragma once

#include "conversion/BatchRun.h"
#include "office/Application.h"
#include "platform/Programs.h"
#include "platform/SingleInstance.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QWebEngineView;

// The main window. Its controls keep the names the rest of the program
// addresses them by; the handlers wire them to the subsystems and stay thin.
class frmMain : public QWidget {
    Q_OBJECT

public:
    // What the window reaches outside itself, so tests can stand in for it.
    struct Services {
        office::Offices offices;
        QString instanceKey;
        QString programFolder;
        QString informationServer;
        int documentsInFlight;
    };
    static Services defaultServices();

    explicit frmMain(Services services = defaultServices());
    ~frmMain() override;

    // Start-up. False when the program is to end without showing the window.
    bool Form_Load();
    void Form_Resize();
    void Form_Unload();
    void CmdExit_Click();
    // Restored if minimised, above the others, with the focus.
    void bringToFront();

    void CmdFileOp_Click(int Index);

    void CmdDo_Click();
    void OptSlidesAll_Click();
    void OptSlides2_Click();
    void txtFrom_KeyPress(int &KeyAscii);
    void txt2_KeyPress(int &KeyAscii);

    void CmdHide_Click();
    void CmdHelp_Click();
    void Command3_Click();

    void Command1_Click();
    void Command2_Click();
    void Check1_Click();

    // The program is being stopped from outside (SIGTERM, SIGINT): a run is
    // interrupted and ends without its messages, and the program ends as on
    // exit.
    void stopForTermination();

    bool ErrorsLogged = false;

    pid_t ConverterPid() const { return converter_.pid(); }

    QGroupBox *Frame1, *Frame2, *Frame3, *Frame4, *Frame5, *Frame6;
    std::array<QPushButton *, 4> CmdFileOp;
    QTreeWidget *ListView2;
    QLabel *Label1, *Label2, *Label3;
    QRadioButton *OptSlidesAll, *OptSlides2;
    QLineEdit *txtFrom, *txt2;
    QLineEdit *txtOutDir;
    QPushButton *Command2;
    QCheckBox *Check1;
    QLineEdit *txtLog;
    QPushButton *Command1;
    QLabel *lblInput, *lblProcessing;
    QPushButton *CmdDo, *Command3, *CmdExit, *CmdHelp;
    QWebEngineView *WebBrowser1;
    QPushButton *CmdHide;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void setTabOrder();
    void connectHandlers();
    // Runs a checked batch beside the window, which keeps repainting.
    conversion::RunSummary runBatch(const conversion::Batch &batch);
    // No further document starts; the window stays.
    void stopRun();
    void showRunEnd(const conversion::RunSummary &summary, const QString &outputFolder);
    // In the desktop's default application, or the user is told where it is.
    void openOrSayWhere(const QString &path, const QString &noOpener);
    void addFiles();
    void addFolder();
    // Adds the entries a scan of the file system gives, as one batch.
    void addScannedJobs(const std::function<QStringList()> &scan);
    bool takeDrop(QEvent *event);
    void removeSelected();
    void clearAll();
    void refreshCount();
    bool filterRangeKey(QObject *box, QEvent *event);

    // The open and save dialogs share one initial folder: the log picker sets
    // it, adding files starts where it stands.
    QString dialogFolder_;
    bool running_ = false;
    bool closeRequested_ = false;
    bool stopping_ = false;
    conversion::BatchRun *batch_ = nullptr;

    Services services_;
    platform::SingleInstance instance_;
    platform::StartedProgram converter_;
};
