// SPDX-License-Identifier: GPL-3.0-or-later
// The program installs itself: a first start without a file and without
// Kestrelbay.ini beside the executable offers to copy it into a folder of
// the user's choice, with an empty ini, a menu entry and the association of
// .kbf files. The options menu associates .pgn files and uninstalls.
//
// The desktop side follows freedesktop: a .desktop entry in
// $XDG_DATA_HOME/applications, our MIME type for .kbf in
// $XDG_DATA_HOME/mime/packages, default applications in
// $XDG_CONFIG_HOME/mimeapps.list. Uninstall removes only what still names
// this executable, and deletes the executable only when it is the copy the
// installer made.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// File names inside the program folder.
inline constexpr const char* ProgramFileName = "kestrelbay";
inline constexpr const char* IniName = "Kestrelbay.ini";
inline constexpr const char* LogName = "kblogfile.txt";
inline constexpr const char* LanguageTemplateName = "English.lng";
// The menu entry's file name, which mimeapps.list refers to.
inline constexpr const char* DesktopFileId = "kestrelbay.desktop";
// Our own database files.
inline constexpr const char* DatabaseMimeType = "application/x-kestrelbay-database";
// PGN under its older and its registered name; menus look up either.
QStringList PGNMimeTypes();

// Where the menu entry and the associations go.
struct TXdgPaths {
    QString DataHome;   // $XDG_DATA_HOME, else ~/.local/share
    QString ConfigHome; // $XDG_CONFIG_HOME, else ~/.config
    static TXdgPaths FromEnvironment();
    QString DesktopFile() const;
    QString MimePackage() const;
    QString MimeApps() const;
};

// === pieces =================================================================

// The install folder for a chosen one: "Kestrelbay" is appended unless the
// last path element already is that name (any letter case). Trailing slash.
QString InstallTargetDir(const QString& Chosen);
// True when both name the same folder (symbolic links resolved; a folder
// that does not exist yet compared by its existing parent).
bool SameFolder(const QString& A, const QString& B);

// The executable path as one Exec argument, quoted by the Desktop Entry
// rules and escaped as a desktop-file string value.
QString DesktopExecArgument(const QString& ExePath);
// The whole .desktop entry. Installed marks the copy the installer made.
QByteArray DesktopEntryText(const QString& ExePath, bool Installed, const QStringList& MimeTypes);
// What an existing entry says about ExePath.
struct TDesktopEntryInfo {
    bool Exists = false;
    bool NamesExe = false;  // its Exec starts this executable
    bool Installed = false; // ... and the installer wrote it
    QStringList MimeTypes;
};
TDesktopEntryInfo ReadDesktopEntry(const QString& FileName, const QString& ExePath);

// The MIME package that gives *.kbf its type.
QByteArray MimePackageText();

// mimeapps.list: our entry first in [Default Applications] (and listed in
// [Added Associations]) for Types, or taken out again where it is. Other
// lines stay as they are. False when the file could not be written.
bool SetDefaultApplication(const QString& MimeAppsFile, const QStringList& Types);
bool RemoveDefaultApplication(const QString& MimeAppsFile, const QStringList& Types);
// The first default application of Type in a mimeapps.list, or empty.
QString DefaultApplication(const QString& MimeAppsFile, const QString& Type);

// The menu entry for ExePath plus the default application for Types (the
// entry's own MIME types are kept). The .kbf type also gets its package.
// Runs the desktop's cache tools where present. False when a file could
// not be written.
bool RegisterFileType(const TXdgPaths& Xdg, const QStringList& Types, const QString& ExePath,
                      bool Installed);

// Removes the menu entry and the associations when the entry is ours (or
// gone), then the program's files from ProgramDir, and ExePath itself when
// the installer made it; the folder goes when it is then empty. Returns
// the files that should have gone but could not be deleted.
QStringList RemoveInstallation(const TXdgPaths& Xdg, const QString& ProgramDir,
                               const QString& ExePath);

// Creates an empty file; an existing one is kept. False when neither.
bool CreateEmptyFile(const QString& FileName);
// Copies From to To through a temporary file beside To, executable, so
// that a running program of that name is never overwritten in place.
bool CopyExecutable(const QString& From, const QString& To);

// === the install branch =====================================================

// True when the program starts without a file and finds no ini beside itself.
bool NeedsInstall(const QStringList& Arguments, const QString& ProgramDir);

struct TInstallSetup {
    QString ExePath;      // the running executable
    QString ProgramDir;   // its folder, trailing slash
    QString PresetFolder; // offered first: the user's home folder
    TXdgPaths Xdg;
    bool German = false;
    // Starts the installed copy; false when it could not be started.
    std::function<bool(const QString& Program, const QString& WorkingDir)> Launch;
    // Defaults from the running program and its environment.
    static TInstallSetup FromProgram();
};

enum class TInstallResult { Cancelled, SameFolder, Failed, Installed };

// Asks, installs and starts the installed copy. Questions go through the
// message dialog and the folder chooser (DialogsLng.h). The caller ends
// the program afterwards whatever the result.
TInstallResult RunInstallBranch(const TInstallSetup& Setup);
// The installed copy's path for a target folder.
QString InstalledExecutable(const QString& TargetDir);

// === what the frame's commands act on =======================================

struct TProgramFiles {
    QString ExePath; // empty: the running executable
};
TProgramFiles& ProgramFiles();
QString RunningExecutable();
