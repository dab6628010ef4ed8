// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNRewrite.h"
#include "DatabaseFormat.h"
#include "SchachProcs.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace kb {

namespace {

// The lock of the old file, waited for a while: another writer holds it
// only as long as its change takes.
TRewriteResult LockWithin(TFile& File, const TPGNRewrite& R) {
    const auto until = std::chrono::steady_clock::now() + R.LockWait;
    while (!File.TryLock()) {
        if (std::chrono::steady_clock::now() >= until) return TRewriteResult::Refused;
        if (R.Waiting && !R.Waiting()) return TRewriteResult::Stopped;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return TRewriteResult::Done;
}

// A file stands under the name, but not the one read: another program
// changed or replaced it.
bool ChangedSince(TFileSystem& Fs, const std::string& FileName, const TPGNRewrite& R) {
    if (R.ReadStamp.MTimeNs == -1) return false;
    const TFileStamp now = Fs.Stamp(FileName);
    return now.MTimeNs != -1 && now != R.ReadStamp;
}

} // namespace

TRewriteResult RewritePGNFile(TFileSystem& Fs, const std::string& FileName, const TPGNRewrite& R) {
    if (FileName.empty() || !R.Write) return TRewriteResult::Failed;
    const bool readBefore = R.ReadStamp.MTimeNs != -1;
    // Opened for writing though never written: a file we may not write
    // stays as it is.
    std::unique_ptr<TFile> old;
    for (int attempt = 0;; ++attempt) {
        old = Fs.Open(FileName, TOpenMode::ReadWrite);
        // A file that another program put under the name since it was read
        // (one we may not write, as cp -p can leave) is its change.
        if (!old)
            return ChangedSince(Fs, FileName, R) ? TRewriteResult::Refused : TRewriteResult::Failed;
        const TRewriteResult locked = LockWithin(*old, R);
        if (locked != TRewriteResult::Done) return locked;
        if (old->IsFileAt(FileName)) break;
        // Another writer put a new file under the name between our open and
        // our lock. What was read from the old one is out of date; a writer
        // that read nothing takes the new one.
        if (readBefore || attempt == 3) return TRewriteResult::Refused;
    }
    const TFileStamp locked = old->Stamp();
    if (locked.MTimeNs == -1) return TRewriteResult::Failed;
    if (readBefore && locked != R.ReadStamp) return TRewriteResult::Refused;
    if (R.Check && !R.Check(*old)) return TRewriteResult::Refused;

    RemoveStaleReplacements(Fs, FileName);
    TReplacement out;
    if (!out.Begin(Fs, FileName)) return TRewriteResult::Failed;
    const TRewriteResult written = R.Write(*old, out.File());
    // A read that came short because a program that takes no lock (cp,
    // an editor) cut or rewrote the file meanwhile is that program's change.
    if (written == TRewriteResult::Failed && (!old->IsFileAt(FileName) || old->Stamp() != locked))
        return TRewriteResult::Refused;
    if (written != TRewriteResult::Done) return written;
    // The new file is on disk before the last look at the old one: the
    // sync can take seconds, and a program that takes no lock may change
    // the file meanwhile, as it may while the writing pumped messages.
    if (!out.SyncContent()) return TRewriteResult::Failed;
    if (!old->IsFileAt(FileName) || old->Stamp() != locked || (R.Check && !R.Check(*old)))
        return TRewriteResult::Refused;
    if (R.BeforeRename) R.BeforeRename();
    // Renamed counts even when only the folder sync failed: the new file
    // stands under the name.
    if (!out.RenameOver() && !out.Renamed()) return TRewriteResult::Failed;
    return TRewriteResult::Done;
}

std::string SeparatorBefore(TFile& File, int64_t Size) {
    if (Size <= 0) return {};
    char tail[4];
    const int64_t n = std::min<int64_t>(Size, sizeof tail);
    int breaks = 0;
    if (File.ReadAt(Size - n, tail, n) == n) {
        for (int64_t i = n - 1; i >= 0 && breaks < 2; --i, ++breaks) {
            if (tail[i] == '\n') {
                if (i > 0 && tail[i - 1] == '\r') --i;
            } else if (tail[i] != '\r') {
                break;
            }
        }
    }
    std::string separator;
    for (; breaks < 2; ++breaks)
        separator += "\r\n";
    return separator;
}

TRewriteResult AppendToPGNFile(TFileSystem& Fs, const std::string& FileName,
                               const std::string& GameText, std::chrono::milliseconds LockWait) {
    if (GameText.empty() || FileName.empty()) return TRewriteResult::Failed;
    std::error_code ec;
    if (DatabasePartOf(FileName) != TDatabasePart::None) return TRewriteResult::Failed;
    const auto real = std::filesystem::weakly_canonical(FileName, ec);
    if (!ec && DatabasePartOf(real.string()) != TDatabasePart::None) return TRewriteResult::Failed;
    if (!IsPGNFile(FileName)) return TRewriteResult::Failed;

    const size_t first = GameText.find_first_not_of("\r\n");
    if (first == std::string::npos) return TRewriteResult::Failed;
    std::string_view text = std::string_view(GameText).substr(first);
    TPGNRewrite r;
    r.LockWait = LockWait;
    r.Write = [text](TFile& Old, TFile& New) {
        const int64_t oldSize = Old.Size();
        if (oldSize < 0) return TRewriteResult::Failed;
        std::string bytes = SeparatorBefore(Old, oldSize);
        bytes += text;
        // The last line ends with CR LF like every other.
        if (bytes.back() != '\n' && bytes.back() != '\r') bytes += "\r\n";
        std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(oldSize, 1 << 20)) + 1);
        for (int64_t at = 0; at < oldSize;) {
            const int64_t want = std::min<int64_t>(static_cast<int64_t>(buf.size()), oldSize - at);
            if (Old.ReadAt(at, buf.data(), want) != want || !New.WriteAt(at, buf.data(), want))
                return TRewriteResult::Failed;
            at += want;
        }
        return New.WriteAt(oldSize, bytes.data(), static_cast<int64_t>(bytes.size()))
                   ? TRewriteResult::Done
                   : TRewriteResult::Failed;
    };
    return RewritePGNFile(Fs, FileName, r);
}

std::string ChangeRefusedText(const std::string& FileName, bool English) {
    return English ? "The file \"" + FileName +
                         "\" was changed by another program, or another program is changing "
                         "it. The games have been read again: please try once more."
                   : "Die Datei \"" + FileName +
                         "\" wurde von einem anderen Programm geändert, oder ein anderes "
                         "Programm ändert sie gerade. Die Partien wurden neu eingelesen: Bitte "
                         "versuchen Sie es noch einmal.";
}

bool AppendGameToPGNFile(TFileSystem& Fs, const std::string& FileName,
                         const std::string& GameText) {
    return AppendToPGNFile(Fs, FileName, GameText) == TRewriteResult::Done;
}

bool AppendGameToPGNFile(const std::string& FileName, const std::string& GameText) {
    return AppendGameToPGNFile(TFileSystem::Posix(), FileName, GameText);
}

} // namespace kb
