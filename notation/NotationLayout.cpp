// SPDX-License-Identifier: GPL-3.0-or-later
// Layout: the game as one text with display-line starts, comment spans and
// every move's text position. The painter, hit-test, PGN export and
// printing all read these, so the text is built character by character the
// same way every time.
#include "Notation.h"

#include <algorithm>
#include <cstdio>

namespace kb {

// Locals of one layout run, shared by the line builder.
struct TNotation::TLayoutRun {
    int Ply = 0;
    TLineFont MainFont = TLineFont::Main;
    TSchachbrett SnapBoard{};
    TZug SnapMove{};
    bool MainLine = true;
    bool FirstMove = true;
};

namespace {

// A layout takes the blanks after the "{" and before the "}" of a move's
// comment off the stored comment. All of them, so that a second layout (every
// refresh and export lays out) finds nothing more to take; true when the
// comment is shown.
bool TrimComment(std::string& k) {
    if (k.size() <= 2) return false;
    size_t lead = 1;
    while (lead < k.size() - 1 && k[lead] == ' ')
        ++lead;
    k.erase(1, lead - 1);
    size_t end = k.size() - 1; // the "}"
    size_t tail = end;
    while (tail > 1 && k[tail - 1] == ' ')
        --tail;
    k.erase(tail, end - tail);
    return true;
}

} // namespace

void AppendSeparatedComments(std::string& Out, std::string_view Joined) {
    constexpr std::string_view Joint = "} | {";
    size_t from = 0;
    for (size_t j = Joined.find(Joint); j != std::string_view::npos; j = Joined.find(Joint, from)) {
        Out.append(Joined.substr(from, j - from));
        Out += "} {";
        from = j + Joint.size();
    }
    Out.append(Joined.substr(from));
}

std::string TNotation::PosKey(int32_t Pos) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%15d", Pos);
    return buf;
}

int32_t TNotation::ParagraphPos(int I) const {
    if (I < 0 || I >= static_cast<int>(LineStarts.size())) return -1;
    return LineStarts[static_cast<size_t>(I)].Pos;
}

void TNotation::AddLineStart(int32_t Pos, TLineFont Font, bool Replace) {
    auto it = std::lower_bound(LineStarts.begin(), LineStarts.end(), Pos,
                               [](const TLineStart& a, int32_t p) { return a.Pos < p; });
    if (it != LineStarts.end() && it->Pos == Pos) {
        if (Replace) it->Font = Font;
        return;
    }
    LineStarts.insert(it, TLineStart{Pos, Font});
}

void TNotation::RegisterParagraph(TLineFont Font) {
    LayoutText += ' ';
    AddLineStart(static_cast<int32_t>(LayoutText.size()) + 1, Font, false);
}

