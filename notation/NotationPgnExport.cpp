// SPDX-License-Identifier: GPL-3.0-or-later
// PGN export: tags from the header, movetext rewritten from the export
// layout (English letters, parentheses, numeric glyphs, short lines), and
// the clipboard commands.
#include "Notation.h"

#include <array>
#include <string_view>

namespace kb {
namespace {

std::string DateText(uint16_t year, uint16_t month, uint16_t day) {
    // Four digits at least: the reader takes the year from the first four characters.
    std::string y = std::to_string(year);
    if (y.size() < 4) y.insert(0, 4 - y.size(), '0');
    std::string s = year == 0 ? "????." : y + ".";
    s += month == 0 ? "??." : (month < 10 ? "0" : "") + std::to_string(month) + ".";
    s += day == 0 ? "??" : (day < 10 ? "0" : "") + std::to_string(day);
    return s;
}

// Quotes and backslashes are escaped as PGN wants, so that a value holding
// them reads back whole.
std::string Tag(const std::string& name, const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '"' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return "[" + name + " \"" + escaped + "\"]";
}

// What the rewrite does with each character outside comments: 0 copy it,
// 1 look at it, 2 + i the built-in NAG character i. Asked for every
// character of every game written.
const std::array<uint8_t, 256>& CharActions() {
    static const std::array<uint8_t, 256> actions = [] {
        std::array<uint8_t, 256> t{};
        for (const char c :
             {'{', 'D', 'T', 'L', 'S', '[', ']', '\r', '\n', '!', '?', '<', '>', ' '})
            t[static_cast<unsigned char>(c)] = 1;
        for (size_t i = 0; i < TNotation::DefaultNagChars.size(); ++i)
            t[static_cast<unsigned char>(TNotation::DefaultNagChars[i])] =
                static_cast<uint8_t>(2 + i);
        return t;
    }();
    return actions;
}

// Line breaks are marked with LF: every LF of the text itself is removed
// by the rewrite, so any LF left is a mark.
const char BreakMark = '\n';

// Puts " $998" at the end of the word after each ">" outside comments;
// the ">" stays for the rewrite to drop. What this inserts is scanned by
// the rewrite like any other text.
std::string MoveGreaterMarks(const std::string& S) {
    std::string out;
    out.reserve(S.size() + S.size() / 8);
    size_t pendingAt = std::string::npos; // where the marks go
    size_t pending = 0;
    bool comment = false;
    for (size_t i = 0; i < S.size(); ++i) {
        if (i == pendingAt) {
            for (; pending > 0; --pending)
                out += " $998";
            pendingAt = std::string::npos;
        }
        const char ch = S[i];
        if (comment) {
            comment = ch != '}';
        } else if (ch == '{') {
            comment = true;
        } else if (ch == '>') {
            if (pendingAt == std::string::npos) {
                size_t q = i + 1;
                // A move at the end of a variation is followed by its bracket.
                while (q < S.size() &&
                       std::string_view(" <()[]{").find(S[q]) == std::string_view::npos)
                    ++q;
                pendingAt = q;
            }
            ++pending;
        }
        out += ch;
    }
    for (; pending > 0; --pending)
        out += " $998";
    return out;
}

// Rewrites the export layout into PGN movetext with break marks. The text
// is read once and written once: rewriting it in place costs a copy of the
// rest of the text for every sign.
void RewriteMovetext(std::string& Text) {
    const bool marks = Text.find('>') != std::string::npos;
    const std::string moved = marks ? MoveGreaterMarks(Text) : std::string();
    const std::string& S = marks ? moved : Text;
    std::string out;
    out.reserve(S.size() + S.size() / 4);
    const size_t n = S.size();
    size_t p = 0;
    int c = 0;
    // Skips an LF with the blanks and LFs after it.
    auto dropLineFeeds = [&] {
        while (p < n && (S[p] == '\n' || S[p] == ' '))
            ++p;
    };
    auto replace = [&](size_t count, const std::string& with) {
        out += with;
        p += count;
        ++c;
    };
    const std::array<uint8_t, 256>& actions = CharActions();
    while (p < n) {
        // Plain characters are copied as a run.
        size_t run = p;
        while (run < n && actions[static_cast<unsigned char>(S[run])] == 0)
            ++run;
        if (run > p) {
            out.append(S, p, run - p);
            c += static_cast<int>(run - p);
            p = run;
            continue;
        }
        const char ch = S[p];
        if (ch == '{') {
            // Comments keep their letters; only their line ends and blank runs change.
            out += ch;
            ++p;
            ++c;
            while (p < n && S[p] != '}') {
                if (S[p] == '\n') {
                    dropLineFeeds();
                    continue;
                }
                const char k = S[p] == '\r' ? ' ' : S[p];
                if (k == ' ') {
                    while (p + 1 < n && S[p + 1] == ' ')
                        ++p;
                    // A line must not begin with "%": readers drop such lines.
                    if (c > 60 && p + 1 < n && S[p + 1] != '[' && S[p + 1] != '%') {
                        out += BreakMark;
                        c = 0;
                    } else {
                        out += ' ';
                    }
                } else {
                    out += k;
                }
                ++p;
                ++c;
            }
            // What the export opens it closes, whatever the text held.
            out += '}';
            if (p < n) ++p;
            ++c;
            continue;
        }
        const bool last = p + 1 == n;
        const char next = last ? '\0' : S[p + 1];
        char put = ch;
        switch (ch) {
        case 'D':
            put = 'Q';
            break;
        case 'T':
            put = 'R';
            break;
        case 'L':
            put = 'B';
            break;
        case 'S':
            put = 'N';
            break;
        case '[':
            put = '(';
            break;
        case ']':
            put = ')';
            break;
        case '\r':
            put = ' ';
            break;
        case '\n':
            dropLineFeeds();
            continue;
        case '!':
            if (last) break;
            if (next == '!')
                replace(2, " $3");
            else if (next == '?')
                replace(2, " $5");
            else
                replace(1, " $1");
            continue;
        case '?':
            if (last) break;
            if (next == '?')
                replace(2, " $4");
            else if (next == '!')
                replace(2, " $6");
            else
                replace(1, " $2");
            continue;
        case '<':
            replace(1, " $999");
            continue;
        case '>':
            ++p; // its mark was placed after the move
            continue;
        case ' ':
            if (c > 70) {
                put = BreakMark;
                c = 0;
            }
            break;
        default: {
            const int nag = actions[static_cast<unsigned char>(ch)] - 2;
            if (nag >= 0 && !last) {
                replace(1, " $" + std::to_string(TNotation::NagNumbers[static_cast<size_t>(nag)]));
                continue;
            }
            break;
        }
        }
        out += put;
        ++p;
        ++c;
    }
    Text = std::move(out);
}

} // namespace

int TNotation::WritePGN(bool ToClipboard, std::string& Text) {
    std::vector<std::string> lines;
    int result = 0;
    ExportMode = true;
    try {
        LayoutNotation(RootLine);
        const TEventData& e = GameData.EventData;
        auto orQuestion = [](const std::string& v) { return v.empty() ? std::string("?") : v; };
        lines.push_back(Tag("Event", orQuestion(e.Event)));
        lines.push_back(Tag("Site", orQuestion(e.Site)));
        lines.push_back(Tag("Date", DateText(e.Year, e.Month, e.Day)));
        lines.push_back(Tag("Round", RoundTagValue(e)));
        lines.push_back(Tag("White", orQuestion(e.White)));
        lines.push_back(Tag("Black", orQuestion(e.Black)));
        lines.push_back(Tag("Result", e.Result));
        if (!e.Annotator.empty()) lines.push_back(Tag("Annotator", e.Annotator));
        if (e.BlackElo != 0) lines.push_back(Tag("BlackElo", std::to_string(e.BlackElo)));
        if (!e.ECO.empty()) lines.push_back(Tag("ECO", e.ECO));
        const std::string eventDate = DateText(e.EventYear, e.EventMonth, e.EventDay);
        if (eventDate != "????.??.??") lines.push_back(Tag("EventDate", eventDate));
        // A Chess960 game names its start array even when it is the standard one.
        const TFischerInfo* fischer = ActiveFischerInfo();
        if (!HasStandardStart(GameData) || fischer) {
            lines.push_back(Tag("FEN", fischer ? StellungToFEN960(GameData.Stellung, GameData.Zug,
                                                                  GameData.ZugNummer, *fischer)
                                               : StellungToFEN(GameData.Stellung, GameData.Zug,
                                                               GameData.ZugNummer, false)));
            lines.push_back(Tag("SetUp", "1"));
        }
        if (const std::string tc = TimeControlTagValue(e); !tc.empty())
            lines.push_back(Tag("TimeControl", tc));
        if (e.WhiteElo != 0) lines.push_back(Tag("WhiteElo", std::to_string(e.WhiteElo)));
        for (const auto* long_ : {&e.MetaKeywords, &e.MetaDescription}) {
            const std::string name = long_ == &e.MetaKeywords ? "MetaKeywords" : "MetaDescription";
            for (size_t i = 0; i < long_->size(); i += 150)
                lines.push_back(Tag(name, long_->substr(i, 150)));
        }
        // The last Variant line is the one readers go by. One naming Chess960
        // is added where needed, and then written only there: a line read
        // twice is kept once.
        std::string_view variant;
        if (e.Tags)
            for (const std::string& t : e.Tags->Lines())
                if (t.compare(0, 9, "[Variant ") == 0) variant = t;
        const bool add960 = fischer && !IsChess960VariantName(ExtractTagValue(variant));
        const std::string line960 = Tag("Variant", "Chess960");
        // The added line takes its place in the list as a line read last
        // would, so that the export reads back to the same export.
        TTagList others;
        others.ByName = !e.Tags || e.Tags->ByName;
        if (e.Tags)
            for (const std::string& t : e.Tags->Lines())
                if (!add960 || t != line960) others.Add(t);
        if (add960) others.Add(line960);
        // Tags read into fields of their own go back as read, among the
        // other tags by their names.
        for (const auto& [name, value] : {std::pair{"BlackClubId", &e.BlackClubId},
                                          {"BlackDifferenceToGMT", &e.BlackDifferenceToGMT},
                                          {"DateTimeFormat", &e.DateTimeFormat},
                                          {"GameId", &e.GameId},
                                          {"WhiteClubId", &e.WhiteClubId},
                                          {"WhiteDifferenceToGMT", &e.WhiteDifferenceToGMT}})
            if (!value->empty()) others.Add(Tag(name, *value));
        if (e.MoveCount != 0) {
            // The header counts full moves; the main line gives the plies when it agrees.
            unsigned plies = 0;
            for (const TBaum* n = RootLine ? RootLine->Erster : nullptr; n; n = n->Next)
                ++plies;
            others.Add(
                Tag("PlyCount",
                    std::to_string((plies + 1) / 2 == e.MoveCount ? plies : 2u * e.MoveCount)));
        }
        const std::vector<std::string>& otherLines = others.Lines();
        lines.insert(lines.end(), otherLines.begin(), otherLines.end());
        lines.emplace_back();

        std::string S = LayoutText;
        if (FUeberschrift) S.erase(0, static_cast<size_t>(HeadlineEnd));
        // The result ends the movetext untouched; one that is no game result
        // would read back as moves, so the movetext ends with "*" then.
        if (S.size() >= e.Result.size() &&
            S.compare(S.size() - e.Result.size(), e.Result.size(), e.Result) == 0)
            S.erase(S.size() - e.Result.size());
        RewriteMovetext(S);
        const bool known =
            e.Result == "1-0" || e.Result == "0-1" || e.Result == "1/2-1/2" || e.Result == "*";
        S += known ? e.Result : std::string("*");
        size_t start = 0;
        for (size_t i = 0; i < S.size(); ++i) {
            if (S[i] == BreakMark) {
                lines.push_back(S.substr(start, i - start));
                start = i + 1;
            }
        }
        if (start < S.size()) lines.push_back(S.substr(start));
    } catch (...) {
        result = -1;
    }
    ExportMode = false;
    // The export layout already placed the working board; a hidden notation
    // needs no display text back until someone asks.
    if (result == 0 && Hidden())
        DeferLayout();
    else
        LayoutNotation(RootLine);
    if (result != 0) return result;

    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += "\r\n";
    }
    if (ToClipboard) return ClipboardSetText && ClipboardSetText(out) ? 0 : -1;
    Text = std::move(out);
    return 0;
}

int TNotation::CopyPGN() {
    std::string unused;
    return WritePGN(true, unused);
}

int TNotation::GetPGN(std::string& Text) {
    Text.clear();
    return WritePGN(false, Text);
}

bool TNotation::PastePGN() {
    std::string text;
    if (!ClipboardGetText || !ClipboardGetText(text) || text.empty()) return false;
    if (FBusy) return false; // a question about the tree is open
    {
        // Read aside first: text that yields no move and fails (a link, a
        // sentence, a variant we cannot play) must not wipe the game shown,
        // which a save would then overwrite.
        TNotation aside;
        aside.SetEnglish(FEnglish);
        std::vector<std::string> errors;
        aside.OnError = [&errors](TNotation*, const std::string& E) { errors.push_back(E); };
        if (aside.LoadPGN(text) != 0 && !aside.HasMoves()) {
            for (const std::string& e : errors)
                if (OnError) OnError(this, e);
            return false;
        }
    }
    return LoadPGN(text) == 0;
}

} // namespace kb
