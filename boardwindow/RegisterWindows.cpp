// SPDX-License-Identifier: GPL-3.0-or-later
// Installs the factories of the program's MDI windows and dialogs for the
// frame, which knows them only through MdiWindows.h.
#include "BrettWin.h"
#include "ExploreWin.h"
#include "MdiWindows.h"
#include "PGNWin.h"
#include "UfrmEngines.h"
#include "uReport.h"

#include "DialogsLng.h"

void RegisterProgramWindows() {
    TWindowFactories& f = WindowFactories();
    f.NewBoardWindow = []() -> TBoardWindowIntf* { return new TMDIBrett; };
    f.NewListWindow = kb::NewListWindow;
    f.NewDatabaseWindow = kb::NewDatabaseWindow;
    kb::RegisterPrinting();
    f.EditEngineList = [](QWidget* Parent, QStringList& Engines) {
        TfrmEngines dlg(Parent);
        dlg.SetEngines(Engines);
        ExecDialog(dlg);
        // Copied back whatever button closed the dialog.
        Engines = dlg.Engines();
    };
}