void TNotation::LayoutNotation(TVariante* Root) {
    FLayoutPending = false;
    LineStarts.clear();
    CommentSpans.clear();
    CurrentOnMainLine = true;

    TLayoutRun run;
    run.SnapBoard = GameData.Stellung;
    run.SnapMove = GameData.Zug;
    run.Ply = (GameData.ZugNummer - 1) * 2 + (GameData.Zug.Side == -1 ? 1 : 0);
    WorkBoard = GameData.Stellung;

    const bool searching = SearchActive;
    if (SearchActive && SearchStep) SearchStep(this);

    run.MainFont = TLineFont::Main;
    if (AutoBold && Root) {
        for (const TBaum* n = Root->Erster; n; n = n->Next) {
            if (n->Variations) {
                run.MainFont = TLineFont::Bold;
                break;
            }
        }
    }

    LayoutText.clear();
    HeadlineEnd = 0;
    const TEventData& e = GameData.EventData;
    if (FUeberschrift) {
        AddLineStart(1, TLineFont::HeadLine, false);
        LayoutText += e.White;
        if (!e.White.empty() && !e.Black.empty()) LayoutText += " - ";
        LayoutText += e.Black;
        RegisterParagraph(TLineFont::HeadLine);
        const bool hasSite = !e.Site.empty() && e.Site != "?";
        auto siteYear = [&] {
            if (hasSite) {
                LayoutText += e.Site;
                if (e.Year != 0)
                    LayoutText += ", ";
                else
                    RegisterParagraph(TLineFont::HeadLine);
            }
            if (e.Year != 0) {
                LayoutText += std::to_string(e.Year);
                RegisterParagraph(TLineFont::HeadLine);
            }
        };
        if (!e.Event.empty() && e.Event != "?") {
            LayoutText += e.Event;
            if (hasSite || e.Year != 0) {
                LayoutText += ", ";
                siteYear();
            } else {
                RegisterParagraph(TLineFont::HeadLine);
            }
        } else {
            siteYear();
        }
        RegisterParagraph(run.MainFont);
        HeadlineEnd = static_cast<int32_t>(LayoutText.size());
    } else {
        AddLineStart(1, run.MainFont, false);
    }

    if (!GameData.Kommentar.empty()) {
        CommentSpans.push_back({static_cast<int32_t>(LayoutText.size()) + 1,
                                static_cast<int32_t>(GameData.Kommentar.size())});
        LayoutText += GameData.Kommentar;
        LayoutText += ' ';
    }

    VarDepth = 0;
    FVariationOpened = false;
    FVariationClosed = false;
    if (Root && Root->Erster) BuildLines(Root->Erster, run);

    if (!ExportMode && !searching) WrapLines();

    if (LineStarts.empty() || LineStarts.back().Pos != static_cast<int32_t>(LayoutText.size()) + 1)
        RegisterParagraph(TLineFont::Main);
    RegisterParagraph(TLineFont::HeadLine);
    LayoutText += e.Result;

    WorkBoard = run.SnapBoard;
    WorkMove = run.SnapMove;
    if (!ExportMode && AfterLayout) AfterLayout(this);
}

