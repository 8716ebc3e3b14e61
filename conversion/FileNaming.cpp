#include "conversion/FileNaming.h"

namespace conversion {

QString GetFilePrefix(const QString &StrFileName)
{
    // Positions count from 1, with 0 for "not found".
    const qsizetype slash = StrFileName.lastIndexOf('/') + 1;
    const qsizetype dot = StrFileName.lastIndexOf('.') + 1;
    const qsizetype length = dot - slash - 1;
    if (length < 0)
        throw NamingError("无效参数：文件名“" + StrFileName.toStdString() + "”没有扩展名，无法确定主名");
    return StrFileName.mid(slash, length);
}

QString GetFileSuffix(const QString &StrFileName)
{
    const qsizetype dot = StrFileName.lastIndexOf('.') + 1;
    return StrFileName.right(StrFileName.size() - dot + 1);
}

QString pageFileName(const QString &outputFolder, const QString &documentPath, int page)
{
    return outputFolder + GetFilePrefix(documentPath) + "-" + QString::number(page) + ".emf";
}

} // namespace conversion
