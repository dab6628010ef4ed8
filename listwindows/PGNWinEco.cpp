// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinEco.h"
#include "ChessDatabase.h"
#include "Notation.h"
#include "uEco.h"

#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

namespace kb {

namespace {

// The ECO tags of a game text, read as the game reader reads its tag
// section; the name's letter case is ignored, as the tag parser does.
struct TEcoTags {
    std::vector<TTagInText> Eco;
    size_t LastTagEnd = std::string::npos; // behind the section's last tag
};

TEcoTags FindEcoTags(std::string_view Text) {
    TEcoTags found;
    ReadTagSection(Text, [&](const TTagInText& Tag) {
        found.LastTagEnd = Tag.End;
        const std::string normal = NormalTagLine(Tag.Tag);
        const bool eco = normal.size() > 5 && normal[0] == '[' && normal[4] == ' ' &&
                         std::toupper(static_cast<unsigned char>(normal[1])) == 'E' &&
                         std::toupper(static_cast<unsigned char>(normal[2])) == 'C' &&
                         std::toupper(static_cast<unsigned char>(normal[3])) == 'O';
        if (eco) found.Eco.push_back(Tag);
    });
    return found;
}

// The bytes a removed tag leaves: its own line, line end included, when
// nothing else stands on it; else the tag and the blanks behind it.
std::pair<size_t, size_t> RemovedBytes(std::string_view Text, const TTagInText& Tag) {
    size_t from = Tag.Begin, to = Tag.End;
    while (from > 0 && (Text[from - 1] == ' ' || Text[from - 1] == '\t'))
        --from;
    while (to < Text.size() && (Text[to] == ' ' || Text[to] == '\t'))
        ++to;
    const bool lineStart = from == 0 || Text[from - 1] == '\n' || Text[from - 1] == '\r';
    const bool lineEnd = to == Text.size() || Text[to] == '\n' || Text[to] == '\r';
    if (lineStart && lineEnd) {
        if (to < Text.size()) to += Text.compare(to, 2, "\r\n") == 0 ? 2 : 1;
        return {from, to};
    }
    return {Tag.Begin, lineEnd ? Tag.End : to};
}

// Text without the given tags (in text order), Keep aside, which becomes Replacement.
std::string WithoutTags(std::string_view Text, const std::vector<TTagInText>& Tags,
                        const TTagInText* Keep, std::string_view Replacement) {
    std::string out;
    size_t at = 0;
    for (const TTagInText& t : Tags) {
        if (&t == Keep) {
            out.append(Text.substr(at, t.Begin - at));
            out.append(Replacement);
            at = t.End;
            continue;
        }
        const auto [from, to] = RemovedBytes(Text, t);
        if (from < at) continue;
        out.append(Text.substr(at, from - at));
        at = to;
    }
    out.append(Text.substr(at));
    return out;
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
    // The last one rules, as for the game reader.
    const TEcoTags tags = FindEcoTags(GameText);
    return tags.Eco.empty() ? std::string() : ExtractTagValue(NormalTagLine(tags.Eco.back().Tag));
}

std::string SetEcoTag(const std::string& GameText, const std::string& Eco) {
    const std::string tag = "[ECO \"" + Eco + "\"]";
    const TEcoTags tags = FindEcoTags(GameText);
    // The last ECO tag takes the code, the others go.
    if (!tags.Eco.empty()) return WithoutTags(GameText, tags.Eco, &tags.Eco.back(), tag);
    if (tags.LastTagEnd == std::string::npos) return GameText;
    // A line of its own behind the last tag, with the text's line ends.
    const size_t eol = GameText.find_first_of("\r\n");
    std::string lineBreak = "\r\n";
    if (eol != std::string::npos)
        lineBreak = GameText.compare(eol, 2, "\r\n") == 0 ? "\r\n" : GameText.substr(eol, 1);
    return GameText.substr(0, tags.LastTagEnd) + lineBreak + tag + GameText.substr(tags.LastTagEnd);
}

std::string RemoveEcoTag(const std::string& GameText) {
    const TEcoTags tags = FindEcoTags(GameText);
    if (tags.Eco.empty()) return GameText;
    return WithoutTags(GameText, tags.Eco, nullptr, {});
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
