#include "office/DocumentBytes.h"

#include "office/Application.h"
#include "platform/NativePath.h"
#include "platform/PathWalk.h"
#include "platform/UserAccess.h"
#include "sandbox/Memory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace office {
namespace {

Failure systemFailure(int error)
{
    return Failure(std::string("无法读取文件：") + std::strerror(error));
}

// A job list from others may hold a link of theirs to a file only we can
// read (protected_symlinks' idea, for every folder): following it would
// hand them its pages.
void refuseLinksOfOthersWhoCouldNotRead(const platform::WalkedPath &walked)
{
    for (const platform::ForeignLink &link : walked.foreignLinks)
        if (!platform::userCouldRead(link.owner, walked.foldersAfter(link), walked.file))
            throw Failure("路径经过另一用户（uid " + std::to_string(link.owner) + "）的链接，指向该用户不能读取的文件");
}

} // namespace

DocumentFile readDocument(const QString &path, std::int64_t largest)
{
    platform::WalkedPath walked = platform::openRegularFile(platform::toNativePath(path));
    if (walked.outcome == platform::WalkedPath::NotAFile)
        throw Failure("路径指向的不是文件");
    if (walked.outcome == platform::WalkedPath::Failed)
        throw walked.error == ENOENT ? Failure("文件不存在") : systemFailure(walked.error);
    // Everything below comes from this one descriptor: the file that is
    // read is the file whose permissions were checked and are passed on.
    struct Closing {
        int fd;
        ~Closing() { close(fd); }
    } const file{walked.fd};
    refuseLinksOfOthersWhoCouldNotRead(walked);
    if (walked.file.st_size > std::min<std::int64_t>(largest, SAL_MAX_INT32))
        throw Failure("文件太大，不是文档：" + sandbox::megabytes(walked.file.st_size) + "，超过办公软件可读取的"
                      + sandbox::megabytes(largest));
    com::sun::star::uno::Sequence<sal_Int8> bytes(static_cast<sal_Int32>(walked.file.st_size));
    sal_Int32 done = 0;
    while (done < bytes.getLength()) {
        const ssize_t n = read(file.fd, bytes.getArray() + done, bytes.getLength() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw systemFailure(errno);
        if (n == 0)
            throw Failure("文件在读取时变短了");
        done += static_cast<sal_Int32>(n);
    }
    return {bytes, static_cast<mode_t>(walked.file.st_mode & 07777), walked.file.st_gid};
}

} // namespace office
