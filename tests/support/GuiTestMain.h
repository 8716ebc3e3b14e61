#pragma once

#include "app/ProcessSetup.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, with the process prepared as the program prepares it and
// message boxes answered without a person.
#define PAGEGRAB_GUI_TEST_MAIN(TestClass)                                                                     \
    int main(int argc, char *argv[])                                                                          \
    {                                                                                                         \
        prepareProcess();                                                                                     \
        QApplication app(argc, argv);                                                                         \
        platform::MessageBox::answerAutomatically(true);                                                      \
        TestClass test;                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                               \
    }
