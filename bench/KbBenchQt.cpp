// SPDX-License-Identifier: GPL-3.0-or-later
#include "KbBenchQt.h"

#include "KbBench.h"

#include <iostream>

namespace kbbench {

std::unique_ptr<QApplication> StartQt(Screen screen) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        (screen == Screen::Offscreen || qEnvironmentVariableIsEmpty("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (QCoreApplication::instance()) return nullptr;
    // QApplication keeps argc and argv for its whole life.
    static int argc = 1;
    static char name[] = "kbbench";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

namespace {

template <typename Picture> bool Save(const Picture& picture, const std::string& path) {
    if (picture.save(QString::fromStdString(path), "PNG")) return true;
    std::cerr << "kbbench " << RunningCommand() << ": cannot write " << path << "\n";
    return false;
}

} // namespace

bool SavePng(const QImage& picture, const std::string& path) {
    return Save(picture, path);
}

bool SavePng(const QPixmap& picture, const std::string& path) {
    return Save(picture, path);
}

} // namespace kbbench
