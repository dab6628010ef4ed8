// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChessPrintText.h"

#include "PGNScan.h"

#include "IniFile.h"
#include "schachfonts.h"

#include <algorithm>

namespace kb {

namespace {

constexpr char DiagramMark = '\x7f';

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsTrimmed(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsTrimmed(s.back()))
        s.remove_suffix(1);
    return s;
}

// The text kind of moves at a variation level: main line, first level, deeper.
uint8_t KindForLevel(int Level) {
    if (Level <= 0) return pkMain;
    return Level == 1 ? pkVar1 : pkVar2;
}

// Every move of the tree with its text span, in text order.
struct TMoveSpan {
    int32_t Pos;
    const TBaum* Node;
};

std::vector<TMoveSpan> MoveSpans(const TNotation& N) {
    std::vector<TMoveSpan> spans;
    std::vector<const TBaum*> stack;
    if (N.RootLine && N.RootLine->Erster) stack.push_back(N.RootLine->Erster);
    while (!stack.empty()) {
        const TBaum* n = stack.back();
        stack.pop_back();
        for (; n; n = n->Next) {
            for (const TVariante* v = n->Variations; v; v = v->Naechste)
                if (v->Erster) stack.push_back(v->Erster);
            if (n->TextPos > 0) spans.push_back({n->TextPos, n});
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const TMoveSpan& a, const TMoveSpan& b) { return a.Pos < b.Pos; });
    return spans;
}

} // namespace

std::vector<std::string> SplitPrintGames(std::string_view PGNGames) {
    // The games the game list finds in these bytes.
    std::vector<std::string> games;
    for (const std::string_view text : SplitGameTexts(PGNGames)) {
        std::string& game = games.emplace_back();
        // CR LF, LF and a lone CR each end one line.
        for (size_t p = 0; p < text.size();) {
            size_t e = p;
            while (e < text.size() && text[e] != '\r' && text[e] != '\n')
                ++e;
            game.append(text.substr(p, e - p));
            game += "\r\n";
            if (e + 1 < text.size() && text[e] == '\r' && text[e + 1] == '\n') ++e;
            p = e + 1;
        }
    }
    return games;
}

void TChessPrintText::ClearPrintText() {
    Segments.clear();
    PrintPos = 0;
    ChunkStart = 0;
    ChunkFirst = 0;
    ChunkLast = 0;
    PrintText.clear();
    pending_.clear();
}

int TChessPrintText::SegmentAt(int32_t Position) const {
    // Half-open runs: a position on a boundary belongs to the run it starts.
    auto it = std::upper_bound(Segments.begin(), Segments.end(), Position,
                               [](int32_t p, const TPrintSegment& s) { return p < s.Start; });
    if (it == Segments.begin()) return static_cast<int>(Segments.size());
    --it;
    if (Position > it->End()) return static_cast<int>(Segments.size());
    return static_cast<int>(it - Segments.begin());
}

void TChessPrintText::AddSegment(uint8_t Kind) {
    if (pending_.empty()) return;
    const bool atLineStart = !PrintText.empty() && PrintText.back() == '\n';
    if (atLineStart) {
        const size_t n = pending_.find_first_not_of(' ');
        pending_.erase(0, n == std::string::npos ? pending_.size() : n);
        if (pending_.empty()) return;
    }
    if (Kind == pkDiagram && atLineStart && PrintText.size() > 1) {
        // The diagram brings its own leading line break: take back the one
        // before it, and only that, from the runs it belongs to.
        size_t cut = PrintText.size() >= 2 && PrintText[PrintText.size() - 2] == '\r' ? 2 : 1;
        PrintText.resize(PrintText.size() - cut);
        while (cut > 0 && !Segments.empty()) {
            TPrintSegment& last = Segments.back();
            const auto take = std::min<int32_t>(last.Length, static_cast<int32_t>(cut));
            last.Length -= take;
            cut -= static_cast<size_t>(take);
            if (last.Length == 0) Segments.pop_back();
        }
    }
    Segments.push_back(
        {static_cast<int32_t>(PrintText.size()) + 1, static_cast<int32_t>(pending_.size()), Kind});
    PrintText += pending_;
    pending_.clear();
}

void TChessPrintText::EnsureLineBreak() {
    if (PrintText.empty() || PrintText.back() != '\n') pending_ = "\r\n";
}

void TChessPrintText::AddHeadline(const TEventData& E) {
    const bool hasSite = !E.Site.empty() && E.Site != "?";
    auto siteYear = [&] {
        std::string s;
        if (hasSite) {
            s += E.Site;
            if (E.Year != 0) s += "\r\n";
        }
        if (E.Year != 0) s += std::to_string(E.Year) + "\r\n";
        return s;
    };
    pending_ = E.White + " - " + E.Black + "\r\n";
    if (!E.Event.empty() && E.Event != "?") {
        pending_ += E.Event;
        if (hasSite || E.Year != 0)
            pending_ += ", " + siteYear();
        else
            pending_ += "\r\n";
    } else {
        pending_ += siteYear();
    }
    pending_ += "\r\n";
    AddSegment(pkHeadline);
}

