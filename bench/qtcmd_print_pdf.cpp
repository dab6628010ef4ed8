// SPDX-License-Identifier: GPL-3.0-or-later
// print-pdf OUT.pdf FILE [ROWS]: prints games of a PGN file or database
// through the report form into a PDF, as the game list prints selected
// games. ROWS are 0-based list rows and ranges ("0-49,60"); all without.
// print-pdf OUT.pdf --fen FEN: one diagram, as the board window prints it.
#include "KbBench.h"
#include "KbBenchQt.h"
#include "PGN.h"
#include "SchachProcs.h"
#include "uReport.h"

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

namespace {

// "0-49,60" into rows below Count; false on anything else.
bool ParseRows(const std::string& Spec, int Count, std::vector<int>& Rows) {
    std::set<int> rows;
    size_t p = 0;
    while (p <= Spec.size()) {
        const size_t e = std::min(Spec.find(',', p), Spec.size());
        const std::string part = Spec.substr(p, e - p);
        const size_t dash = part.find('-');
        char* end = nullptr;
        const long a = std::strtol(part.c_str(), &end, 10);
        if (end == part.c_str()) return false;
        long b = a;
        if (dash != std::string::npos) {
            const std::string tail = part.substr(dash + 1);
            b = std::strtol(tail.c_str(), &end, 10);
            if (end == tail.c_str() || *end != '\0') return false;
        } else if (*end != '\0') {
            return false;
        }
        if (a < 0 || b < a) return false;
        for (long r = a; r <= b && r < Count; ++r)
            rows.insert(static_cast<int>(r));
        p = e + 1;
    }
    Rows.assign(rows.begin(), rows.end());
    return true;
}

int RunPrintPdf(const kbbench::Args& args) {
    if (args.size() < 2) return kbbench::UsageError("expected OUT.pdf and FILE or --fen FEN");
    const QString out = QString::fromStdString(args[0]);

    const auto app = kbbench::StartQt(kbbench::Screen::DisplayIfAny);

    const auto start = std::chrono::steady_clock::now();
    int pages = 0;
    size_t games = 0;
    if (args[1] == "--fen") {
        if (args.size() < 3) return kbbench::UsageError("--fen needs a FEN");
        std::string fen = args[2];
        for (size_t i = 3; i < args.size(); ++i)
            fen += " " + args[i];
        kb::TSchachbrett board;
        kb::TZug zug{};
        uint16_t moveNo = 1;
        if (!kb::FENToStellung(fen, board, zug, moveNo, nullptr))
            return kbbench::UsageError("FEN not readable: " + fen);
        pages = kb::TfrmReport::PrintDiagram(fen, kb::TReportOutput::Pdf, nullptr, out);
    } else {
        if (args.size() > 3) return kbbench::UsageError("too many arguments");
        kb::TPGN pgn;
        // Printing never creates a file.
        pgn.BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) {
            Create = false;
        };
        if (!std::filesystem::is_regular_file(args[1]) || !pgn.SetFileName(args[1]))
            return kbbench::UsageError("cannot open " + args[1]);
        std::vector<int> rows;
        if (args.size() == 3) {
            if (!ParseRows(args[2], pgn.ItemCount(), rows))
                return kbbench::UsageError("ROWS must look like 0-49,60");
        } else {
            for (int r = 0; r < pgn.ItemCount(); ++r)
                rows.push_back(r);
        }
        // The selected games joined as the game list joins them.
        std::string text;
        for (int row : rows) {
            int gameNo = 0;
            std::string game;
            pgn.GetGame(pgn.GameIndex(row), gameNo, game);
            if (game.empty()) continue;
            text += game;
            text += "\r\n\r\n";
            ++games;
        }
        if (text.empty()) return kbbench::UsageError("no games to print");
        const kb::TPrintMoveStyle moves = kb::BoardMoveStyle();
        pages = kb::TfrmReport::PrintGames(text, &moves, kb::TReportOutput::Pdf, nullptr, out);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (pages <= 0) {
        std::cerr << "kbbench print-pdf: cannot write " << args[0] << "\n";
        return 1;
    }
    std::cout << "games\t" << games << "\n";
    std::cout << "pages\t" << pages << "\n";
    std::cout << "pages_per_second\t" << (took.count() > 0 ? pages / took.count() : 0.0) << "\n";
    return 0;
}

const kbbench::Command command{"print-pdf", "OUT.pdf FILE [ROWS] | OUT.pdf --fen FEN",
                               &RunPrintPdf};

} // namespace
