// SPDX-License-Identifier: GPL-3.0-or-later
// app-png [--ini FILE] OUT WIDTH HEIGHT [ARGS...]: the real main window, built
// offscreen on a fresh program folder with an empty ini (or a copy of FILE)
// and ARGS as its command line, painted into a PNG once the deferred start-up
// has run. Prints one line per MDI child, front to back: kind, caption, x, y,
// width, height; then "active" and the caption of the active child.
#include "DialogsLng.h"
#include "KbBench.h"
#include "KbBenchQt.h"
#include "Main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <iostream>

namespace {

int RunAppPng(const kbbench::Args& all) {
    std::string iniFile;
    kbbench::Args args = all;
    if (!args.empty() && args[0] == "--ini") {
        if (args.size() < 2) return kbbench::UsageError("--ini needs a file");
        iniFile = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 3) return kbbench::UsageError("expected OUT WIDTH HEIGHT [ARGS...]");
    int width = 0, height = 0;
    if (!kbbench::ParseInt(args[1], 200, 8000, width) ||
        !kbbench::ParseInt(args[2], 200, 8000, height))
        return kbbench::UsageError("WIDTH and HEIGHT must be 200..8000");

    QTemporaryDir dir;
    const auto app = kbbench::StartProgram(dir);
    if (!dir.isValid()) return 1;
    const QString ini = dir.filePath("Kestrelbay.ini");
    if (!iniFile.empty() ? !QFile::copy(QString::fromStdString(iniFile), ini)
                         : !QFile(ini).open(QIODevice::WriteOnly)) {
        std::cerr << "kbbench app-png: cannot set up the ini\n";
        return 1;
    }
    QStringList cmd;
    for (size_t i = 3; i < args.size(); ++i)
        cmd << QString::fromStdString(args[i]);

    QElapsedTimer clock;
    clock.start();
    TMainForm frame(dir.path(), cmd);
    frame.resize(width, height);
    frame.show();
    while (!frame.StartupDone() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Let the windows lay out and paint once.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const qint64 painted = clock.elapsed();

    const QImage image = frame.grab().toImage();
    if (!kbbench::SavePng(image, args[0])) return 1;
    for (const TMdiChild& c : frame.MdiChildren()) {
        const char* kind = c.ChildKind == TMdiChild::Board  ? "board"
                           : c.ChildKind == TMdiChild::List ? "list"
                                                            : "database";
        const QRect g = c.Sub->geometry();
        std::cout << kind << "\t" << c.Sub->windowTitle().toStdString() << "\t" << g.x() << "\t"
                  << g.y() << "\t" << g.width() << "\t" << g.height() << "\n";
    }
    const QMdiSubWindow* active = frame.MdiArea()->activeSubWindow();
    std::cout << "active\t" << (active ? active->windowTitle().toStdString() : std::string())
              << "\n";
    std::cout << "painted_ms\t" << painted << "\n";
    return 0;
}

const kbbench::Command command{"app-png", "[--ini FILE] OUT WIDTH HEIGHT [ARGS...]", &RunAppPng};

} // namespace
