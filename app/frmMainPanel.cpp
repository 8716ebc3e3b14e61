// The information panel and the start of the image converter.

#include "app/frmMain.h"

#include "gui/Twips.h"
#include "imageconv/Converter.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The outer (frame) width of a window, in twips.
double outerWidth(const QWidget *window)
{
    return twips::fromPixels(window->frameGeometry().width());
}

void setOuterWidth(QWidget *window, double width)
{
    const int borders = window->frameGeometry().width() - window->width();
    window->resize(twips::toPixels(width) - borders, window->height());
}

} // namespace

void frmMain::CmdHide_Click()
{
    Frame6->setVisible(false);
    const double panel = twips::width(Frame6);
    const double client = twips::fromPixels(width());
    setOuterWidth(this, client - panel + 80);
    CmdHelp->setVisible(true);
}

void frmMain::CmdHelp_Click()
{
    if (!Frame6->isHidden())
        return;
    Frame6->setVisible(true);
    const double panel = twips::width(Frame6);
    setOuterWidth(this, outerWidth(this) + panel + 80);
}

void frmMain::Command3_Click()
{
    // An argument list, not a command line: a program folder with blanks in
    // its name cannot start another program.
    auto started = platform::startProgram(imageconv::converterPath(services_.programFolder),
                                          imageconv::converterArguments(txtOutDir->text()));
    if (started.pid() > 0)
        converter_ = std::move(started);
}
