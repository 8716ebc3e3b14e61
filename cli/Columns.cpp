#include "cli/Columns.h"

#include <QList>

#include <algorithm>

namespace cli {

int displayColumns(const QString &text)
{
    int columns = 0;
    for (const char32_t c : text.toUcs4())
        columns += (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF) ? 2 : 1;
    return columns;
}

QString helpText(const QString &usage, const QString &description, const QList<QCommandLineOption> &options,
                 const QList<Argument> &arguments)
{
    QList<Argument> optionLines;
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? "-" : "--") + name;
        QString shown = names.join(", ");
        if (!option.valueName().isEmpty())
            shown += " <" + option.valueName() + ">";
        optionLines.append({shown, option.description()});
    }
    int nameColumns = 0;
    for (const Argument &line : optionLines + arguments)
        nameColumns = std::max(nameColumns, displayColumns(line.name));
    const auto section = [&](const QString &title, const QList<Argument> &lines) {
        QString text = "\n" + title + "\n";
        for (const Argument &line : lines)
            text += "  " + line.name + QString(nameColumns - displayColumns(line.name) + 2, ' ') + line.description
                    + "\n";
        return text;
    };
    return usage + "\n" + description + "\n" + section("选项：", optionLines) + section("参数：", arguments);
}

} // namespace cli
