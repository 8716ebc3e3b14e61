#include "office/OfficeProcess.h"

#include "office/Application.h"
#include "office/Confinement.h"
#include "office/LibreOffice.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace office {
namespace {

const char *const kOfficeBinary = LIBREOFFICE_PROGRAM_DIR "/soffice.bin";

// What the office gets of our environment: what it needs to find the user,
// the language, the time zone and the user's fonts. Nothing else of the
// caller's (tokens and keys on a server) reaches a process that documents
// drive.
bool passedOn(const char *entry)
{
    static const char *const kNames[] = {
        "HOME=", "USER=",          "LOGNAME=",         "LANG=",           "LANGUAGE=",        "LC_",
        "TZ=",   "XDG_DATA_HOME=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=", "FONTCONFIG_FILE=", "FONTCONFIG_PATH="};
    for (const char *name : kNames)
        if (std::strncmp(entry, name, std::strlen(name)) == 0)
            return true;
    return false;
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

// Every office process of ours that may still run, for endAllOffices().
struct Registry {
    std::mutex mutex;
    std::set<OfficeProcess *> live;
    std::atomic<bool> ending{false};
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

void endAllOffices()
{
    auto &r = registry();
    r.ending = true;
    std::lock_guard lock(r.mutex);
    for (OfficeProcess *office : r.live)
        office->kill();
}

bool OfficeProcess::allEnding()
{
    return registry().ending;
}

OfficeProcess::OfficeProcess(const Profile &profile, const QString &pipeName)
{
    if (allEnding())
        throw Interrupted();
    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed in a threaded program.
    const QString profileFolder = profile.folder();
    const QString profileUrl = profile.url();
    std::vector<QByteArray> args{
        kOfficeBinary,
        "-env:UserInstallation=" + profileUrl.toUtf8(),
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
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> variables{"PATH=/usr/bin:/bin", "TMPDIR=" + QFile::encodeName(profile.tempFolder())};
    for (char **e = environ; *e; ++e)
        if (passedOn(*e))
            variables.emplace_back(*e);
    std::vector<char *> envp;
    for (auto &v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const Confinement confinement(profileFolder);
    const QByteArray ownFolder = QFile::encodeName(profileFolder);
    const bool mustBeConfined = confinementRequired();
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        throw Failure(std::string("无法启动办公软件：") + std::strerror(errno));

    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        throw Failure(std::string("无法启动办公软件：") + std::strerror(error));
    }
    if (pid_ == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const ConfinementReport applied = confinement.applyInChild();
        if (chdir(ownFolder.constData()) != 0)
            _exit(127);
        (void)!write(report[1], &applied, sizeof applied);
        if (mustBeConfined && !applied.complete())
            _exit(127);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        close_range(3, ~0U, 0);
        execve(kOfficeBinary, argv.data(), envp.data());
        _exit(127);
    }
    close(report[1]);
    // Also from the parent, so a kill right after fork finds the group.
    setpgid(pid_, pid_);
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    const std::optional<ConfinementReport> applied = readConfinementReport(report[0]);
    close(report[0]);
    const QString socketName = QStringLiteral("/OSL_PIPE_%1_%2").arg(getuid()).arg(pipeName);
    const QString pipes = !applied || applied->pipes == ConfinementReport::InTmp ? QStringLiteral("/tmp")
                          : applied->pipes == ConfinementReport::InVarTmp        ? QStringLiteral("/var/tmp")
                                                                                 : profileFolder;
    socketPath_ = pipes + socketName;
    if (pipes != profileFolder)
        socketsLeftIfKilled_ = {socketPath_, pipes + QStringLiteral("/OSL_PIPE_%1_SingleOfficeIPC_").arg(getuid())
                                                 + singleInstancePipe(profileUrl)};
    if (mustBeConfined && applied && !applied->complete()) {
        waitForExit(-1);
        if (pidfd_ >= 0)
            close(pidfd_);
        throw Failure("办公软件无法隔离：" + applied->shortfalls().join("；").toStdString());
    }
    auto &r = registry();
    std::lock_guard lock(r.mutex);
    r.live.insert(this);
    // Ending everything may have come between the check above and here.
    if (r.ending)
        kill();
}

OfficeProcess::~OfficeProcess()
{
    {
        auto &r = registry();
        std::lock_guard lock(r.mutex);
        r.live.erase(this);
    }
    kill();
    waitForExit(-1);
    if (pidfd_ >= 0)
        close(pidfd_);
}

std::optional<int> OfficeProcess::exitCode()
{
    std::lock_guard lock(mutex_);
    reapLocked(0);
    return exitCode_;
}

bool OfficeProcess::waitForExit(int msecs)
{
    // Waited for without the lock, so that ending the office (from another
    // thread, or every office at once) is never held up behind the wait.
    if (msecs != 0 && pidfd_ >= 0) {
        pollfd p{pidfd_, POLLIN, 0};
        while (poll(&p, 1, msecs) < 0 && errno == EINTR) {
        }
    }
    std::lock_guard lock(mutex_);
    return reapLocked(pidfd_ >= 0 ? 0 : msecs);
}

void OfficeProcess::kill()
{
    std::lock_guard lock(mutex_);
    if (!exitCode_)
        ::kill(-pid_, SIGKILL);
}

bool OfficeProcess::reapLocked(int msecs)
{
    if (exitCode_)
        return true;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, msecs < 0 ? 0 : WNOHANG);
    if (r != pid_)
        return false;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

} // namespace office
