// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNRewrite.h"
#include "SchachProcs.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace kb {

namespace {

bool IsDatabaseFileName(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext == ".KBF" || ext == ".KBFIDX" || ext == ".KBFTMP";
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
        if (!old) return TRewriteResult::Failed;
        if (!old->TryLock()) return TRewriteResult::Refused;
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
    if (written != TRewriteResult::Done) return written;
    // The writing may have pumped messages or taken long: a program that
    // takes no lock may have changed the file meanwhile.
    if (!old->IsFileAt(FileName) || old->Stamp() != locked || (R.Check && !R.Check(*old)))
        return TRewriteResult::Refused;
    if (R.BeforeRename) R.BeforeRename();
    // Renamed counts even when only the folder sync failed: the new file
    // stands under the name.
    if (!out.Commit() && !out.Renamed()) return TRewriteResult::Failed;
    return TRewriteResult::Done;
}

TRewriteResult AppendToPGNFile(TFileSystem& Fs, const std::string& FileName,
                               const std::string& GameText) {
    if (GameText.empty() || FileName.empty()) return TRewriteResult::Failed;
    std::error_code ec;
    if (IsDatabaseFileName(FileName)) return TRewriteResult::Failed;
    const auto real = std::filesystem::weakly_canonical(FileName, ec);
    if (!ec && IsDatabaseFileName(real)) return TRewriteResult::Failed;
    if (!IsPGNFile(FileName)) return TRewriteResult::Failed;

    std::string bytes = GameText.front() != '\r' ? "\r\n\r\n" : "";
    bytes += GameText;
    // The last line ends with CR LF like every other.
    if (bytes.back() != '\n' && bytes.back() != '\r') bytes += "\r\n";
    TPGNRewrite r;
    r.Write = [&bytes](TFile& Old, TFile& New) {
        const int64_t oldSize = Old.Size();
        if (oldSize < 0) return TRewriteResult::Failed;
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

bool AppendGameToPGNFile(TFileSystem& Fs, const std::string& FileName,
                         const std::string& GameText) {
    return AppendToPGNFile(Fs, FileName, GameText) == TRewriteResult::Done;
}

bool AppendGameToPGNFile(const std::string& FileName, const std::string& GameText) {
    return AppendGameToPGNFile(TFileSystem::Posix(), FileName, GameText);
}

} // namespace kb
