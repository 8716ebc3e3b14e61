#pragma once

#include <QString>
#include <QStringList>

// How close our pictures are to the office's own PDF of the same documents:
// each written picture rendered through the companion converter's renderer,
// and the same page of the office's PDF (blank pages kept) rendered by
// pdftoppm, both at 96 dpi in grey; per page the mean absolute difference
// (0 identical, 1 opposite). Prints one line per page and returns the line
// "fidelity: pages N, median M, max X, worst NAME". With a folder to show
// them in, writes each page there as NAME.png: ours left, the PDF's right.
QString measureFidelity(const QStringList &documents, const QString &outputFolder, const QString &workFolder,
                        const QString &besideFolder = {});
