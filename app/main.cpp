// SPDX-License-Identifier: GPL-3.0-or-later
// kestrelbay [FILE [ROW]]: the program. Opens FILE in a game list and, with
// ROW (0-based), that row's game in a board window.
#include "Main.h"
#include "Install.h"
#include "InstanceLock.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrelbay");

    QStringList args = QApplication::arguments();
    args.removeFirst();
    // A first start without a file and without an ini beside the program
    // offers to install it; the installed copy is started and this one ends.
    if (NeedsInstall(args, ExecutableDir())) {
        RunInstallBranch(TInstallSetup::FromProgram());
        return 0;
    }

    // Other copies see this one by its lock (uninstall asks for them).
    ProgramInstanceLock().Acquire();

#ifdef KB_HAVE_PROGRAM_WINDOWS
    RegisterProgramWindows();
#endif
    int status = 0;
    {
        TMainForm frame({}, args);
        frame.show();
        status = QApplication::exec();
    }
    return status;
}