void TNotation::BuildLines(TBaum* First, TLayoutRun& Run) {
    // One frame per open line; the frame of a move with alternatives keeps
    // the position to come back to after each of them.
    struct Frame {
        TBaum* Node;
        TVariante* Var = nullptr;
        bool Started = false;
        TSchachbrett Board{};
        TZug Move{};
        int Ply = 0;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{First});
    std::string s;
    auto len = [this] { return static_cast<int32_t>(LayoutText.size()); };

    while (!stack.empty()) {
        Frame& f = stack.back();
        if (!f.Started) {
            if (!f.Node) {
                // End of a line; broken moves of the next line report again.
                ErrorShown = false;
                stack.pop_back();
                if (stack.empty()) break;
                Frame& parent = stack.back();
                // Close the variation.
                if (!LineStarts.empty() && LineStarts.back().Pos == len() + 1)
                    LineStarts.pop_back();
                while (!LayoutText.empty() && LayoutText.back() == ' ')
                    LayoutText.pop_back();
                if (VarDepth == 1) {
                    LayoutText += ']';
                    AddLineStart(len() + 2, Run.MainFont, false);
                    Run.MainLine = true;
                } else if (VarDepth == 2) {
                    LayoutText += ')';
                    AddLineStart(len() + 2, TLineFont::Var1, false);
                } else {
                    LayoutText += ')';
                }
                FVariationClosed = true;
                WorkBoard = parent.Board;
                WorkMove = parent.Move;
                Run.Ply = parent.Ply;
                parent.Var = parent.Var->Naechste;
                continue;
            }
            TBaum* n = f.Node;
            // The move's own text.
            ++Run.Ply;
            n->TextPos = len() + 1;
            n->ZugNummer = (Run.Ply + 1) / 2;
            if (n->Zug.Flags & FlagGreater) LayoutText += '>';
            if (!ExportMode) {
                NagSymbol(n->Zug.ExtraNAG, s);
                LayoutText += s;
            }
            if (Run.Ply % 2 == 1) {
                LayoutText += std::to_string(n->ZugNummer) + ".";
            } else if (FVariationClosed || FVariationOpened || Run.FirstMove) {
                LayoutText += std::to_string(n->ZugNummer) + "...";
            }
            FVariationClosed = FVariationOpened = Run.FirstMove = false;
            WorkMove = n->Zug;
            MoveToSAN(WorkMove, s);
            LayoutText += s;
            if (ExportMode) {
                NagSymbol(n->Zug.ExtraNAG, s);
                LayoutText += s;
            }
            if (n->Zug.Flags & FlagLess) LayoutText += '<';
            n->TextLen = len() - n->TextPos + 1;
            std::string& k = n->Kommentar;
            const bool showComment = FCommentsTrimmed
                                         ? k.size() > 2 || std::find(FShownShortComments.begin(),
                                                                     FShownShortComments.end(),
                                                                     n) != FShownShortComments.end()
                                         : TrimComment(k);
            if (showComment) {
                std::string shown;
                if (ExportMode)
                    AppendSeparatedComments(shown, k);
                else
                    shown = k;
                CommentSpans.push_back({len() + 2, static_cast<int32_t>(shown.size())});
                LayoutText += ' ';
                LayoutText += shown;
            }
            f.Started = true;
            f.Var = n->Variations;
            if (f.Var) ++VarDepth;
        }
        if (f.Var) {
            // Open the next alternative, played from the position before this move.
            Run.MainLine = false;
            f.Board = WorkBoard;
            f.Move = WorkMove;
            f.Ply = Run.Ply;
            Run.Ply -= 1;
            FVariationOpened = true;
            if (VarDepth <= 2) {
                const int32_t last = LineStarts.empty() ? -1 : LineStarts.back().Pos;
                if (last + 1 != len())
                    AddLineStart(len() + 2, VarDepth == 1 ? TLineFont::Var1 : TLineFont::Var2,
                                 true);
                LayoutText += VarDepth == 1 ? " [" : " (";
            } else {
                LayoutText += " (";
            }
            TBaum* first = f.Var->Erster;
            stack.push_back(Frame{first});
            continue;
        }
        TBaum* n = f.Node;
        if (n->Variations) --VarDepth;
        DoMove();
        if (SearchActive && SearchStep) SearchStep(this);
        if (n == CurrentMove) {
            Run.SnapBoard = WorkBoard;
            Run.SnapMove = WorkMove;
            CurrentOnMainLine = Run.MainLine;
        }
        LayoutText += ' ';
        f.Node = n->Next;
        f.Started = false;
    }
}

void TNotation::WrapLines() {
    if (!Metrics) return;
    const std::string& s = LayoutText;
    const int32_t length = static_cast<int32_t>(s.size());
    const int avail = Metrics->AvailableWidth();

    // Comments are measured in the comment font; braces take no room.
    auto inComment = [this](int32_t p) {
        auto it = std::upper_bound(CommentSpans.begin(), CommentSpans.end(), p,
                                   [](int32_t v, const TCommentSpan& c) { return v < c.Pos; });
        if (it == CommentSpans.begin()) return false;
        --it;
        return p < it->Pos + it->Len;
    };
    auto width = [&](int32_t p, TLineFont font) {
        const char c = s[static_cast<size_t>(p - 1)];
        if (c == '{' || c == '}') return 0;
        return Metrics->CharWidth(inComment(p) ? TLineFont::Comment : font, s,
                                  static_cast<size_t>(p - 1));
    };

    // Breaks come in text order, each before the next line entry not yet
    // passed: the entries and the breaks are merged into a new list as the
    // scan goes, rather than each break inserted into the old one.
    std::vector<TLineStart> merged;
    merged.reserve(LineStarts.size());
    size_t i = 0;
    int32_t pending = -1; // a break made: a line in pendingFont starts here
    TLineFont pendingFont = TLineFont::Main;
    int32_t lastBlank = 0; // the last blank passed, 0 for none
    int32_t p = 0;
    int w = 0;
    TLineFont font = TLineFont::Main;
    int indent = 0;
    int32_t lastBreak = 0;
    while (p < length) {
        ++p;
        const bool entry = i < LineStarts.size() && LineStarts[i].Pos == p;
        if (entry || p == pending) {
            if (entry) {
                merged.push_back(LineStarts[i++]);
            } else {
                merged.push_back({p, pendingFont});
            }
            pending = -1;
            font = merged.back().Font;
            indent = Metrics->Indent(font);
            w = width(p, font);
            if (s[static_cast<size_t>(p - 1)] == ' ') lastBlank = p;
            continue;
        }
        w += width(p, font);
        if (s[static_cast<size_t>(p - 1)] == ' ') lastBlank = p;
        if (avail - indent > w) continue;
        // The line is full: break before the word that overflows.
        const int32_t over = p;
        p = lastBlank;
        // Only whether the word fills a line matters: measure no further.
        const int room = avail - indent;
        int wordWidth = 0;
        for (int32_t q = p + 1; q <= length && wordWidth < room; ++q) {
            wordWidth += width(q, font);
            if (q >= over && s[static_cast<size_t>(q - 1)] == ' ') break;
        }
        if (wordWidth >= room && over - 3 > 2) p = over - 3; // a word wider than the line
        if (p <= lastBreak) break;                           // no progress: stop wrapping
        lastBreak = p;
        if (!merged.empty() && merged.back().Pos == p + 1) {
            // A line already starts there and keeps its font.
        } else {
            pending = p + 1;
            pendingFont = font;
        }
        w = 0;
    }
    merged.insert(merged.end(), LineStarts.begin() + static_cast<std::ptrdiff_t>(i),
                  LineStarts.end());
    LineStarts = std::move(merged);
}

} // namespace kb

