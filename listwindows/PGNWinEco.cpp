// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinEco.h"
#include "ChessDatabase.h"
#include "Notation.h"
#include "uEco.h"

#include <string_view>

namespace kb {

namespace {

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
    Line = TrimBlanks(Line);
    return Line.size() > 5 && Line.substr(0, 5) == "[ECO ";
}

TEcoRunResult RunOnPGN(TPGN& List, const TEcoClassifier& Classify, const TEcoRunOptions& Options) {
    // One change of the file through the door every change goes through:
    // held against other writers while it runs, refused when the file is
    // no longer the one the list read, and renamed over the old file only
    // when the whole run succeeded.
    const int count = List.RecordCount();
    if (Options.Changed) *Options.Changed = 0;
    const TRewriteResult r = List.RewriteGames(
        [&](int Index, std::string& Text) {
            std::string classified = ClassifyKeepingText(Text, Classify);
            if (Options.Changed && classified != Text) ++*Options.Changed;
            Text = std::move(classified);
            return !Options.Progress || Options.Progress(Index + 1, count);
        },
        Options.BeforeReplace);
    if (r == TRewriteResult::Stopped) return TEcoRunResult::Stopped;
    if (r != TRewriteResult::Done) return TEcoRunResult::Failed;
    // The games moved: the list reads the new file.
    const std::string file = List.FileName();
    List.SetFileName("");
    List.SetFileName(file);
    return TEcoRunResult::Done;
}

TEcoRunResult RunOnDatabase(TPGN& List, const TEcoClassifier& Classify,
                            const TEcoRunOptions& Options) {
    TChessDatabase* db = List.Database();
    const int count = static_cast<int>(db->GetCount());
    if (Options.Changed) *Options.Changed = 0;
    List.KeepOpen(true);
    TEcoRunResult result = TEcoRunResult::Done;
    for (int n = 0; n < count; ++n) {
        bool deleted = false;
        std::string text;
        // The number as the list hands it out now: one it handed out before
        // a compress or a reopening is refused by the replace.
        int gameNo = -1;
        List.GetGame(n, gameNo, text, deleted);
        // Deleted slots stay as they are.
        if (!deleted && !text.empty()) {
            const std::string out = ClassifyKeepingText(text, Classify);
            if (out != text) {
                if (!List.ReplaceGame(gameNo, out)) {
                    result = TEcoRunResult::Failed;
                    break;
                }
                if (Options.Changed) ++*Options.Changed;
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
        std::string_view line = TrimBlanks(t.substr(l.Begin, l.End - l.Begin));
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
        std::string_view line = TrimBlanks(t.substr(l.Begin, l.End - l.Begin));
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
        std::string_view line = TrimBlanks(t.substr(l.Begin, l.End - l.Begin));
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
