#pragma once

#include "app/frmMain.h"
#include "support/ScriptedOffice.h"

#include <QCoreApplication>
#include <QUuid>

// Services for a window under test: the scripted office, an instance key of
// its own, and a server that refuses at once instead of a name lookup.
inline frmMain::Services testServices(OfficeScript &office, const QString &programFolder = {})
{
    return {
        scriptedOffice(office),
        "pagegrab-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces),
        programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder,
        "http://127.0.0.1:9",
    };
}
