#include "support/ScriptedOffice.h"

#include <QtEndian>

namespace {

using office::Failure;
using office::Position;

struct State {
    OfficeScript &script;
    Position start = 0;
    Position end = 0;
    bool documentSelected = false;
    QString path;
    int pages() const { return script.pagesOf.value(path, script.pages); }
    // Offices run on the batch's threads, all writing to one script.
    void record(const QString &call)
    {
        std::lock_guard lock(*script.lock);
        script.calls << call;
        if (script.ended)
            throw office::Interrupted();
    }
};

class ScriptedRange : public office::Range {
public:
    ScriptedRange(State &s, Position start) : s_(s), start_(start) {}
    office::Picture copy() override
    {
        s_.record(QStringLiteral("copy %1").arg(start_ + 1));
        if (s_.script.interruptedOnPage == start_ + 1)
            throw office::Interrupted();
        if (s_.script.copyFailsOnPage.contains(start_ + 1))
            throw Failure(s_.script.copyFailsOnPage.value(start_ + 1).toStdString());
        QByteArray picture = scriptedPicture(start_ + 1);
        if (s_.script.pictureBytes > picture.size())
            picture.append(s_.script.pictureBytes - picture.size(), 'x');
        if (s_.script.picturesNameTheirDocument)
            picture.append(s_.path.toUtf8());
        return {picture};
    }

private:
    State &s_;
    Position start_;
};

class ScriptedDocument : public office::Document {
public:
    explicit ScriptedDocument(State &s) : s_(s) {}
    void select() override
    {
        s_.record("select");
        s_.start = 0;
        s_.end = s_.pages();
        s_.documentSelected = true;
    }
    std::unique_ptr<office::Range> range(Position start, Position end) override
    {
        s_.record(QStringLiteral("range %1 %2").arg(start).arg(end));
        return std::make_unique<ScriptedRange>(s_, start);
    }
    void close() override { s_.record("close"); }
    QString damage() const override { return s_.script.damage; }
    mode_t permissions() const override { return s_.script.permissions; }
    gid_t group() const override { return s_.script.group; }

private:
    State &s_;
};

class ScriptedApplication : public office::Application {
public:
    explicit ScriptedApplication(OfficeScript &script) : s_{script, 0, 0, false, {}}
    {
        std::lock_guard lock(*script.lock);
        ++script.instancesStarted;
    }
    void setCheckGrammarAsYouType(bool on) override { s_.record(QStringLiteral("grammarAsYouType %1").arg(on)); }
    void setCheckGrammarWithSpelling(bool on) override { s_.record(QStringLiteral("grammarWithSpelling %1").arg(on)); }
    std::unique_ptr<office::Document> open(const QString &path) override
    {
        s_.record("open " + path);
        s_.path = path;
        if (s_.script.opening)
            s_.script.opening(path);
        if (!s_.script.openFailure.isEmpty()
            && (s_.script.openFailsFor.isEmpty() || s_.script.openFailsFor.contains(path)))
            throw Failure(s_.script.openFailure.toStdString());
        return std::make_unique<ScriptedDocument>(s_);
    }
    Position selectionStart() override { return s_.start; }
    Position selectionEnd() override { return s_.end; }
    void collapseSelectionToStart() override
    {
        s_.record("collapse");
        s_.end = s_.start;
    }
    void browseNextPage() override
    {
        s_.record(QStringLiteral("next from %1").arg(s_.start + 1));
        if (s_.script.nextPageFailsOnPage.contains(s_.start + 1))
            throw Failure("the page move failed");
        if (s_.start + 1 < s_.pages())
            ++s_.start;
        s_.end = s_.start;
    }
    void quit() override
    {
        s_.record("quit");
        std::lock_guard lock(*s_.script.lock);
        ++s_.script.instancesQuit;
    }

private:
    State s_;
};

} // namespace

QByteArray scriptedPicture(int page)
{
    QByteArray emf(88, '\0');
    qToLittleEndian<quint32>(1, emf.data());
    qToLittleEndian<quint32>(88, emf.data() + 4);
    qToLittleEndian<quint32>(page, emf.data() + 8);
    emf.replace(40, 4, " EMF");
    return emf;
}

office::ApplicationFactory scriptedOffice(OfficeScript &script)
{
    return [&script]() -> std::unique_ptr<office::Application> {
        if (script.startFails)
            throw Failure("the office cannot be started");
        {
            std::lock_guard lock(*script.lock);
            if (script.ended)
                throw office::Interrupted();
        }
        return std::make_unique<ScriptedApplication>(script);
    };
}

office::Offices scriptedOffices(OfficeScript &script)
{
    return {scriptedOffice(script), [&script] {
                std::lock_guard lock(*script.lock);
                script.ended = true;
            }};
}
