// SPDX-License-Identifier: GPL-3.0-or-later
// list-window-png OUT WIDTH HEIGHT FILE [SORTKEY] [english] [filter]: a real
// game list window on FILE, sorted by a column when SORTKEY is given (0..5:
// number, players, event, year, result, ECO), painted offscreen into OUT.
// Prints the time to the first painted rows and the peak resident memory.
// database-window-png OUT WIDTH HEIGHT FOLDER [english]: the database window
// on FOLDER.
#include "ExploreWin.h"
#include "KbBench.h"
#include "KbBenchQt.h"
#include "PGNWin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <chrono>
#include <iostream>
#include <sys/resource.h>

namespace {

// WIDTH and HEIGHT from args[1] and args[2]; 0 or the usage error's status.
int WidthAndHeight(const kbbench::Args& args, int& width, int& height) {
    try {
        width = std::stoi(args[1]);
        height = std::stoi(args[2]);
    } catch (...) {
        return kbbench::UsageError("WIDTH and HEIGHT must be numbers");
    }
    if (width < 100 || height < 100 || width > 4000 || height > 4000)
        return kbbench::UsageError("WIDTH and HEIGHT must be 100..4000");
    return 0;
}

int RunListWindowPng(const kbbench::Args& args) {
    const auto start = std::chrono::steady_clock::now();
    if (args.size() < 4) return kbbench::UsageError("expected OUT WIDTH HEIGHT FILE");
    int width = 0, height = 0, sortKey = -1;
    bool english = false, filter = false;
    if (const int rc = WidthAndHeight(args, width, height)) return rc;
    for (size_t i = 4; i < args.size(); ++i) {
        if (args[i] == "english")
            english = true;
        else if (args[i] == "filter")
            filter = true;
        else if (args[i].size() == 1 && args[i][0] >= '0' && args[i][0] <= '5')
            sortKey = args[i][0] - '0';
        else
            return kbbench::UsageError("SORTKEY must be 0..5");
    }

    const auto app = kbbench::StartQt(kbbench::Screen::Offscreen);
    kb::LwSetLanguageColumn(english ? 1 : 0);
    int rows = 0;
    double firstRows = 0;
    {
        // Inside a frame of the given size, as in the main window's client
        // area: a top-level window would grow to its layout's minimum and
        // hide what a narrow window really looks like.
        QWidget frame;
        frame.resize(width, height);
        auto* w = new kb::TMDIPGN(&frame);
        w->setGeometry(0, 0, width, height);
        frame.show();
        const QString name = w->OpenFile(QString::fromStdString(args[3]));
        if (name.isEmpty()) {
            std::cerr << "kbbench list-window-png: cannot open " << args[3] << "\n";
            delete w;
            return 1;
        }
        if (sortKey >= 0) w->HeaderControlSectionClick(sortKey);
        if (filter) {
            w->sbFilter->setChecked(true);
            w->sbFilterClick();
        }
        QApplication::processEvents();
        const QPixmap picture = frame.grab();
        firstRows = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rows = w->PGN()->ItemCount();
        const bool saved = kbbench::SavePng(picture, args[0]);
        delete w;
        if (!saved) return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::cout << "rows\t" << rows << "\n";
    std::cout << "first_rows_seconds\t" << firstRows << "\n";
    std::cout << "peak_rss_kib\t" << usage.ru_maxrss << "\n";
    return 0;
}

int RunDatabaseWindowPng(const kbbench::Args& args) {
    if (args.size() < 4 || args.size() > 5)
        return kbbench::UsageError("expected OUT WIDTH HEIGHT FOLDER");
    int width = 0, height = 0;
    if (const int rc = WidthAndHeight(args, width, height)) return rc;
    if (!QFileInfo(QString::fromStdString(args[3])).isDir()) {
        std::cerr << "kbbench database-window-png: no folder " << args[3] << "\n";
        return 1;
    }
    const auto app = kbbench::StartQt(kbbench::Screen::Offscreen);
    kb::LwSetLanguageColumn(args.size() == 5 && args[4] == "english" ? 1 : 0);
    kb::TMDIDatabase w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    const QString folder = QString::fromStdString(args[3]);
    QStringList history;
    QDir dir(folder);
    for (const QString& f : dir.entryList({"*.pgn", "*.kbf"}, QDir::Files))
        history << kb::LwHistoryEntry(dir.absoluteFilePath(f));
    w.SetHistory(history);
    // The file list reads its folder in the background.
    QEventLoop wait;
    QObject::connect(&w, &kb::TMDIDatabase::FilesLoaded, &wait, [&](const QString& F) {
        if (QDir(F) == QDir(folder)) wait.quit();
    });
    QTimer::singleShot(5000, &wait, &QEventLoop::quit);
    w.SetFolder(folder);
    w.resize(width, height);
    w.show();
    wait.exec();
    // And the folder tree down to the folder (read in the background too).
    QElapsedTimer clock;
    clock.start();
    auto shown = [&] {
        QTreeView* t = w.DirectoryListBox1;
        return t->viewport()->rect().contains(t->visualRect(t->currentIndex()).center());
    };
    while (!shown() && clock.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!kbbench::SavePng(w.grab(), args[0])) return 1;
    std::cout << "files\t" << w.ListedFiles().size() << "\n";
    return 0;
}

const kbbench::Command databaseCommand{"database-window-png", "OUT WIDTH HEIGHT FOLDER [english]",
                                       &RunDatabaseWindowPng};

const kbbench::Command command{"list-window-png",
                               "OUT WIDTH HEIGHT FILE [SORTKEY 0..5] [english] [filter]",
                               &RunListWindowPng};

} // namespace
