// The main of tests that run Qt windows of their own on a real X server: it starts a
// private Xvfb first and puts the test program's QApplication on it. Without a display the
// tests fail; listing them needs none.
#include "e2e/kit/XvfbSession.h"

#include <QApplication>

#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    nimbuscope::e2e::XvfbSession session;
    if (!session.isRunning()) {
        std::fprintf(stderr, "No X display for the tests: %s\n", qPrintable(session.errorString()));
        return 1;
    }
    qputenv("DISPLAY", session.displayName().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 1;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
