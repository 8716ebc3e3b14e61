#include "app/ProcessSetup.h"
#include "app/frmMain.h"
#include "office/LibreOffice.h"
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
    // The run first, so no further document starts, then the offices of the
    // documents in flight.
    platform::stopCleanlyOnTermination([&window](int) {
        QMetaObject::invokeMethod(&window, &frmMain::stopForTermination, Qt::BlockingQueuedConnection);
        office::endAllOffices();
    });
    window.show();
    return app.exec();
}
