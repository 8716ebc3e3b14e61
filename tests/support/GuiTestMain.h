#pragma once

#include "app/ProcessSetup.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, with message boxes answered without a person, after
// `prepare`.
#define PAGEGRAB_TEST_MAIN_WITH(TestClass, prepare)                                                           \
    int main(int argc, char *argv[])                                                                          \
    {                                                                                                         \
        prepare;                                                                                              \
        QApplication app(argc, argv);                                                                         \
        platform::MessageBox::answerAutomatically(true);                                                      \
        TestClass test;                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                               \
    }

// For Pagegrab's windows: the process prepared as the program prepares it.
#define PAGEGRAB_GUI_TEST_MAIN(TestClass) PAGEGRAB_TEST_MAIN_WITH(TestClass, prepareProcess())
// For windows without a web view (the companion converter's).
#define PAGEGRAB_WIDGET_TEST_MAIN(TestClass) PAGEGRAB_TEST_MAIN_WITH(TestClass, (void)0)
