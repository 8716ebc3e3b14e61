#pragma once

#include "conversion/BatchCheck.h"

#include <QString>
#include <QStringList>

namespace cli {

// What a command line asks for: a checked batch, or the reason it cannot
// run (said in the window's words where the window says the same).
struct Request {
    conversion::Batch batch;
    QString problem;
};

struct Options {
    QString outputFolder;
    QStringList paths;
    bool recursive = false;
    QString from, to; // both empty: all pages
    QString logFile;  // empty: the window's default
    QString jobs;     // empty: as the window
    QString shard;    // "K/N"; empty: the whole list
};

// The command's own options read first (documents in flight, shard); then
// the documents of the paths in the window's order (a folder's documents,
// with its subfolders' when recursive), this shard's share of them, checked
// as the window checks its run.
Request readRequest(const Options &options, const QString &programFolder);

} // namespace cli
