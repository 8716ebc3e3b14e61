#include "app/ProcessSetup.h"
#include "app/frmMain.h"
#include "platform/ChineseQtTexts.h"
#include "platform/Termination.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareProcess();
    QApplication app(argc, argv);
    // The window speaks Simplified Chinese; so do the standard buttons of its
    // message boxes and file dialogs.
    platform::useChineseQtTexts();
    frmMain window;
    if (!window.Form_Load())
        return 0;
    // The run is interrupted as every front end interrupts it; the window
    // closes once its documents in flight have ended.
    // Queued, not waited for: the stop's thread is joined on the main thread
    // once the event loop is over.
    const platform::StopOnTermination termination(
        [&window](int) { QMetaObject::invokeMethod(&window, &frmMain::stopForTermination, Qt::QueuedConnection); });
    window.show();
    return app.exec();
}
