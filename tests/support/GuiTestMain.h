#pragma once

#include "gui/MessageBox.h"

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, with message boxes answered without a person, after
// `prepare`.
#define PAGEGRAB_TEST_MAIN_WITH(TestClass, prepare)                                                                    \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        prepare;                                                                                                       \
        QApplication app(argc, argv);                                                                                  \
        gui::MessageBox::answerAutomatically(true);                                                                    \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

// For windows without a web view (the companion converter's).
#define PAGEGRAB_WIDGET_TEST_MAIN(TestClass) PAGEGRAB_TEST_MAIN_WITH(TestClass, (void)0)