namespace kb {

// What a layout leaves beyond its text: move numbers and trimmed comments.
// The working board, current move and error state are the caller's.
void TNotation::DeferLayout() {
    FShownShortComments.clear();
    LayoutText.clear();
    LineStarts.clear();
    CommentSpans.clear();
    HeadlineEnd = 0;
    struct Item {
        TBaum* Node;
        int Ply;
    };
    std::vector<Item> stack;
    if (RootLine && RootLine->Erster)
        stack.push_back(
            {RootLine->Erster, (GameData.ZugNummer - 1) * 2 + (GameData.Zug.Side == -1 ? 1 : 0)});
    while (!stack.empty()) {
        auto [n, ply] = stack.back();
        stack.pop_back();
        for (; n; n = n->Next) {
            // Alternatives start from the position before this move.
            for (TVariante* v = n->Variations; v; v = v->Naechste)
                if (v->Erster) stack.push_back({v->Erster, ply});
            ++ply;
            n->ZugNummer = (ply + 1) / 2;
            if (TrimComment(n->Kommentar) && n->Kommentar.size() <= 2)
                FShownShortComments.push_back(n);
        }
    }
    FLayoutPending = true;
}

void TNotation::EnsureLayout() {
    if (!FLayoutPending) return;
    // Lay out as the notation stood when the layout was skipped: hidden,
    // not searching; then give back what a layout would move, also when
    // the layout fails.
    struct Restore {
        TNotation& N;
        TSchachbrett Board = N.WorkBoard;
        TZug Move = N.WorkMove;
        bool OnMain = N.CurrentOnMainLine;
        bool ErrorShown = N.ErrorShown;
        const ITextMetrics* Metrics = N.Metrics;
        bool Searching = N.SearchActive;
        std::function<void(TNotation*)> AfterLayout = std::move(N.AfterLayout);
        ~Restore() {
            N.FCommentsTrimmed = false;
            N.FShownShortComments.clear();
            N.WorkBoard = Board;
            N.WorkMove = Move;
            N.CurrentOnMainLine = OnMain;
            N.ErrorShown = ErrorShown;
            N.Metrics = Metrics;
            N.SearchActive = Searching;
            N.AfterLayout = std::move(AfterLayout);
        }
    } restore{*this};
    AfterLayout = nullptr;
    Metrics = nullptr;
    SearchActive = false;
    FCommentsTrimmed = true;
    LayoutNotation(RootLine);
}

} // namespace kb
