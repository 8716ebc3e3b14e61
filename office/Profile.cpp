#include "office/Profile.h"

#include <QDir>
#include <QFile>
#include <QUrl>

namespace office {
namespace {

// The office records the version it last ran as; bootstraprc names it
// ("ProductKey=LibreOffice 7.4").
QByteArray productVersion()
{
    QFile rc(QStringLiteral(LIBREOFFICE_PROGRAM_DIR "/bootstraprc"));
    if (!rc.open(QIODevice::ReadOnly))
        return {};
    while (!rc.atEnd()) {
        const QByteArray line = rc.readLine().trimmed();
        if (line.startsWith("ProductKey="))
            return line.mid(line.lastIndexOf(' ') + 1);
    }
    return {};
}

const char kSeed[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>%1</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";

} // namespace

Profile::Profile()
    : dir_(QDir::tempPath() + "/pagegrab-office-XXXXXX")
{
    if (!dir_.isValid() || !QDir(dir_.path()).mkpath("user"))
        return;
    QFile seed(dir_.filePath("user/registrymodifications.xcu"));
    if (seed.open(QIODevice::WriteOnly))
        seed.write(QByteArray(kSeed).replace("%1", productVersion()));
}

QString Profile::url() const
{
    return QUrl::fromLocalFile(dir_.path()).toString();
}

} // namespace office
