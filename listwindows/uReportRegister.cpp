// SPDX-License-Identifier: GPL-3.0-or-later
// Printing and the material dialog plugged into the game list windows.
#include "Main.h"
#include "PGNWin.h"
#include "UfrmMaterial.h"
#include "uReport.h"

namespace kb {

void RegisterPrinting() {
    // The selected games in the preview, moves in the main window's
    // notation font.
    TMDIPGN::GamePrinter() = [](QWidget* Parent, const std::string& Games) {
        QFont font;
        const QFont* notation = nullptr;
        if (TMainForm* m = MainForm()) {
            font = m->FontDialog1.Font;
            notation = &font;
        }
        TfrmReport::PrintGames(Games, notation, TReportOutput::Preview, Parent);
    };
    TMDIPGN::MaterialDialog() = [](QWidget* Parent, TPiecesFilter& Filter) {
        return TfrmMaterial::EditFilter(Filter, Parent);
    };
}

} // namespace kb
