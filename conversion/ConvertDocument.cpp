#include "conversion/ConvertDocument.h"

#include "conversion/FileNaming.h"
#include "platform/NativePath.h"
#include "platform/PathWalk.h"

#include <memory>

namespace conversion {
namespace {

using office::Position;

QString internalError(const char *what)
{
    return QStringLiteral("内部错误：") + QString::fromUtf8(what);
}

// Remembers the description of the most recent failure; a step that fails
// is skipped and the export goes on with what earlier steps left.
class Steps {
public:
    template <class F>
    bool run(F &&step)
    {
        ++current_;
        try {
            step();
            return true;
        } catch (const office::Interrupted &f) {
            interrupted_ = true;
            lastFailure_ = f.description();
        } catch (const office::Failure &f) {
            lastFailure_ = f.description();
        } catch (const NamingError &e) {
            lastFailure_ = QString::fromUtf8(e.what());
        } catch (const platform::WriteFailure &e) {
            lastFailure_ = QString::fromUtf8(e.what());
        } catch (const std::exception &e) {
            lastFailure_ = internalError(e.what());
        }
        lastFailureStep_ = current_;
        return false;
    }

    void fail(const QString &description)
    {
        lastFailure_ = description;
        lastFailureStep_ = ++current_;
    }
    const QString &lastFailure() const { return lastFailure_; }
    int lastFailureStep() const { return lastFailureStep_; }
    int current() const { return current_; }
    bool interrupted() const { return interrupted_; }

private:
    bool interrupted_ = false;
    QString lastFailure_;
    int lastFailureStep_ = -1;
    int current_ = 0;
};

// Walked as documents are: a root run's pictures never go through another
// user's link into a folder that user could not write.
platform::Descriptor openOutputFolder(const QString &folder, const QString &firstPicture)
{
    const platform::WalkedPath walked = platform::openFolderToWrite(platform::toNativePath(folder));
    if (walked.outcome != platform::WalkedPath::Opened)
        throw platform::WriteFailure(("无法写入" + firstPicture + "：" + platform::whyNotOpened(walked)).toStdString());
    return platform::Descriptor(walked.fd);
}

void exportPages(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                 const PictureCopied &pictureCopied, Steps &steps, ExportedDocument &exported)
{
    std::unique_ptr<office::Application> app;
    if (!steps.run([&] { app = startOffice(); }) || !app) {
        if (steps.lastFailure().isEmpty())
            steps.fail("办公软件无法启动");
        return;
    }
    steps.run([&] { app->setCheckGrammarAsYouType(false); });
    steps.run([&] { app->setCheckGrammarWithSpelling(false); });

    std::unique_ptr<office::Document> doc;
    if (steps.run([&] { doc = app->open(job.path); })) {
        // The document's own; a picture is never more readable than its
        // document (a server converting a stranger's private file).
        const mode_t permissions = doc->permissions() & 0666;
        const gid_t group = doc->group();
        // A damaged document gives the pages it can, and says so.
        if (const QString damage = doc->damage(); !damage.isEmpty())
            steps.fail(damage);
        Position pageStart = 0;
        Position pageEnd = 0;
        Position docEnd = 0;
        steps.run([&] { doc->select(); });
        steps.run([&] { pageStart = app->selectionStart(); });
        pageEnd = pageStart;
        steps.run([&] { docEnd = app->selectionEnd(); });
        steps.run([&] { app->collapseSelectionToStart(); });
        int page = 1;

        while (pageEnd < docEnd) {
            steps.run([&] { app->browseNextPage(); });
            steps.run([&] { pageEnd = app->selectionEnd(); });
            // Staying put marks the last page. Going back would be the
            // office's fault; it ends the walk the same way, so the loop
            // always ends.
            if (pageEnd <= pageStart)
                pageEnd = docEnd;

            std::unique_ptr<office::Range> range;
            steps.run([&] { range = doc->range(pageStart, pageEnd); });
            const bool wanted = !job.range || page >= job.range->first;
            if (wanted && range) {
                steps.run([&] {
                    const office::Picture picture = range->copy();
                    if (pictureCopied)
                        pictureCopied(picture);
                    if (picture.isEmpty())
                        return;
                    const QString fileName = pageFileName(job.outputFolder, job.path, page);
                    if (exported.outputFolder.get() < 0)
                        exported.outputFolder = openOutputFolder(job.outputFolder, fileName);
                    platform::UnnamedFile file(exported.outputFolder.get(), picture.emf, permissions, fileName);
                    file.keepToGroup(group);
                    exported.pages.push_back({fileName, std::move(file), steps.current()});
                });
            }
            range.reset();
            steps.run([&] { pageStart = app->selectionEnd(); });
            ++page;
            if (job.range && page > job.range->last)
                pageEnd = docEnd;
        }
        steps.run([&] { doc->close(); });
    }
    doc.reset();
    steps.run([&] { app->quit(); });
}

} // namespace

QByteArray nameInOutputFolder(const DocumentJob &job, const QString &picture)
{
    return platform::toNativePath(picture.mid(job.outputFolder.size()));
}

ExportedDocument exportDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied)
{
    ExportedDocument exported{job, platform::Descriptor(), {}, {}, -1, false};
    Steps steps;
    try {
        exportPages(job, startOffice, pictureCopied, steps, exported);
    } catch (const std::exception &e) {
        steps.fail(internalError(e.what()));
    } catch (...) {
        steps.fail(internalError("未知异常"));
    }
    exported.failure = steps.lastFailure();
    exported.failureStep = steps.lastFailureStep();
    // Stopped from outside, a document has no part of its pictures: only
    // its line saying so.
    if (steps.interrupted()) {
        exported.pages.clear();
        exported.failure = office::Interrupted().description();
        exported.interrupted = true;
    }
    return exported;
}

DocumentOutcome commitDocument(ExportedDocument &document)
{
    DocumentOutcome outcome{document.failure, {}, 0, document.interrupted};
    int failureStep = document.failureStep;
    for (auto &page : document.pages) {
        try {
            page.picture.name(nameInOutputFolder(document.job, page.fileName));
            ++outcome.pagesWritten;
        } catch (const platform::WriteFailure &e) {
            if (page.step > failureStep) {
                outcome.failure = QString::fromUtf8(e.what());
                failureStep = page.step;
            }
        }
    }
    if (outcome.failed())
        outcome.log = WriteLog(document.job.logFile, document.job.path, outcome.failure);
    return outcome;
}

DocumentOutcome ConvertDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied)
{
    ExportedDocument exported = exportDocument(job, startOffice, pictureCopied);
    return commitDocument(exported);
}

} // namespace conversion
