// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinEco.h"
#include "ChessDatabase.h"
#include "Notation.h"
#include "uEco.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kb {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// One line of a text: [Begin, End) without its line break, Next after it.
struct TLine {
    size_t Begin, End, Next;
};

bool NextLine(std::string_view Text, size_t Pos, TLine& L) {
    if (Pos >= Text.size()) return false;
    size_t e = Pos;
    while (e < Text.size() && Text[e] != '\r' && Text[e] != '\n')
        ++e;
    size_t n = e;
    if (n < Text.size() && Text[n] == '\r') ++n;
    if (n < Text.size() && Text[n] == '\n' && (n == e || Text[n - 1] == '\r')) ++n;
    L = {Pos, e, n};
    return true;
}

bool IsEcoLine(std::string_view Line) {
    Line = Trim(Line);
    return Line.size() > 5 && Line.substr(0, 5) == "[ECO ";
}

bool WriteAll(int Fd, const char* Data, size_t Size) {
    while (Size > 0) {
        const ssize_t n = ::write(Fd, Data, Size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        Data += n;
        Size -= static_cast<size_t>(n);
    }
    return true;
}

bool SyncDir(const std::string& Path) {
    const int fd = ::open(fs::path(Path).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool LockedAt(int Fd, const std::string& Path) {
    struct stat mine {
    }, there{};
    return ::flock(Fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(Fd, &mine) == 0 &&
           ::stat(Path.c_str(), &there) == 0 && mine.st_dev == there.st_dev &&
           mine.st_ino == there.st_ino;
}

TEcoRunResult RunOnPGN(TPGN& List, const TEcoClassifier& Classify, const TEcoRunOptions& Options) {
    const std::string file = List.FileName();
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return TEcoRunResult::Failed;
    // What an interrupted run left goes first, so its names are free again.
    List.RemoveStaleTemps();
    std::string temp;
    int fd = -1;
    for (int k = 0; k < 100 && fd < 0; ++k) {
        temp = file + std::to_string(k);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
        if (fd < 0 && errno != EEXIST) return TEcoRunResult::Failed;
        // Held while written, so that a cleaner tells this file from a dead
        // run's; one that a cleaner took before the lock is not ours.
        if (fd >= 0 && !LockedAt(fd, temp)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) return TEcoRunResult::NoTempName;

    auto discard = [&](TEcoRunResult R) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        return R;
    };

    const int count = List.RecordCount();
    // Whatever stands before the first game is kept.
    if (count > 0 && List.Record(0).Start > 0) {
        std::string head(static_cast<size_t>(List.Record(0).Start), '\0');
        const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return discard(TEcoRunResult::Failed);
        const ssize_t n = ::pread(in, head.data(), head.size(), 0);
        ::close(in);
        if (n != static_cast<ssize_t>(head.size()) || !WriteAll(fd, head.data(), head.size()))
            return discard(TEcoRunResult::Failed);
    }
    for (int i = 0; i < count; ++i) {
        bool deleted = false;
        std::string text;
        if (!List.ReadGameText(i, deleted, text)) return discard(TEcoRunResult::Failed);
        std::string out = ClassifyKeepingText(text, Classify);
        out += i + 1 < count ? "\r\n\r\n" : "\r\n";
        if (!WriteAll(fd, out.data(), out.size())) return discard(TEcoRunResult::Failed);
        if (Options.Progress && !Options.Progress(i + 1, count))
            return discard(TEcoRunResult::Stopped);
    }
    if (::fsync(fd) != 0) return discard(TEcoRunResult::Failed);
    // The file stays open (and locked) until it has its final name.

    // Written from the index: games another program put there since the
    // scan would be lost.
    if (!List.FileUnchanged()) return discard(TEcoRunResult::Failed);

    // The list lets go of the file; the new one takes its name in one step,
    // so a crash leaves either the old file or the new one.
    List.SetFileName("");
    if (Options.BeforeReplace) Options.BeforeReplace();
    if (!fs::exists(temp) || ::rename(temp.c_str(), file.c_str()) != 0) {
        discard(TEcoRunResult::Failed);
        List.SetFileName(file);
        return TEcoRunResult::Failed;
    }
    ::close(fd);
    fd = -1;
    SyncDir(file);
    List.SetFileName(file);
    return TEcoRunResult::Done;
}

TEcoRunResult RunOnDatabase(TPGN& List, const TEcoClassifier& Classify,
                            const TEcoRunOptions& Options) {
    TChessDatabase* db = List.Database();
    const int count = static_cast<int>(db->GetCount());
    List.KeepOpen(true);
    TEcoRunResult result = TEcoRunResult::Done;
    for (int n = 0; n < count; ++n) {
        bool deleted = false;
        std::string text;
        List.ReadGameText(n, deleted, text);
        // Deleted slots stay as they are.
        if (!deleted && !text.empty()) {
            const std::string out = ClassifyKeepingText(text, Classify);
            int gameNo = n;
            if (out != text && !List.ReplaceGame(gameNo, out)) {
                result = TEcoRunResult::Failed;
                break;
            }
        }
        if (Options.Progress && !Options.Progress(n + 1, count)) {
            result = TEcoRunResult::Stopped;
            break;
        }
    }
    List.KeepOpen(false);
    return result;
}

} // namespace

std::string EcoTagOf(const std::string& GameText) {
    std::string_view t(GameText);
    TLine l{};
    for (size_t pos = 0; NextLine(t, pos, l); pos = l.Next) {
        std::string_view line = Trim(t.substr(l.Begin, l.End - l.Begin));
        if (line.empty() || line.front() != '[') break;
        if (IsEcoLine(line)) return ExtractTagValue(line);
    }
    return {};
}

std::string SetEcoTag(const std::string& GameText, const std::string& Eco) {
    std::string_view t(GameText);
    const std::string tag = "[ECO \"" + Eco + "\"]";
    TLine l{};
    size_t lastTagEnd = std::string::npos;
    std::string_view lineBreak = "\r\n";
    for (size_t pos = 0; NextLine(t, pos, l); pos = l.Next) {
        std::string_view line = Trim(t.substr(l.Begin, l.End - l.Begin));
        if (line.empty() || line.front() != '[') break;
        if (l.Next > l.End) lineBreak = t.substr(l.End, l.Next - l.End);
        if (IsEcoLine(line)) return GameText.substr(0, l.Begin) + tag + GameText.substr(l.End);
        lastTagEnd = l.End;
    }
    if (lastTagEnd == std::string::npos) return GameText;
    return GameText.substr(0, lastTagEnd) + std::string(lineBreak) + tag +
           GameText.substr(lastTagEnd);
}

std::string RemoveEcoTag(const std::string& GameText) {
    std::string_view t(GameText);
    TLine l{};
    for (size_t pos = 0; NextLine(t, pos, l); pos = l.Next) {
        std::string_view line = Trim(t.substr(l.Begin, l.End - l.Begin));
        if (line.empty() || line.front() != '[') break;
        if (IsEcoLine(line)) return GameText.substr(0, l.Begin) + GameText.substr(l.Next);
    }
    return GameText;
}

std::string ClassifyByTable(const std::string& GameText) {
    // One classifier per thread: its notation is reused game after game.
    thread_local TfrmEco eco;
    return eco.Classify(GameText) ? eco.Code : std::string();
}

std::string ClassifyKeepingText(const std::string& GameText, const TEcoClassifier& Classify) {
    if (!Classify || GameText.empty()) return GameText;
    {
        TNotation check;
        if (!LoadForEco(check, GameText)) return GameText;
    }
    const std::string eco = Classify(GameText);
    if (eco == EcoTagOf(GameText)) return GameText;
    // No code found: an old tag cannot be confirmed.
    return eco.empty() ? RemoveEcoTag(GameText) : SetEcoTag(GameText, eco);
}

TEcoRunResult RunEcoClassification(TPGN& List, const TEcoClassifier& Classify,
                                   const TEcoRunOptions& Options) {
    if (!List.Loaded() || List.Busy() || List.ScanIncomplete()) return TEcoRunResult::Failed;
    return List.IsDatabase() ? RunOnDatabase(List, Classify, Options)
                             : RunOnPGN(List, Classify, Options);
}

} // namespace kb
