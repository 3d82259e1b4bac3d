// One QApplication for the whole test program, created on first use (headless platform).
#pragma once

#include <QApplication>

#include <cstdlib>

namespace testapp {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "triangle_tests";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

} // namespace testapp
