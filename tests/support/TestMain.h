#pragma once

#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, with the web engine prepared before the application object exists.
#define UTQ_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char** argv) {                                                              \
        utq::platform::prepareWebEngine();                                                         \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
