// SPDX-License-Identifier: GPL-3.0-or-later
// notation-png PGNFILE GAME FILE [WIDTH HEIGHT]: lays out one game of a PGN
// file (GAME counts from 1) in the notation widget and paints it offscreen
// into a PNG. Without HEIGHT the picture is tall enough for every line.
#include "KbBench.h"
#include "NotationWidget.h"

#include <QApplication>
#include <QColor>
#include <QPixmap>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>

namespace kbbench {
bool ReadPgnFile(const std::string& path, std::string& bytes);
std::vector<std::string_view> SplitPgnGames(std::string_view bytes);
} // namespace kbbench

namespace {

bool ParseInt(const std::string& s, long lo, long hi, int& out) {
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

int RunNotationPng(const kbbench::Args& args) {
    if (args.size() != 3 && args.size() != 5)
        return kbbench::UsageError("expected PGNFILE GAME FILE [WIDTH HEIGHT]");
    int game = 0, width = 480, height = 0;
    if (!ParseInt(args[1], 1, 100000000, game)) return kbbench::UsageError("GAME counts from 1");
    if (args.size() == 5 &&
        (!ParseInt(args[3], 50, 10000, width) || !ParseInt(args[4], 0, 30000, height)))
        return kbbench::UsageError("WIDTH 50..10000, HEIGHT 0..30000 (0: all lines)");
    std::string bytes;
    if (!kbbench::ReadPgnFile(args[0], bytes)) return kbbench::UsageError("cannot read " + args[0]);
    const auto games = kbbench::SplitPgnGames(bytes);
    if (static_cast<size_t>(game) > games.size())
        return kbbench::UsageError("the file holds " + std::to_string(games.size()) + " games");

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "kbbench";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }

    kb::TNotationWidget w;
    w.resize(width, height > 0 ? height : 200);
    w.show();
    w.SetUeberschrift(true);
    // Comments set apart as a host would do it.
    kb::TNotationFont comment = w.FontComment();
    comment.Font.setItalic(true);
    comment.Color = QColor(0x20, 0x40, 0x90);
    w.SetFontComment(comment);
    kb::TNotationFont head = w.FontHeadLine();
    head.Font.setBold(true);
    w.SetFontHeadLine(head);
    kb::TNotation& n = w.Notation();
    std::string error;
    n.OnError = [&error](kb::TNotation*, const std::string& m) { error = m; };
    const int loaded = n.LoadPGN(games[static_cast<size_t>(game) - 1]);
    n.Refresh();
    if (height == 0) {
        // Tall enough for every line: the width, and so the breaks, stay.
        const int m = w.BevelWidthNotat() + w.BorderWidthNotat();
        w.resize(width, w.LineCount() * w.LineHeight() + 2 * m + 1);
        n.Refresh();
    }
    const QPixmap picture = w.grab();
    if (picture.isNull() || !picture.save(QString::fromStdString(args[2]), "PNG")) {
        std::cerr << "kbbench notation-png: cannot write " << args[2] << "\n";
        return 1;
    }
    std::cout << "png\t" << args[2] << "\t" << picture.width() << "\t" << picture.height() << "\n";
    std::cout << "load\t" << loaded << (error.empty() ? "" : "\t" + error) << "\n";
    std::cout << "lines\t" << w.LineCount() << "\n";
    return 0;
}

const kbbench::Command command{"notation-png", "PGNFILE GAME FILE [WIDTH HEIGHT]", &RunNotationPng};

} // namespace
