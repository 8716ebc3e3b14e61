#pragma once

#include "platform/NativePath.h"

#include <QTreeWidgetItem>

// A job list item shows the document's path as a person reads it; where the
// file name's bytes are not UTF-8 and read differently, the item also keeps
// the path that names the file.
inline QTreeWidgetItem *newJobItem(const QString &path)
{
    const QString readable = platform::readablePath(path);
    auto *item = new QTreeWidgetItem(QStringList{readable});
    if (readable != path)
        item->setData(0, Qt::UserRole, path);
    return item;
}

inline QString jobPath(const QTreeWidgetItem *item)
{
    const QVariant path = item->data(0, Qt::UserRole);
    return path.isValid() ? path.toString() : item->text(0);
}
