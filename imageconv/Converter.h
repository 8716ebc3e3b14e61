#pragma once

#include <QString>
#include <QStringList>

// The companion converter, "Convix.dll" in the program folder: a program (in
// spite of its name) that turns the output folder's EMF pages into BMP or JPG.
namespace imageconv {

// The converter's first argument, which tells it that Pagegrab started it.
inline constexpr char kToken[] = "emf@pagegrab.example";

QString converterPath(const QString &programFolder);
// The token and the output folder, each one argument as it stands.
QStringList converterArguments(const QString &outputFolder);

} // namespace imageconv
