#pragma once

#include <functional>

// The office layer with the time of each phase added up, across every
// document in flight.

#include "office/Application.h"

#include <QElapsedTimer>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Phases {
public:
    template <class F>
    auto operator()(const char *phase, F &&f) -> decltype(f())
    {
        QElapsedTimer t;
        t.start();
        struct Add {
            Phases &phases;
            const char *name;
            QElapsedTimer &t;
            ~Add()
            {
                std::lock_guard lock(phases.mutex_);
                phases.samples_[name].push_back(t.nsecsElapsed() / 1e9);
            }
        } add{*this, phase, t};
        return f();
    }

    // A phase's sum, and what one time through it takes: a sum alone hides
    // whether every office is slow or a few stall.
    struct Summary {
        double sum = 0;
        std::size_t count = 0;
        double median = 0;
        double p90 = 0;
    };
    std::map<std::string, Summary> summaries() const
    {
        std::lock_guard lock(mutex_);
        std::map<std::string, Summary> result;
        for (auto [phase, samples] : samples_) {
            std::sort(samples.begin(), samples.end());
            Summary &s = result[phase];
            for (const double seconds : samples)
                s.sum += seconds;
            s.count = samples.size();
            s.median = samples[(samples.size() - 1) / 2];
            s.p90 = samples[(samples.size() * 9 + 9) / 10 - 1];
        }
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<double>> samples_;
};

class TimedRange : public office::Range {
public:
    TimedRange(std::unique_ptr<office::Range> inner, Phases &time, bool &firstCopy)
        : inner_(std::move(inner)), time_(time), firstCopy_(firstCopy)
    {
    }
    office::Picture copy() override
    {
        // The first picture of a document pays for its layout.
        const char *phase = firstCopy_ ? "first page (layout + EMF)" : "other pages (EMF)";
        firstCopy_ = false;
        return time_(phase, [&] { return inner_->copy(); });
    }

private:
    std::unique_ptr<office::Range> inner_;
    Phases &time_;
    bool &firstCopy_;
};

class TimedDocument : public office::Document {
public:
    TimedDocument(std::unique_ptr<office::Document> inner, Phases &time) : inner_(std::move(inner)), time_(time) {}
    void select() override
    {
        time_("page count", [&] { inner_->select(); });
    }
    std::unique_ptr<office::Range> range(office::Position s, office::Position e) override
    {
        return std::make_unique<TimedRange>(inner_->range(s, e), time_, firstCopy_);
    }
    void close() override
    {
        time_("close", [&] { inner_->close(); });
    }
    QString damage() const override { return inner_->damage(); }
    mode_t permissions() const override { return inner_->permissions(); }
    gid_t group() const override { return inner_->group(); }

private:
    std::unique_ptr<office::Document> inner_;
    Phases &time_;
    bool firstCopy_ = true;
};

class TimedApplication : public office::Application {
public:
    // `opening` is called as a document opens (the benchmark may hold one).
    TimedApplication(std::unique_ptr<office::Application> inner, Phases &time,
                     std::function<void(const QString &path)> opening = {})
        : inner_(std::move(inner)), time_(time), opening_(std::move(opening))
    {
    }
    void setCheckGrammarAsYouType(bool on) override
    {
        time_("options", [&] { inner_->setCheckGrammarAsYouType(on); });
    }
    void setCheckGrammarWithSpelling(bool on) override
    {
        time_("options", [&] { inner_->setCheckGrammarWithSpelling(on); });
    }
    std::unique_ptr<office::Document> open(const QString &path) override
    {
        if (opening_)
            opening_(path);
        return std::make_unique<TimedDocument>(time_("load", [&] { return inner_->open(path); }), time_);
    }
    office::Position selectionStart() override { return inner_->selectionStart(); }
    office::Position selectionEnd() override { return inner_->selectionEnd(); }
    void collapseSelectionToStart() override { inner_->collapseSelectionToStart(); }
    void browseNextPage() override { inner_->browseNextPage(); }
    void quit() override
    {
        time_("quit", [&] { inner_->quit(); });
    }

private:
    std::unique_ptr<office::Application> inner_;
    Phases &time_;
    std::function<void(const QString &path)> opening_;
};
