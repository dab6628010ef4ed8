// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's commands for the .pgn association and for uninstalling.
#include "Main.h"

#include "DialogsLng.h"
#include "Install.h"
#include "InstanceLock.h"
#include "Local.h"
#include "cProtokoll.h"

#include <QAction>
#include <QDir>

namespace {

QString German(const char* De, const char* En) {
    return QString::fromUtf8(LanguageColumn == 0 ? De : En);
}

} // namespace

void TMainForm::CloseLog() {
    logFile_.reset();
}

void TMainForm::mAssignPGNClick() {
    const QString exe = RunningExecutable();
    const TXdgPaths xdg = TXdgPaths::FromEnvironment();
    // The installed copy keeps its mark; any other program file gets an entry of its own.
    const TDesktopEntryInfo entry = ReadDesktopEntry(xdg.DesktopFile(), exe);
    if (!RegisterFileType(xdg, PGNMimeTypes(), exe, entry.Installed)) {
        MessageDlgEx(German("Die Endung .pgn konnte Kestrelbay nicht zugeordnet werden.",
                            "The extension .pgn could not be associated with Kestrelbay."),
                     mtError, {mbOK}, 0);
        return;
    }
    mAssignPGN->setEnabled(false);
    MessageDlgEx("OK.", mtCustom, {mbOK}, 0);
}

void TMainForm::mUninstallClick() {
    // A long operation still works on files: it has to end first.
    if (Busy() || IsClosing()) return;
    if (MessageDlgEx(Text(255), mtWarning, mbYesNoCancel, 0) != mrYes) return;
    if (OtherInstanceFound()) {
        MessageDlgEx(Text(257), mtInformation, {mbOK}, 0);
        return;
    }
    if (FindBoardWindow()) {
        MessageDlgEx(Text(259), mtInformation, {mbOK}, 0);
        return;
    }
    // The log goes first, so that nothing writes it again once it is deleted.
    CloseLog();
    const QStringList failed =
        RemoveInstallation(TXdgPaths::FromEnvironment(), ProgramDir, RunningExecutable());
    QString msg = Text(256);
    if (!failed.isEmpty())
        msg += "\r\r" +
               German("Diese Dateien konnten nicht gelöscht werden:",
                      "These files could not be deleted:") +
               "\r" + failed.join('\r');
    MessageDlgEx(msg, failed.isEmpty() ? mtInformation : mtWarning, {mbOK}, 0);
    NoIniSave = true;
    close();
}
