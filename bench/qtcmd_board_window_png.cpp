// SPDX-License-Identifier: GPL-3.0-or-later
// board-window-png OUT WIDTH HEIGHT PGNFILE ROW [PLY] [de|en]
// [play|menus|gamedata|comment|time|engines]: a real board window on one game of a file, stepped
// PLY half-moves into the game and painted offscreen into a PNG; "play" shows it in play mode
// (clocks and the engine memo). With gamedata, comment, time or engines the window's dialog of that
// name is painted instead, as the window fills it.
#include "BrettWin.h"
#include "DialogsLng.h"
#include "KbBench.h"
#include "KbBenchQt.h"
#include "PGN.h"
#include "UfrmEngines.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

#include <iostream>

namespace {

int RunBoardWindowPng(const kbbench::Args& args) {
    if (args.size() < 5 || args.size() > 8)
        return kbbench::UsageError("expected OUT WIDTH HEIGHT PGNFILE ROW [PLY] [de|en] "
                                   "[play|menus|gamedata|comment|time|engines]");
    int width = 0, height = 0, row = 0, ply = 0;
    if (!kbbench::ParseInt(args[1], 200, 4000, width) ||
        !kbbench::ParseInt(args[2], 150, 4000, height))
        return kbbench::UsageError("WIDTH and HEIGHT must be 200..4000 and 150..4000");
    if (!kbbench::ParseInt(args[4], 0, 100000000, row))
        return kbbench::UsageError("ROW must be >= 0");
    std::string lang;
    bool play = false;
    std::string dialog;
    for (size_t i = 5; i < args.size(); ++i) {
        if (args[i] == "play")
            play = true;
        else if (args[i] == "menus" || args[i] == "gamedata" || args[i] == "comment" ||
                 args[i] == "time" || args[i] == "engines")
            dialog = args[i];
        else if (args[i] == "de" || args[i] == "en")
            lang = args[i];
        else if (!kbbench::ParseInt(args[i], 0, 100000, ply))
            return kbbench::UsageError("PLY must be >= 0, the language de or en");
    }

    const auto app = kbbench::StartQt(kbbench::Screen::DisplayIfAny);

    kb::TPGN pgn;
    // A picture never creates a file.
    pgn.BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) { Create = false; };
    if (!pgn.SetFileName(args[3])) {
        std::cerr << "kbbench board-window-png: cannot open " << args[3] << "\n";
        return 1;
    }
    int gameNo = -1;
    std::string text;
    pgn.GetGame(pgn.GameIndex(row), gameNo, text);
    if (text.empty()) {
        std::cerr << "kbbench board-window-png: no game in row " << row << "\n";
        return 1;
    }

    int plies = 0;
    {
        TMDIBrett w;
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.SetLanguage(lang == "en" ? 1 : lang == "de" ? 0 : -1);
        w.Brett1->Animation = 0;
        w.resize(width, height);
        w.StartGame(&pgn, text, gameNo, false, false);
        w.show();
        QApplication::processEvents();
        // The board pane as a user would drag it: the board fills the height.
        const int room = height - w.pButtonLeiste->height() - 32;
        w.SetBoardPaneWidth(std::min({width * 3 / 5, room, 8 * 80 + w.FMargin}) + 4);
        kb::TNotation& n = w.Notation1->Notation();
        for (int i = 0; i < ply && n.MoveForward(); ++i)
            ++plies;
        if (play) {
            w.sbAnalyse->click();
            w.sbPlay->click();
            w.StopClocks();
        }
        QApplication::processEvents();
        QImage shot = w.grab().toImage();
        if (dialog == "menus") {
            std::vector<QImage> parts;
            for (QMenu* m : {w.puBrett, w.puNotation, w.puNotation->actions().front()->menu()}) {
                m->adjustSize();
                parts.push_back(m->grab().toImage());
            }
            int wsum = 0, hmax = 0;
            for (const QImage& p : parts) {
                wsum += p.width() + 8;
                hmax = std::max(hmax, p.height());
            }
            shot = QImage(wsum, hmax, QImage::Format_RGB32);
            shot.fill(Qt::white);
            QPainter painter(&shot);
            int x = 0;
            for (const QImage& p : parts) {
                painter.drawImage(x, 0, p);
                x += p.width() + 8;
            }
        } else if (!dialog.empty()) {
            // The dialog is painted where it would show, then cancelled.
            TAnswerer answers = Answerer();
            answers.Dialog = [&shot](QDialog& D) {
                D.adjustSize();
                D.show();
                QApplication::processEvents();
                shot = D.grab().toImage();
                return static_cast<int>(mrCancel);
            };
            TAnswererScope scope(answers);
            if (dialog == "gamedata")
                w.mGameDataClick();
            else if (dialog == "comment")
                w.bCommentClick();
            else if (dialog == "time")
                w.tlWhiteClick();
            else {
                TfrmEngines e(&w);
                e.SetEngines({"/usr/games/stockfish", "/usr/games/fairymax"});
                ExecDialog(e);
            }
        }
        if (!kbbench::SavePng(shot, args[0])) return 1;
    }
    std::cout << "png\t" << args[0] << "\t" << width << "x" << height << "\tply\t" << plies << "\n";
    return 0;
}

const kbbench::Command command{
    "board-window-png",
    "OUT WIDTH HEIGHT PGNFILE ROW [PLY] [de|en] [play|menus|gamedata|comment|time|engines]",
    &RunBoardWindowPng};

} // namespace
