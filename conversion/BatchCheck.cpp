#include "conversion/BatchCheck.h"

#include "log/PlainTextLog.h"
#include "platform/Descriptor.h"
#include "platform/FolderPath.h"
#include "platform/NativePath.h"
#include "platform/PathWalk.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace conversion {
namespace {

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

// One level, made in its parent as walked: never through another user's
// link into a place that user could not write. Why not, or nothing.
QString makeFolder(const QString &folder)
{
    QByteArray path = platform::toNativePath(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const platform::WalkedPath walked = platform::openFolderToWrite(parent);
    if (walked.outcome != platform::WalkedPath::Opened)
        return platform::whyNotOpened(walked);
    const platform::Descriptor parentFolder(walked.fd);
    if (mkdirat(parentFolder.get(), path.mid(slash + 1).constData(), 0777) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

} // namespace

CheckedBatch checkBatch(const BatchRequest &request)
{
    CheckedBatch checked;
    Batch &batch = checked.batch;
    batch.documents = request.documents;
    batch.logFile = request.logFile;
    batch.documentsInFlight = request.documentsInFlight;
    const auto problem = [&checked](BatchProblem found) {
        checked.problem = found;
        return checked;
    };
    if (batch.documents.isEmpty())
        return problem(BatchProblem::NoDocuments);
    if (isBlank(request.outputFolder))
        return problem(BatchProblem::NoOutputFolder);
    // Before anything is made: a name taken from a file (a shell's *.doc
    // over a file named "--log=notes.doc") never leaves a trace.
    if (!isBlank(batch.logFile) && !isPlainTextLog(batch.logFile))
        return problem(BatchProblem::LogNotPlainText);
    batch.outputFolder = request.outputFolder;
    platform::appendSeparator(batch.outputFolder);
    if (!QFileInfo::exists(batch.outputFolder)) {
        checked.folderNotMadeBecause = makeFolder(batch.outputFolder);
        if (!checked.folderNotMadeBecause.isEmpty())
            return problem(BatchProblem::OutputFolderNotMade);
    }
    if (isBlank(batch.logFile))
        return problem(BatchProblem::NoLogFile);
    if (request.range) {
        batch.range = readPageRange(request.range->from, request.range->to);
        if (!batch.range)
            return problem(BatchProblem::BadPageRange);
    }
    return checked;
}

QString describe(const CheckedBatch &checked)
{
    const Batch &batch = checked.batch;
    switch (*checked.problem) {
    case BatchProblem::NoDocuments:
        return "没有需要处理的文档！";
    case BatchProblem::NoOutputFolder:
        return "请输入图片保存目录！";
    case BatchProblem::OutputFolderNotMade:
        return "无法创建图片保存目录！" + batch.outputFolder + "：" + checked.folderNotMadeBecause;
    case BatchProblem::NoLogFile:
        return "请输入日志文件名！";
    case BatchProblem::LogNotPlainText:
        return "日志文件不是处理日志，不会写入：" + batch.logFile;
    case BatchProblem::BadPageRange:
        return "请正确输入转换幻灯片的范围（数字）！";
    }
    return {};
}

} // namespace conversion
