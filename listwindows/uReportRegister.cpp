// SPDX-License-Identifier: GPL-3.0-or-later
// Printing and the material dialog plugged into the game list windows.
#include "Main.h"
#include "PGNWin.h"
#include "UfrmMaterial.h"
#include "uReport.h"

namespace kb {

void RegisterPrinting() {
    // The selected games in the preview, moves as the board windows show them.
    TMDIPGN::GamePrinter() = [](QWidget* Parent, const std::string& Games) {
        const TPrintMoveStyle moves = BoardMoveStyle();
        TfrmReport::PrintGames(Games, &moves, TReportOutput::Preview, Parent);
    };
    TMDIPGN::MaterialDialog() = [](QWidget* Parent, TPiecesFilter& Filter) {
        return TfrmMaterial::EditFilter(Filter, Parent);
    };
}

} // namespace kb
