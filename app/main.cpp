#include "app/ProcessSetup.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareProcess();
    QApplication app(argc, argv);
    frmMain window;
    if (!window.Form_Load())
        return 0;
    window.show();
    return app.exec();
}
