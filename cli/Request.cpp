#include "cli/Request.h"

#include "joblist/Entries.h"
#include "log/DefaultLogPath.h"
#include "log/PlainTextLog.h"
#include "platform/FolderPath.h"
#include "platform/NativePath.h"

#include <QDir>
#include <QFileInfo>

namespace cli {
namespace {

// K/N with 0 <= K < N.
bool readShard(const QString &text, int &index, int &count)
{
    const QStringList parts = text.split('/');
    bool indexOk = false;
    bool countOk = false;
    if (parts.size() == 2) {
        index = parts[0].toInt(&indexOk);
        count = parts[1].toInt(&countOk);
    }
    return indexOk && countOk && count > 0 && index >= 0 && index < count;
}

} // namespace

Request readRequest(const Options &options, const QString &programFolder)
{
    Request request;
    auto &batch = request.batch;
    if (options.outputFolder.trimmed().isEmpty()) {
        request.problem = "请输入图片保存目录！";
        return request;
    }
    if (!options.from.isEmpty() || !options.to.isEmpty()) {
        batch.range = conversion::readPageRange(options.from, options.to);
        if (!batch.range) {
            request.problem = "请正确输入转换幻灯片的范围（数字）！";
            return request;
        }
    }
    batch.documentsInFlight = conversion::defaultDocumentsInFlight();
    if (!options.jobs.isEmpty()) {
        bool ok = false;
        batch.documentsInFlight = options.jobs.toInt(&ok);
        if (!ok || batch.documentsInFlight < 1) {
            request.problem = "同时处理的文档数须为正整数：" + options.jobs;
            return request;
        }
    }
    int shard = 0;
    int shards = 1;
    if (!options.shard.isEmpty() && !readShard(options.shard, shard, shards)) {
        request.problem = "分片须写作K/N，且0≤K<N：" + options.shard;
        return request;
    }

    QStringList documents;
    // From the root, so the log says which file it means wherever it is read.
    for (const QString &given : options.paths) {
        const QString path = platform::absoluteNativePath(given);
        documents << (platform::isNativeFolder(path) ? joblist::folderEntries(path, options.recursive) : QStringList{path});
    }
    for (qsizetype i = shard; i < documents.size(); i += shards)
        batch.documents << documents[i];
    if (batch.documents.isEmpty()) {
        request.problem = "没有需要处理的文档！";
        return request;
    }

    batch.logFile = options.logFile.isEmpty() ? defaultLogPath(programFolder) : options.logFile;
    // A file named "--log=notes.doc" among a shell's *.doc makes notes.doc
    // the log; refused before anything is created.
    if (!isPlainTextLog(batch.logFile)) {
        request.problem = "日志文件不是处理日志，不会写入：" + batch.logFile;
        return request;
    }

    batch.outputFolder = options.outputFolder;
    platform::appendSeparator(batch.outputFolder);
    if (!QFileInfo::exists(batch.outputFolder) && !QDir().mkdir(batch.outputFolder)) {
        request.problem = "无法创建图片保存目录！";
        return request;
    }
    return request;
}

} // namespace cli
