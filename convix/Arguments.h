#pragma once

#include <QString>
#include <QStringList>

namespace convix {

// What the converter was started for: the folder of pictures, or the reason
// it cannot start (shown to the user, and nothing is written).
struct StartRequest {
    QString folder;
    QString problem;
};

StartRequest readArguments(const QStringList &arguments);

} // namespace convix