void TChessPrintText::AddGame(TNotation& N) {
    TEventData& e = N.GameData.EventData;
    if (FirstPosition && !e.FEN.empty()) {
        // A game from a set-up position opens with a diagram of it.
        std::string c(Trim(N.GameData.Kommentar));
        if (!c.empty() && c.front() == '{')
            c.insert(1, 1, DiagramMark);
        else
            c = std::string("{") + DiagramMark + "}";
        N.GameData.Kommentar = c;
        N.Refresh();
    }

    const std::string& layout = N.GetText();
    std::string_view t = layout;
    size_t lead = 0;
    while (lead < t.size() && IsTrimmed(t[lead]))
        ++lead;
    t = Trim(t);
    // The layout ends with the result; take it off, and nothing else when a
    // game has none there.
    const std::string& result = e.Result;
    if (!result.empty() && t.size() >= result.size() &&
        t.substr(t.size() - result.size()) == result &&
        (t.size() == result.size() || IsTrimmed(t[t.size() - result.size() - 1]))) {
        t.remove_suffix(result.size());
        t = Trim(t);
    }

    AddHeadline(e);

    const std::vector<TMoveSpan> spans = MoveSpans(N);
    auto boardBefore = [&](size_t bracePos) {
        // The position after the move the comment follows: the last move
        // whose text ends before the comment (none for the game comment).
        const auto pos = static_cast<int32_t>(bracePos + lead + 1);
        auto it = std::lower_bound(spans.begin(), spans.end(), pos,
                                   [](const TMoveSpan& s, int32_t p) { return s.Pos < p; });
        TSchachbrett board = N.GameData.Stellung;
        if (it != spans.begin()) {
            TZug zug{};
            N.PositionAfter(std::prev(it)->Node, board, zug);
        }
        return board;
    };

    int level = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        switch (c) {
        case '[':
            AddSegment(KindForLevel(level));
            ++level;
            pending_ += c;
            break;
        case ']':
            pending_ += c;
            AddSegment(pkVar1);
            level = std::max(0, level - 1);
            break;
        case '(':
            AddSegment(KindForLevel(level));
            ++level;
            pending_ += c;
            break;
        case ')':
            pending_ += c;
            level = std::max(0, level - 1);
            AddSegment(pkVar2);
            break;
        case '{': {
            AddSegment(KindForLevel(level));
            const size_t brace = i;
            for (++i; i < t.size() && t[i] != '}'; ++i) {
                if (t[i] != DiagramMark) {
                    pending_ += t[i];
                    continue;
                }
                AddSegment(pkComment);
                pending_ = "\r\n" + StellungToFontDiagram(boardBefore(brace), DiagramFont,
                                                          IniValueReader(FontIniFile));
                AddSegment(pkDiagram);
                pending_ = "\r\n";
            }
            AddSegment(pkComment);
            break;
        }
        default:
            pending_ += c;
        }
    }
    AddSegment(KindForLevel(level));

    if (!result.empty() && result != "*") {
        EnsureLineBreak();
        pending_ += "\r\n" + result;
        AddSegment(pkResult);
    }
}

bool TChessPrintText::BuildText(std::string_view PGNGames, TNotation& Notation) {
    ClearPrintText();
    const std::vector<std::string> games = SplitPrintGames(PGNGames);
    int shown = -1;
    for (size_t g = 0; g < games.size(); ++g) {
        const int percent =
            Percent(static_cast<int64_t>(g + 1), static_cast<int64_t>(games.size()));
        if (OnBuildProgress && percent != shown) {
            shown = percent;
            if (!OnBuildProgress(percent)) {
                ClearPrintText();
                return false;
            }
        }
        Notation.LoadPGN(games[g]);
        AddGame(Notation);
        if (g + 1 < games.size()) {
            pending_ = "\r\n\r\n\r\n";
            AddSegment(pkResult);
        }
    }
    pending_.clear();
    return true;
}

int32_t TChessPrintText::AdjustBreak(int32_t First, int32_t Last) const {
    const int j = SegmentAt(Last + 1);
    if (j >= static_cast<int>(Segments.size())) return Last;
    const TPrintSegment& s = Segments[static_cast<size_t>(j)];
    if (s.Kind != pkHeadline && s.Kind != pkDiagram) return Last;
    // Headlines and diagrams are never cut: they go whole to the next band,
    // a diagram together with the headline right before it.
    int keep = j;
    if (s.Kind == pkDiagram && j >= 2 && Segments[static_cast<size_t>(j - 1)].Kind == pkHeadline)
        keep = j - 1;
    const int32_t end = keep > 0 ? Segments[static_cast<size_t>(keep - 1)].End() : First - 1;
    if (end >= First) return end;
    // The band starts with it and cannot hold it. A headline taller than a
    // whole band is text like any other: it goes on in the next band, and so
    // does a diagram that no longer fits below the headline before it. Only
    // a diagram itself goes out whole, clipped.
    if (s.Kind == pkHeadline && Last >= First) return Last;
    if (keep != j) {
        const int32_t headlineEnd = Segments[static_cast<size_t>(keep)].End();
        if (headlineEnd >= First && headlineEnd <= Last) return headlineEnd;
    }
    return std::max(Last, s.End());
}

