#pragma once

#include "office/Application.h"

#include <QMap>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

#include <unistd.h>

// A stand-in for the office: documents of a given number of pages, failures
// where a test puts them, and a log of every call in order.
struct OfficeScript {
    int pages = 1;
    QMap<QString, int> pagesOf;         // documents of another number of pages
    QString openFailure;                // non-empty: open fails with this text
    QSet<QString> openFailsFor;         // ...for these paths only, when any are named
    QSet<int> nextPageFailsOnPage;      // browseNextPage fails while on these pages (from 1)
    QMap<int, QString> copyFailsOnPage; // copy of the range starting on this page fails
    int interruptedOnPage = 0;          // from 1: the copy of this page is interrupted (the program stops)
    bool startFails = false;
    int pictureBytes = 0;                   // non-zero: pictures are padded to this size
    QString damage;                         // what the opened document reports as damaged
    mode_t permissions = 0644;              // the opened document's file's
    gid_t group = getegid();                // and its group
    bool picturesNameTheirDocument = false; // pictures end in the opened document's path
    // Called as a document opens, on the thread that opens it: a test may
    // hold a document there (a gate) or count documents in flight.
    std::function<void(const QString &path)> opening;
    QStringList calls;
    std::shared_ptr<std::mutex> lock = std::make_shared<std::mutex>(); // for calls and counts
    int instancesStarted = 0;
    int instancesQuit = 0;
    bool ended = false; // every office was ended: each call fails as interrupted
};

// The picture of page n: a minimal EMF header whose first record names the page.
QByteArray scriptedPicture(int page);

office::ApplicationFactory scriptedOffice(OfficeScript &script);
// As LibreOffice's: ending them all makes every office of the script, and
// every one started later, fail as interrupted.
office::Offices scriptedOffices(OfficeScript &script);
