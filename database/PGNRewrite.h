// SPDX-License-Identifier: GPL-3.0-or-later
// The one way a PGN game file changes. Every change (the list's edits and
// copies, the ECO run, the database window's append) writes the new file
// beside the old one and renames it over the old one, only after checking,
// with the old file locked, that the file under the name is the one locked
// and unchanged since it was read. A second writer, such as another copy of
// the program, is refused, never silently undone: the lock keeps it out
// while a change runs, and the checks catch a change that ended before.
#pragma once

#include "FileIO.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace kb {

// How long a change waits for another writer's lock by default: longer
// than another copy of the program takes for an edit, short enough for a
// user to wait.
inline constexpr std::chrono::milliseconds kLockWait{3000};

enum class TRewriteResult {
    Done,    // the new file stands under the name
    Refused, // another writer holds the file, or changed it since it was read
    Failed,  // the file could not be opened, read or written; it is as it was
    Stopped, // the user stopped the writing; the file is as it was
};

struct TPGNRewrite {
    // The file as it was read. Unset (MTimeNs -1): as it is once locked, for
    // a writer that read nothing of it before (an append).
    TFileStamp ReadStamp;
    // Checks of the locked file before and after the writing (that an index
    // built from it still fits it); false refuses.
    std::function<bool(TFile& Old)> Check;
    // Writes the new content into New, reading Old where needed. Anything
    // but Done ends the rewrite.
    std::function<TRewriteResult(TFile& Old, TFile& New)> Write;
    // Runs when everything is checked, just before the rename.
    std::function<void()> BeforeRename;
    // How long the lock of another writer is waited for before the change
    // is refused.
    std::chrono::milliseconds LockWait = kLockWait;
    // Runs every few milliseconds while that lock is waited for, so that a
    // window paints and its stop works meanwhile; false stops the change.
    std::function<bool()> Waiting;
};

TRewriteResult RewritePGNFile(TFileSystem& Fs, const std::string& FileName, const TPGNRewrite& R);

// What goes between the first Size bytes of a file and a game appended to
// them: nothing when they are empty, else CR LF until they end in one blank
// line (the line breaks already there count, whatever their kind).
std::string SeparatorBefore(TFile& File, int64_t Size);

// Appends game text (one or more games parted by blank lines) to a PGN file
// through RewritePGNFile: the blank lines it starts with are dropped and
// SeparatorBefore goes before it, CR LF after it unless it ends with a line
// break. Refused for files that are not PGN text, database files (.kbf,
// .kbfidx, .kbftmp) among them.
TRewriteResult AppendToPGNFile(TFileSystem& Fs, const std::string& FileName,
                               const std::string& GameText,
                               std::chrono::milliseconds LockWait = kLockWait);
// What the user is told when a change of FileName was refused because
// another program holds the file or changed it since it was read.
std::string ChangeRefusedText(const std::string& FileName, bool English);

// The same, true only when the games went in.
bool AppendGameToPGNFile(const std::string& FileName, const std::string& GameText);
bool AppendGameToPGNFile(TFileSystem& Fs, const std::string& FileName, const std::string& GameText);

} // namespace kb