bool TChessPrintText::NextChunk(const TChunkMeasure& Measure) {
    const auto length = static_cast<int32_t>(PrintText.size());
    const int32_t first = PrintPos + 1;
    if (first > length) {
        ClearPrintText();
        return false;
    }
    const TChunkFit fit = Measure(first);
    int32_t last = std::min(fit.LastFit, length);
    // At least one line, however tall, so that the run always goes on.
    if (last < first) last = std::clamp(fit.FirstLineEnd, first, length);
    last = AdjustBreak(first, last);
    ChunkFirst = first;
    ChunkLast = last;
    PrintPos = last;
    // A band never starts with empty lines.
    while (PrintPos < length) {
        const char c = PrintText[static_cast<size_t>(PrintPos)];
        if (c != '\n' && c != '\r' && c != ' ') break;
        ++PrintPos;
    }
    ChunkStart = PrintPos;
    return true;
}

} // namespace kb

namespace kb {

TChessFontChars ChessFontCharsFor(const std::string& FontName, const std::string& IniFileName) {
    const std::string trimmed(Trim(FontName));
    std::string upper = trimmed;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (upper == "1ECHECS") return BuiltInChessFontChars(0);
    for (size_t i = 1; i < ChessFontNames.size(); ++i)
        if (FontName == ChessFontNames[i]) return BuiltInChessFontChars(i);
    TChessFontChars loaded;
    if (LoadChessFontChars(trimmed, IniValueReader(IniFileName), loaded)) return loaded;
    return BuiltInChessFontChars(0);
}

bool ParseFontDiagram(std::string_view Text, const TChessFontChars& Chars, TSchachbrett& Board) {
    const auto& fields = ChessFontFields();
    auto field = [&](size_t i) -> const std::string& { return Chars.*(fields[i].Member); };
    constexpr size_t LeftBorder = 8, RightBorder = 16, EmptyLight = 36, FirstPiece = 38;
    constexpr std::array<int32_t, 6> groupPiece = {6, 5, 2, 3, 4, 1}; // K D T L S B

    std::vector<std::string_view> lines;
    size_t p = 0;
    while (true) {
        const size_t e = Text.find_first_of("\r\n", p);
        lines.push_back(Text.substr(p, e == std::string_view::npos ? Text.npos : e - p));
        if (e == std::string_view::npos) break;
        p = e + (Text[e] == '\r' && e + 1 < Text.size() && Text[e + 1] == '\n' ? 2 : 1);
    }
    if (lines.size() != 10) return false;

    TSchachbrett board = LeeresBrett;
    for (int rank = 8; rank >= 1; --rank) {
        std::string_view line = lines[static_cast<size_t>(9 - rank)];
        auto take = [&](const std::string& s) {
            if (line.substr(0, s.size()) != s) return false;
            line.remove_prefix(s.size());
            return true;
        };
        if (!take(field(LeftBorder + static_cast<size_t>(rank - 1)))) return false;
        for (int file = 1; file <= 8; ++file) {
            const auto square = static_cast<uint8_t>((rank - 1) * 8 + (file - 1));
            const bool dark = FeldFarben[square] == 1;
            // The longest character group of this square colour that matches.
            int32_t piece = 0;
            size_t best = 0;
            bool found = false;
            auto consider = [&](const std::string& s, int32_t code) {
                if (s.empty() || s.size() <= best || line.substr(0, s.size()) != s) return;
                best = s.size();
                piece = code;
                found = true;
            };
            consider(field(EmptyLight + (dark ? 1 : 0)), 0);
            for (size_t g = 0; g < groupPiece.size(); ++g)
                for (int black = 0; black <= 1; ++black)
                    consider(
                        field(FirstPiece + g * 4 + (dark ? 2 : 0) + static_cast<size_t>(black)),
                        black ? -groupPiece[g] : groupPiece[g]);
            if (!found && !field(EmptyLight + (dark ? 1 : 0)).empty()) return false;
            line.remove_prefix(best);
            board[Index64To120(square)] = piece;
        }
        if (!take(field(RightBorder + static_cast<size_t>(rank - 1))) || !line.empty())
            return false;
    }
    Board = board;
    return true;
}

} // namespace kb
