#include "app/ProcessSetup.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    prepareProcess();
    QApplication app(argc, argv);
    // The window speaks Simplified Chinese; so do the standard buttons of its
    // message boxes and file dialogs.
    QTranslator qtTexts;
    if (qtTexts.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    frmMain window;
    if (!window.Form_Load())
        return 0;
    window.show();
    return app.exec();
}
