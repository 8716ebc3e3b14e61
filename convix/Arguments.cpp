#include "convix/Arguments.h"

#include "imageconv/Converter.h"

#include <QFileInfo>

namespace convix {

StartRequest readArguments(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments[0] != imageconv::kToken)
        return {{}, "请从Pagegrab的“图片格式转换”按钮启动本程序。"};
    const QString folder = arguments[1];
    if (folder.trimmed().isEmpty())
        return {{}, "没有指定图片保存目录，请先在Pagegrab中输入图片保存目录。"};
    if (!QFileInfo(folder).isDir())
        return {{}, "图片保存目录不存在：" + folder};
    return {folder, {}};
}

} // namespace convix
