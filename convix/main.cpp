// The companion converter, started by Pagegrab's "图片格式转换" button with
// its token and the output folder.

#include "convix/Arguments.h"
#include "convix/Thumbnail.h"
#include "convix/frmConvert.h"
#include "gui/MessageBox.h"
#include "office/PictureRenderer.h"
#include "platform/ChineseQtTexts.h"
#include "platform/NativePath.h"
#include "platform/Termination.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName("图片格式转换");
    platform::useChineseQtTexts();

    // As bytes: a folder whose name is not UTF-8 is found as it is.
    const auto request = convix::readArguments(platform::nativeArguments(argc, argv));
    if (!request.problem.isEmpty()) {
        gui::MessageBox::show(nullptr, request.problem);
        return 1;
    }
    frmConvert window(
        request.folder, [] { return office::startPictureRenderer(); },
        [] { return office::startPictureRenderer(convix::glanceLimits()); });
    const platform::StopOnTermination termination([](int) {
        office::endAllOffices();
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    window.show();
    const int status = app.exec();
    // A preview still being drawn is not waited for: its office ends now.
    office::endAllOffices();
    return status;
}
