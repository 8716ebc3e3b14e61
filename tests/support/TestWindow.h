#pragma once

#include "app/frmMain.h"
#include "support/ScriptedOffice.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTreeWidget>
#include <QUuid>

// Services for a window under test: the scripted office (one document at a
// time, so its calls keep their order), an instance key of its own, and a
// server that refuses at once instead of a name lookup.
inline frmMain::Services testServices(OfficeScript &office, const QString &programFolder = {})
{
    return {
        scriptedOffices(office),
        "pagegrab-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces),
        programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder,
        "http://127.0.0.1:9",
        1,
    };
}

// The job list's texts, in order.
inline QStringList jobTexts(const frmMain &window)
{
    QStringList texts;
    for (int i = 0; i < window.ListView2->topLevelItemCount(); ++i)
        texts << window.ListView2->topLevelItem(i)->text(0);
    return texts;
}

// Drops files on the job list as a file manager does; whether the list took them.
inline bool dropOnJobList(frmMain &window, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QWidget *list = window.ListView2->viewport();
    const QPoint at = list->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &dropped);
    return enter.isAccepted() && dropped.isAccepted();
}

// A window started as the program starts it and shown (offscreen); nothing
// when start-up ended the program.
inline std::unique_ptr<frmMain> startedWindow(OfficeScript &office, const QString &programFolder = {})
{
    auto w = std::make_unique<frmMain>(testServices(office, programFolder));
    if (!w->Form_Load())
        return nullptr;
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    return w;
}
