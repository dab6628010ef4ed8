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

TEcoRunResult RunOnPGN(TPGN& List, const TEcoClassifier& Classify, const TEcoRunOptions& Options) {
    const std::string file = List.FileName();
    // The new version is written beside the file under a name no user
    // gives a file, held while written, and renamed over the old one: a
    // crash leaves the old file or the new one, and the next open removes
    // what a killed run left.
    TReplacement out;
    if (!out.Begin(List.FileSystem(), file)) return TEcoRunResult::Failed;
    int64_t at = 0;
    auto write = [&](const std::string& Bytes) {
        if (!out.File().WriteAt(at, Bytes.data(), static_cast<int64_t>(Bytes.size())))
            return false;
        at += static_cast<int64_t>(Bytes.size());
        return true;
    };

    const int count = List.RecordCount();
    // Whatever stands before the first game is kept.
    if (count > 0 && List.Record(0).Start > 0) {
        std::string head(static_cast<size_t>(List.Record(0).Start), '\0');
        auto in = List.FileSystem().Open(file, TOpenMode::Read);
        if (!in || in->ReadAt(0, head.data(), static_cast<int64_t>(head.size())) !=
                       static_cast<int64_t>(head.size()) ||
            !write(head))
            return TEcoRunResult::Failed;
    }
    for (int i = 0; i < count; ++i) {
        bool deleted = false;
        std::string text;
        if (!List.ReadGameText(i, deleted, text)) return TEcoRunResult::Failed;
        std::string game = ClassifyKeepingText(text, Classify);
        game += i + 1 < count ? "\r\n\r\n" : "\r\n";
        if (!write(game)) return TEcoRunResult::Failed;
        if (Options.Progress && !Options.Progress(i + 1, count)) return TEcoRunResult::Stopped;
    }

    // Written from the index: games another program put there since the
    // scan would be lost.
    if (!List.FileUnchanged()) return TEcoRunResult::Failed;

    // The list lets go of the file while the new one takes its name.
    List.SetFileName("");
    if (Options.BeforeReplace) Options.BeforeReplace();
    const bool replaced = out.Commit() || out.Renamed();
    List.SetFileName(file);
    return replaced ? TEcoRunResult::Done : TEcoRunResult::Failed;
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
