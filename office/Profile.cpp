#include "office/Profile.h"

#include "office/OfficeScratch.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QUrl>

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>

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

const char kSeedHead[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>%1</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="BlockUntrustedRefererLinks" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>3</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Writer/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>0</value></prop></item>
)";

// The faces Chinese Word documents name, mapped by kind to the installed
// ones: Song (Ming) and Fangsong faces to a Ming face, Kai faces to a Kai
// face, Hei faces to a sans one. Without the table both serif and sans fall
// back to the same sans face. The system's font configuration makes these
// names look present when they are not, so the table always applies; it
// only holds the faces that are really missing, so an installed one is kept.
const char *const kChineseFaces[][2] = {
    {"宋体", "AR PL UMing CN"},          {"SimSun", "AR PL UMing CN"},
    {"新宋体", "AR PL UMing CN"},        {"NSimSun", "AR PL UMing CN"},
    {"仿宋", "AR PL UMing CN"},          {"FangSong", "AR PL UMing CN"},
    {"仿宋_GB2312", "AR PL UMing CN"},   {"FangSong_GB2312", "AR PL UMing CN"},
    {"楷体", "AR PL UKai CN"},           {"KaiTi", "AR PL UKai CN"},
    {"楷体_GB2312", "AR PL UKai CN"},    {"KaiTi_GB2312", "AR PL UKai CN"},
    {"黑体", "WenQuanYi Micro Hei"},     {"SimHei", "WenQuanYi Micro Hei"},
    {"微软雅黑", "WenQuanYi Micro Hei"}, {"Microsoft YaHei", "WenQuanYi Micro Hei"},
    {"等线", "WenQuanYi Micro Hei"},     {"DengXian", "WenQuanYi Micro Hei"},
};

// Whether a font of this very family is installed (not just a face the
// font configuration would take for it).
bool isInstalled(const char *family)
{
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family));
    FcObjectSet *familyOnly = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet *fonts = FcFontList(nullptr, pattern, familyOnly);
    const bool found = fonts && fonts->nfont > 0;
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(familyOnly);
    FcPatternDestroy(pattern);
    return found;
}

// The office's content providers that reach other machines: http(s),
// WebDAV, FTP and CMIS.
const char *const kNetworkProviders[] = {"Provider3",  "Provider4",   "Provider4a",  "Provider6",
                                         "Provider12", "Provider12a", "Provider12b", "Provider43"};

// A document must not make the office reach the network or read another
// file. Linked pictures are blocked by the referer check (every document's
// own location counts as untrusted), links are never updated, and since the
// HTML import fetches stylesheets without any check, the office gets no
// network providers at all: whatever asks for a remote address finds
// nothing that could fetch it.
QByteArray seedSettings()
{
    QByteArray xml = QByteArray(kSeedHead).replace("%1", productVersion());
    for (const char *provider : kNetworkProviders)
        xml += "<item oor:path=\"/org.openoffice.ucb.Configuration/ContentProviders/"
               "org.openoffice.ucb.Configuration:ContentProvidersDataPrimaryKeys['Local']/SecondaryKeys/"
               "org.openoffice.ucb.Configuration:ContentProvidersDataSecondaryKeys['Office']/ProviderData\">"
               "<node oor:name=\""
               + QByteArray(provider) + "\" oor:op=\"remove\"/></item>\n";
    xml += "<item oor:path=\"/org.openoffice.Office.Common/Font/Substitution\"><prop oor:name=\"Replacement\" "
           "oor:op=\"fuse\"><value>true</value></prop></item>\n";
    int pair = 0;
    for (const auto &[face, installed] : kChineseFaces) {
        if (isInstalled(face))
            continue;
        xml += "<item oor:path=\"/org.openoffice.Office.Common/Font/Substitution/FontPairs\"><node oor:name=\"_"
               + QByteArray::number(pair++)
               + "\" oor:op=\"replace\"><prop oor:name=\"Always\" oor:op=\"fuse\">"
                 "<value>true</value></prop><prop oor:name=\"OnScreenOnly\" oor:op=\"fuse\"><value>false</value>"
                 "</prop><prop oor:name=\"ReplaceFont\" oor:op=\"fuse\"><value>"
               + QByteArray(face) + "</value></prop><prop oor:name=\"SubstituteFont\" oor:op=\"fuse\"><value>"
               + QByteArray(installed) + "</value></prop></node></item>\n";
    }
    return xml + "</oor:items>\n";
}

bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        // A lock file left by a running office is not part of a profile, nor
        // is a pipe's socket.
        if (it.fileName() == ".lock" || !(it.fileInfo().isDir() || it.fileInfo().isFile()))
            continue;
        if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(source, target))
            return false;
    }
    return true;
}

struct Template {
    std::mutex mutex;
    std::unique_ptr<QTemporaryDir> dir;
};

Template &sessionTemplate()
{
    static Template t;
    return t;
}

} // namespace

Profile::Profile() : dir_(scratchFolder() + "/office-XXXXXX")
{
    if (!dir_.isValid() || !QDir(dir_.path()).mkpath("tmp"))
        return;
    {
        auto &t = sessionTemplate();
        std::lock_guard lock(t.mutex);
        if (t.dir) {
            valid_ = copyFolder(t.dir->path(), dir_.path());
            return;
        }
    }
    QFile seed(dir_.filePath("user/registrymodifications.xcu"));
    valid_ = QDir(dir_.path()).mkpath("user") && seed.open(QIODevice::WriteOnly) && seed.write(seedSettings()) > 0;
}

void Profile::offerAsTemplate() const
{
    auto &t = sessionTemplate();
    std::lock_guard lock(t.mutex);
    if (t.dir || !valid_)
        return;
    auto dir = std::make_unique<QTemporaryDir>(scratchFolder() + "/profile-XXXXXX");
    if (dir->isValid() && copyFolder(dir_.path(), dir->path()))
        t.dir = std::move(dir);
}

bool Profile::templateReady()
{
    auto &t = sessionTemplate();
    std::lock_guard lock(t.mutex);
    return t.dir != nullptr;
}

QString Profile::url() const
{
    return QUrl::fromLocalFile(dir_.path()).toString();
}

QString Profile::tempFolder() const
{
    return dir_.filePath("tmp");
}

} // namespace office
