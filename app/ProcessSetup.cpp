#include "app/ProcessSetup.h"

#include <QCoreApplication>

#include <cstdlib>
#include <unistd.h>

void prepareProcess()
{
    // The embedded browser shares GL contexts and refuses root without its
    // sandbox turned off (containers, CI); a normal user keeps the sandbox.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
}
