// SPDX-License-Identifier: GPL-3.0-or-later
// What the subcommands that draw with Qt (qtcmd_*.cpp) share.
#pragma once

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace kbbench {

// Where pictures are drawn unless QT_QPA_PLATFORM names a platform.
enum class Screen {
    Offscreen,    // always on the offscreen platform
    DisplayIfAny, // on the user's display when DISPLAY is set
};

// The application the subcommand draws with. Returns the new one, to be kept
// while drawing, or nothing when one is running already. Every question the
// program asks from then on is answered as its Escape key would (messages
// printed to stderr).
std::unique_ptr<QApplication> StartQt(Screen screen);

// The program's own frame, as a first start has it: Qt offscreen with the
// program's windows, and Dir, a fresh folder for its files. Returns the
// application (see StartQt), or nothing with "kbbench NAME: no temporary
// folder" said when Dir could not be made.
std::unique_ptr<QApplication> StartProgram(const QTemporaryDir& Dir);

// Writes a picture as PNG. On failure says "kbbench NAME: cannot write PATH"
// and returns false.
bool SavePng(const QImage& picture, const std::string& path);
bool SavePng(const QPixmap& picture, const std::string& path);

} // namespace kbbench
