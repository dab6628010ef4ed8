// SPDX-License-Identifier: GPL-3.0-or-later
// notation-png PGNFILE GAME FILE [WIDTH HEIGHT]: lays out one game of a PGN
// file (GAME counts from 1) in the notation widget and paints it offscreen
// into a PNG. Without HEIGHT the picture is tall enough for every line.
#include "KbBench.h"
#include "KbBenchQt.h"
#include "NotationWidget.h"

#include <QApplication>
#include <QColor>
#include <QPixmap>

#include <iostream>
#include <string_view>

namespace {

int RunNotationPng(const kbbench::Args& args) {
    if (args.size() != 3 && args.size() != 5)
        return kbbench::UsageError("expected PGNFILE GAME FILE [WIDTH HEIGHT]");
    int game = 0, width = 480, height = 0;
    if (!kbbench::ParseInt(args[1], 1, 100000000, game))
        return kbbench::UsageError("GAME counts from 1");
    if (args.size() == 5 && (!kbbench::ParseInt(args[3], 50, 10000, width) ||
                             !kbbench::ParseInt(args[4], 0, 30000, height)))
        return kbbench::UsageError("WIDTH 50..10000, HEIGHT 0..30000 (0: all lines)");
    std::string bytes;
    if (!kbbench::ReadPgnFile(args[0], bytes)) return kbbench::UsageError("cannot read " + args[0]);
    const auto games = kbbench::SplitPgnGames(bytes);
    if (static_cast<size_t>(game) > games.size())
        return kbbench::UsageError("the file holds " + std::to_string(games.size()) + " games");

    const auto app = kbbench::StartQt(kbbench::Screen::DisplayIfAny);

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
    if (!kbbench::SavePng(picture, args[2])) return 1;
    std::cout << "png\t" << args[2] << "\t" << picture.width() << "\t" << picture.height() << "\n";
    std::cout << "load\t" << loaded << (error.empty() ? "" : "\t" + error) << "\n";
    std::cout << "lines\t" << w.LineCount() << "\n";
    return 0;
}

const kbbench::Command command{"notation-png", "PGNFILE GAME FILE [WIDTH HEIGHT]", &RunNotationPng};

} // namespace
