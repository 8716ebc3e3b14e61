#include "conversion/SameNames.h"

#include "conversion/FileNaming.h"
#include "log/WriteLog.h"
#include "platform/NativePath.h"

#include <unistd.h>

namespace conversion {

void SameNames::written(const ExportedDocument &document)
{
    QStringList pictures;
    for (const auto &page : document.pages)
        pictures << page.fileName;
    if (pictures.isEmpty())
        return;
    const QString name = GetFilePrefix(document.job.path);
    const auto earlier = byName_.find(name);
    // The same document listed twice is no collision.
    if (earlier != byName_.end() && earlier->second.document != document.job.path) {
        // In the folder the pictures were written to, as walked: never
        // through a link someone put in its path since.
        for (const QString &picture : earlier->second.pictures)
            if (!pictures.contains(picture))
                unlinkat(document.outputFolder.get(), nameInOutputFolder(document.job, picture).constData(), 0);
        WriteLogNote(document.job.logFile, "文档" + platform::readablePath(document.job.path) + "与"
                                               + platform::readablePath(earlier->second.document)
                                               + "同名，图片取自前者，后者的图片已删除。");
    }
    byName_[name] = {document.job.path, pictures};
}

} // namespace conversion
