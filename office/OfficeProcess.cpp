#include "office/OfficeProcess.h"

#include "office/Application.h"
#include "office/LibreOffice.h"
#include "office/OfficeFiles.h"
#include "sandbox/Failure.h"
#include "sandbox/ForkServer.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace office {
namespace {

const char *const kOfficeBinary = LIBREOFFICE_PROGRAM_DIR "/soffice.bin";

std::atomic<bool> required{false};

// Offices start from the office's fork server, installed beside our
// programs: a start then maps no library anew. Never destroyed: it is
// asked until the program ends, and ends with it.
sandbox::ForkServer &officeStarter()
{
    static auto *server = new sandbox::ForkServer(
        QFile::encodeName(QFileInfo(QFileInfo("/proc/self/exe").canonicalFilePath()).absolutePath())
        + "/pagegrab-office-starter");
    return *server;
}

std::vector<QByteArray> officeArguments(const Profile &profile, const QString &pipeName)
{
    return {
        kOfficeBinary,
        "-env:UserInstallation=" + profile.url().toUtf8(),
        "--headless",
        "--invisible",
        "--nologo",
        "--nodefault",
        "--norestore",
        "--nolockcheck",
        "--accept=pipe,name=" + pipeName.toUtf8() + ";urp;",
        // Where it makes its pipes when it cannot write /tmp (see
        // Confinement): its working folder, its own, named by a path short
        // enough for a socket's address whatever the folder's own path.
        "-env:OSL_SOCKET_PATH=/proc/self/cwd",
    };
}

// The office names its single-instance pipe after its profile: the MD5 of
// the profile's address as UTF-16, each byte in hexadecimal without a
// leading zero.
QString singleInstancePipe(const QString &profileUrl)
{
    const QByteArray utf16(reinterpret_cast<const char *>(profileUrl.utf16()), profileUrl.size() * 2);
    QString name;
    for (const char byte : QCryptographicHash::hash(utf16, QCryptographicHash::Md5))
        name += QString::number(quint8(byte), 16);
    return name;
}

QString systemReason(int error)
{
    if (error == ENOSYS || error == EOPNOTSUPP)
        return QStringLiteral("内核不提供Landlock（%1）").arg(QString::fromLocal8Bit(std::strerror(error)));
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

void requireConfinement()
{
    required = true;
}

bool confinementRequired()
{
    return required;
}

void endAllOffices()
{
    sandbox::endAll();
}

QStringList shortfalls(const sandbox::ConfinementReport &report)
{
    QStringList reasons;
    if (report.files)
        reasons << "文档可以读取用户能读取的任何文件：" + systemReason(report.files);
    if (report.network)
        reasons << "文档可以访问网络：系统拒绝命名空间（" + QString::fromLocal8Bit(std::strerror(report.network))
                       + "）";
    return reasons;
}

OfficeProcess::OfficeProcess(const Profile &profile, const QString &pipeName)
try : sandbox
    ::ConfinedProcess(sandbox::Confinement(profile.folder(), officeFiles(profile.folder())),
                      officeArguments(profile, pipeName),
                      {"PATH=/usr/bin:/bin", "TMPDIR=" + QFile::encodeName(profile.tempFolder())},
                      confinementRequired(), &officeStarter())
    {
        using sandbox::ConfinementReport;
        const std::optional<ConfinementReport> &applied = confinement();
        const QString socketName = QStringLiteral("/OSL_PIPE_%1_%2").arg(getuid()).arg(pipeName);
        const QString pipes = !applied || applied->pipes == ConfinementReport::InTmp ? QStringLiteral("/tmp")
                              : applied->pipes == ConfinementReport::InVarTmp        ? QStringLiteral("/var/tmp")
                                                                                     : profile.folder();
        socketPath_ = pipes + socketName;
        if (pipes != profile.folder())
            socketsLeftIfKilled_ = {socketPath_, pipes + QStringLiteral("/OSL_PIPE_%1_SingleOfficeIPC_").arg(getuid())
                                                     + singleInstancePipe(profile.url())};
        if (confinementRequired() && applied && !applied->complete())
            throw Failure("办公软件无法隔离：" + shortfalls(*applied).join("；").toStdString());
    }
catch (const sandbox::Ending &) {
    throw Interrupted();
} catch (const sandbox::Failure &f) {
    throw Failure(std::string("无法启动办公软件：") + f.what());
}

} // namespace office
