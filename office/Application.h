#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

#include <sys/types.h>

// The word processor as the conversion sees it: an application per document,
// a document walked page by page, and the picture of a range.
//
// Positions model the main text as a row of pages: a position counts the
// layout pages before it. Page i (from 1) starts at position i - 1 and the
// main text ends at the page count. That is exact for page starts, which is
// all the page walk compares, and costs one layout query per document.
namespace office {

using Position = std::int32_t;

// A failing operation; what() is the office's own description of it.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    QString description() const { return QString::fromUtf8(what()); }
};

// A failure because the program is being stopped: the document did not
// fail, its office was ended.
class Interrupted : public Failure {
public:
    Interrupted() : Failure("处理被中断") {}
};

// The picture of a range: an Enhanced Metafile, as the office produced it.
struct Picture {
    QByteArray emf;
    bool isEmpty() const { return emf.isEmpty(); }
};

class Range {
public:
    virtual ~Range() = default;
    virtual Picture copy() = 0;
};

class Document {
public:
    virtual ~Document() = default;
    // The whole main text becomes the application's selection.
    virtual void select() = 0;
    virtual std::unique_ptr<Range> range(Position start, Position end) = 0;
    virtual void close() = 0;
    // What is known to be wrong with a document that opened all the same (a
    // file cut short): its pages are those that could be read. Empty when
    // nothing is known to be wrong.
    virtual QString damage() const = 0;
    // The permission bits of the file the document was read from, taken from
    // the very descriptor its bytes came from: its pictures are to be no
    // more readable than it is.
    virtual mode_t permissions() const = 0;
    // And that file's group: a group other than this one is never let read
    // its pictures as a group.
    virtual gid_t group() const = 0;
};

// One running office instance. Every operation throws Failure.
class Application {
public:
    virtual ~Application() = default;

    virtual void setCheckGrammarAsYouType(bool on) = 0;
    virtual void setCheckGrammarWithSpelling(bool on) = 0;

    virtual std::unique_ptr<Document> open(const QString &path) = 0;

    virtual Position selectionStart() = 0;
    virtual Position selectionEnd() = 0;
    virtual void collapseSelectionToStart() = 0;

    // Moves the insertion point to the start of the next page; on the last
    // page it stays where it is.
    virtual void browseNextPage() = 0;

    virtual void quit() = 0;
};

// Starts a fresh instance; throws Failure when none can be started.
using ApplicationFactory = std::function<std::unique_ptr<Application>()>;

// Where a run's offices come from: a fresh one for each document, and the
// end of every one of them at once (what they were doing fails as
// Interrupted, and none starts any more).
struct Offices {
    ApplicationFactory start;
    std::function<void()> endAll;
};

// Whether an office can run here: one is started and quit again. Empty
// when it runs, else why it did not (the office's own words).
QString whyNoOfficeRuns(const ApplicationFactory &start);

} // namespace office
