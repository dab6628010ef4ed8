// SPDX-License-Identifier: GPL-3.0-or-later
// board-png FEN FILE [SIZE] [flipped]: draws a board offscreen into a PNG.
// FEN may be START for the start position. SIZE is the square size, one of
// the built-in piece sets' sizes or 16, the board window's smallest (32
// without); other sizes than a set's use the 21-pixel set, as the window does.
#include "Brett.h"
#include "KbBench.h"
#include "KbBenchQt.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <string>

namespace {

// The built-in set whose cells have exactly that size; none for any other.
std::optional<kb::TFigurenset> SetFor(int size) {
    for (int i = 1; i <= 14; ++i) {
        const auto set = static_cast<kb::TFigurenset>(i);
        if (kb::FigurenGroesse(set) == size) return set;
    }
    return std::nullopt;
}

std::string Sizes() {
    std::set<int> sizes;
    for (int i = 1; i <= 14; ++i)
        sizes.insert(kb::FigurenGroesse(static_cast<kb::TFigurenset>(i)));
    std::string s;
    sizes.insert(16);
    for (int size : sizes)
        s += (s.empty() ? "" : ", ") + std::to_string(size);
    return s;
}

int RunBoardPng(const kbbench::Args& args) {
    if (args.size() < 2 || args.size() > 4) return kbbench::UsageError("expected FEN and FILE");
    int size = 32;
    bool flipped = false;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "flipped") {
            flipped = true;
            continue;
        }
        char* end = nullptr;
        const long v = std::strtol(args[i].c_str(), &end, 10);
        if (end == args[i].c_str() || *end != '\0' || (v != 16 && !SetFor(static_cast<int>(v))))
            return kbbench::UsageError("SIZE must be a piece set's size: " + Sizes());
        size = static_cast<int>(v);
    }

    kb::TSchachbrett board = kb::LeeresBrett;
    kb::TZug zug;
    uint16_t moveNo = 1;
    const std::string fen =
        args[0] == "START" ? "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" : args[0];
    if (!kb::FENToStellung(fen, board, zug, moveNo, nullptr))
        return kbbench::UsageError("not a FEN: " + args[0]);

    const auto app = kbbench::StartQt(kbbench::Screen::DisplayIfAny);

    int written = 0;
    {
        kb::TBrett b;
        b.SetGroesse(size);
        b.SetFiguren(SetFor(size).value_or(kb::TFigurenset::WinboardF21));
        if (flipped) b.Drehen();
        b.SetStellung(board, zug);
        if (b.GetFigurenBitmap().isNull()) {
            std::cerr << "kbbench board-png: the piece font could not be loaded\n";
            return 1;
        }
        if (!kbbench::SavePng(b.Picture(), args[1])) return 1;
        written = b.Picture().width();
    }
    std::cout << "png\t" << args[1] << "\t" << written << "\n";
    return 0;
}

const kbbench::Command command{"board-png", "FEN FILE [SIZE] [flipped]", &RunBoardPng};

} // namespace
