#include "cli/Request.h"

#include "conversion/PageRange.h"
#include "joblist/Entries.h"
#include "log/DefaultLogPath.h"
#include "platform/NativePath.h"

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

// Both bounds, read as the window's range boxes are, and from page 1 on.
bool readRange(const QString &from, const QString &to)
{
    const auto range = conversion::readPageRange(from, to);
    return range && range->first >= 1;
}

} // namespace

Request readRequest(const Options &options, const QString &programFolder)
{
    conversion::BatchRequest batch;
    batch.documentsInFlight = conversion::defaultDocumentsInFlight();
    if (!options.jobs.isEmpty()) {
        bool ok = false;
        batch.documentsInFlight = options.jobs.toInt(&ok);
        if (!ok || batch.documentsInFlight < 1)
            return {{}, "同时处理的文档数须为正整数：" + options.jobs};
    }
    int shard = 0;
    int shards = 1;
    if (!options.shard.isEmpty() && !readShard(options.shard, shard, shards))
        return {{}, "分片须写作K/N，且0≤K<N：" + options.shard};

    const bool ranged = !options.from.isEmpty() || !options.to.isEmpty();
    if (ranged && !readRange(options.from, options.to))
        return {
            {},
            QStringLiteral("--from和--to须一起给出，且1≤N≤M（N为第一页，M为最后一页）：--from %1 --to %2")
                .arg(options.from.isEmpty() ? "（无）" : options.from, options.to.isEmpty() ? "（无）" : options.to)};

    QStringList documents;
    // From the root, so the log says which file it means wherever it is read.
    for (const QString &given : options.paths) {
        const QString path = platform::absoluteNativePath(given);
        documents << (platform::isNativeFolder(path) ? joblist::folderEntries(path, options.recursive)
                                                     : QStringList{path});
    }
    for (qsizetype i = shard; i < documents.size(); i += shards)
        batch.documents << documents[i];
    batch.outputFolder = options.outputFolder;
    batch.logFile = options.logFile.isEmpty() ? defaultLogPath(programFolder) : options.logFile;
    if (ranged)
        batch.range = {options.from, options.to};

    const conversion::CheckedBatch checked = conversion::checkBatch(batch);
    return {checked.batch, checked.problem ? conversion::describe(checked) : QString()};
}

} // namespace cli
