// SPDX-License-Identifier: GPL-3.0-or-later
// TNotationWidget: painting the visible lines, the current-move highlight,
// scrolling it into view, the mouse hit-test with the replay along the
// variation path, and line up/down.
#include "NotationWidget.h"

#include "NotationWidgetText.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace kb {

namespace {

bool IsDelimiter(char C) {
    switch (C) {
    case '\n':
    case '\r':
    case ' ':
    case '(':
    case ')':
    case ';':
    case '[':
    case ']':
    case '{':
    case '}':
        return true;
    default:
        return false;
    }
}

bool IsFile(char C) {
    return C >= 'a' && C <= 'h';
}

bool IsRank(char C) {
    return C >= '1' && C <= '8';
}

bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

} // namespace

// --- children ---------------------------------------------------------------------

void TNotatPaintbox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    owner_->PaintNotation(p);
}

void TNotatPaintbox::mousePressEvent(QMouseEvent* Event) {
    if (!owner_->isEnabled()) return;
    QWidget::mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton) {
        const QPoint at = Event->position().toPoint();
        owner_->ClickAt(at.x(), at.y());
    }
}

// --- lines --------------------------------------------------------------------------

TLineFont TNotationWidget::FontAt(int32_t Pos, TLineFont LineFont) const {
    const auto& spans = model_->CommentSpans;
    auto it = std::upper_bound(spans.begin(), spans.end(), Pos,
                               [](int32_t v, const TCommentSpan& c) { return v < c.Pos; });
    if (it == spans.begin()) return LineFont;
    --it;
    return Pos < it->Pos + it->Len ? TLineFont::Comment : LineFont;
}

int32_t TNotationWidget::LineEnd(int Line) const {
    const auto& starts = model_->LineStarts;
    const int32_t end = static_cast<int32_t>(model_->LayoutText.size()) + 1;
    if (Line + 1 < static_cast<int>(starts.size()))
        return std::min(end, starts[static_cast<size_t>(Line + 1)].Pos);
    return end;
}

int TNotationWidget::RangeWidth(int Line, int32_t Start, int32_t Len) const {
    const auto& starts = model_->LineStarts;
    if (Line < 0 || Line >= static_cast<int>(starts.size())) return 0;
    const TLineFont lineFont = starts[static_cast<size_t>(Line)].Font;
    const std::string& s = model_->LayoutText;
    const int32_t last = std::min<int32_t>(Start + Len, static_cast<int32_t>(s.size()) + 1);
    int w = 0;
    for (int32_t q = std::max(Start, 1); q < last; ++q)
        w += CharWidth(FontAt(q, lineFont), s, static_cast<size_t>(q - 1));
    return w;
}

bool TNotationWidget::CharOrigin(int32_t Pos, QPoint& At) const {
    const auto& starts = model_->LineStarts;
    auto it = std::upper_bound(starts.begin(), starts.end(), Pos,
                               [](int32_t v, const TLineStart& l) { return v < l.Pos; });
    if (it == starts.begin() || Pos > static_cast<int32_t>(model_->LayoutText.size())) return false;
    --it;
    const int line = static_cast<int>(it - starts.begin());
    if (line + 1 < firstVisible_ || line + 1 > lastVisible_) return false;
    At = QPoint(IndentForFont(it->Font) + RangeWidth(line, it->Pos, Pos - it->Pos),
                (line + 1 - firstVisible_) * lineHeight_);
    return true;
}

void TNotationWidget::SetVisibleRange(int Top) {
    firstVisible_ = Top + 1;
    lastVisible_ = firstVisible_ + VisibleRows() - 1;
    // Never past the last line: every index below stays inside the list.
    const int excess = lastVisible_ - LineCount();
    if (excess > 0) {
        firstVisible_ = std::max(1, firstVisible_ - excess);
        lastVisible_ -= excess;
    }
}

int TNotationWidget::LineIndexOfNode(const TBaum* Node, int32_t& LineStart) const {
    const auto& starts = model_->LineStarts;
    if (!Node || Node->TextPos < 1 ||
        Node->TextPos > static_cast<int32_t>(model_->LayoutText.size()))
        return -1;
    auto it = std::upper_bound(starts.begin(), starts.end(), Node->TextPos,
                               [](int32_t v, const TLineStart& l) { return v < l.Pos; });
    if (it == starts.begin()) return -1;
    --it;
    LineStart = it->Pos;
    return static_cast<int>(it - starts.begin());
}

int TNotationWidget::ScrollLineOfNode(const TBaum* Node) const {
    int32_t start = 0;
    const int i = LineIndexOfNode(Node, start);
    if (i == -1) return firstVisible_ == 1 ? -1 : 0;
    const int half = std::max(0, lastVisible_ - firstVisible_) / 2;
    if (i >= lastVisible_) return std::max(0, i - half);
    if (i + 1 >= firstVisible_) return -1;
    return std::max(0, i - half);
}

void TNotationWidget::ScrollToCurrent() {
    SetVisibleRange(scrollbar_->value());
    const int s = ScrollLineOfNode(model_->CurrentMove);
    if (s == -1 || s == scrollbar_->value())
        HighlightCurrentMove();
    else
        scrollbar_->setValue(s);
}

void TNotationWidget::HighlightCurrentMove() {
    // Drawn by the paint event: painting outside it would be lost or clipped.
    paintbox_->update();
}

// --- painting -------------------------------------------------------------------------

void TNotationWidget::PaintNotation(QPainter& P) {
    if (NoPaint) return;
    SetVisibleRange(scrollbar_->value());
    P.fillRect(paintbox_->rect(), color_);
    highlightRect_ = QRect();

    const TNotation& n = *model_;
    const std::string& s = n.LayoutText;
    const int32_t len = static_cast<int32_t>(s.size());
    const auto& starts = n.LineStarts;
    std::array<int, 6> ascent{}, height{};
    for (size_t f = 0; f < fonts_.size(); ++f) {
        const QFontMetrics fm(fonts_[f].Font);
        ascent[f] = fm.ascent();
        height[f] = fm.height();
    }
    const size_t comment = Idx(TLineFont::Comment);

    // Draws [From, To) of line Line from x, one character at a time at the
    // positions the hit-test measures.
    auto drawRange = [&](int Line, int32_t From, int32_t To, int X, int Top,
                         const QColor* Override) {
        const TLineFont lineFont = starts[static_cast<size_t>(Line)].Font;
        // Comments are centred on the line font's height.
        const int offset = (height[Idx(lineFont)] - height[comment]) / 2;
        int drawnFont = -1;
        for (int32_t q = std::max(From, 1); q < To && q <= len; ++q) {
            const size_t at = static_cast<size_t>(q - 1);
            const int w = CharWidth(FontAt(q, lineFont), s, at);
            if (w == 0) continue; // braces and continuation bytes
            const TLineFont f = FontAt(q, lineFont);
            size_t clen = 0;
            const char32_t c = CharacterAt(s, at, clen);
            if (static_cast<int>(f) != drawnFont) {
                P.setFont(QtFont(f));
                P.setPen(Override ? *Override : FontColor(f));
                drawnFont = static_cast<int>(f);
            }
            const int y = Top + (f == TLineFont::Comment ? offset : 0) + ascent[Idx(f)];
            if (c != U' ') P.drawText(QPoint(X, y), QString::fromUcs4(&c, 1));
            X += w;
        }
        return X;
    };

    for (int i = firstVisible_ - 1; i <= lastVisible_ - 1; ++i) {
        if (i < 0 || i >= static_cast<int>(starts.size())) continue;
        const int top = (i + 1 - firstVisible_) * lineHeight_;
        drawRange(i, starts[static_cast<size_t>(i)].Pos, LineEnd(i),
                  IndentForFont(starts[static_cast<size_t>(i)].Font), top, nullptr);
    }

    // The current move, white on black.
    const TBaum* cur = n.CurrentMove;
    int32_t lineStart = 0;
    const int i = LineIndexOfNode(cur, lineStart);
    if (i == -1) return;
    const int left = IndentForFont(starts[static_cast<size_t>(i)].Font) +
                     RangeWidth(i, lineStart, cur->TextPos - lineStart);
    const int width = RangeWidth(i, cur->TextPos, cur->TextLen);
    const int top = (i + 1 - firstVisible_) * lineHeight_;
    if (top < 0 || top >= (lastVisible_ - firstVisible_ + 1) * lineHeight_) return;
    highlightRect_ = QRect(left, top, width, lineHeight_);
    P.fillRect(highlightRect_, Qt::black);
    const QColor white(Qt::white);
    drawRange(i, cur->TextPos, std::min(cur->TextPos + cur->TextLen, LineEnd(i)), left, top,
              &white);
}

// --- mouse --------------------------------------------------------------------------------

void TNotationWidget::FireMoveChange() {
    TNotation& n = *model_;
    if (n.OnMoveChange) n.OnMoveChange(&n, n.WorkMove, n.WorkBoard, false);
}

void TNotationWidget::ClickAt(int X, int Y) {
    TNotation& n = *model_;
    SetVisibleRange(scrollbar_->value());
    if (Y < 0 || Y > (lastVisible_ - firstVisible_ + 1) * lineHeight_) return;
    const int line = Y / lineHeight_ + firstVisible_ - 1;
    if (line >= 0 && line < LineCount()) {
        const TLineFont lineFont = n.LineStarts[static_cast<size_t>(line)].Font;
        const std::string& s = n.LayoutText;
        int32_t p = n.LineStarts[static_cast<size_t>(line)].Pos;
        const int32_t end = LineEnd(line);
        int x = IndentForFont(lineFont);
        for (; p < end; ++p) {
            const int w = CharWidth(FontAt(p, lineFont), s, static_cast<size_t>(p - 1));
            if (x + w > X) break;
            x += w;
        }
        if (SelectTextPos(p)) {
            FireMoveChange();
        } else if (n.Ueberschrift()) {
            // A click beside the moves returns to the start position.
            n.CurrentMove = nullptr;
            n.LayoutNotation(n.RootLine);
            FireMoveChange();
        }
    }
    setFocus(Qt::MouseFocusReason);
}

namespace {

// Position of the bracket that opens the one closing at P; 0 when none.
// Whole comments are skipped unless a comment's own brace is sought.
int32_t FindOpening(const std::string& S, int32_t P) {
    const auto ch = [&](int32_t q) { return S[static_cast<size_t>(q - 1)]; };
    const char close = ch(P);
    const char open = close == ')' ? '(' : close == ']' ? '[' : '{';
    int depth = 0;
    for (int32_t q = P; q >= 1; --q) {
        const char c = ch(q);
        if (c == '}' && close != '}') {
            while (q > 1 && ch(q) != '{')
                --q;
            continue;
        }
        if (c == close) {
            ++depth;
        } else if (c == open) {
            if (--depth == 0) return q;
        }
    }
    return 0;
}

} // namespace

bool TNotationWidget::SelectTextPos(int32_t P) {
    TNotation& n = *model_;
    const std::string& s = n.LayoutText;
    const int32_t len = static_cast<int32_t>(s.size());
    const auto ch = [&](int32_t q) {
        return q >= 1 && q <= len ? s[static_cast<size_t>(q - 1)] : '\0';
    };

    if (len == 0 || P < 1 || P >= len) return false;
    if (n.Ueberschrift() && P <= n.HeadlineEnd) return false;
    if (ch(P) == '{' || ch(P) == '}') return false;
    for (int32_t q = P; q >= 1; --q) {
        if (ch(q) == '}') break;
        if (ch(q) == '{') return false; // inside a comment
    }
    // To the end of the word at or after P; never into a comment.
    while (P <= len && IsDelimiter(ch(P))) {
        if (ch(P) == '{') return false;
        ++P;
    }
    if (P > len) return false;
    while (P <= len && !IsDelimiter(ch(P)))
        ++P;
    if (ch(P) == '}' || P < 2 || P >= len) return false;

    // Back to the move number, noting every variation passed or entered.
    --P;
    int adjustment = -1;
    std::string path;
    bool found = false;
    bool blankSeen = false;
    int plies = 0;
    const int32_t stop = std::max<int32_t>(n.HeadlineEnd, 0);
    while (P > stop) {
        const char c = ch(P);
        if (c == '(' || c == '[') {
            path.insert(path.begin(), '1');
        } else if (c == ')' || c == ']' || c == '}') {
            const int32_t o = FindOpening(s, P);
            if (o < 1) break; // unbalanced: read no further
            if (ch(o) == '(' || ch(o) == '[') path.insert(path.begin(), '0');
            P = o;
        } else if ((c == ' ' || c == '\r') && !found) {
            if (!blankSeen) adjustment = 0; // the move after the numbered one
            blankSeen = true;
        } else if (c == '.' && !found) {
            while (P >= 1 && ch(P) == '.')
                --P;
            if (ch(P + 2) == '.') adjustment = 0; // "12..." numbers Black's move
            const int32_t last = P;
            while (P >= 1 && IsDigit(ch(P)))
                --P;
            const int32_t digits = last - P;
            if (digits < 1 || digits > 6) return false;
            const int number =
                std::stoi(s.substr(static_cast<size_t>(P), static_cast<size_t>(digits)));
            plies = (number - (n.GameData.ZugNummer - 1)) * 2 -
                    (n.GameData.Zug.Side == -1 ? 1 : 0) + adjustment;
            found = true;
            continue; // the character before the number is read next
        }
        --P;
    }
    if (!found || plies < 1) return false;

    n.CurrentOnMainLine = true;
    ReplayPath(path, plies);
    HighlightCurrentMove();
    return true;
}

void TNotationWidget::ReplayPath(const std::string& Path, int Plies) {
    TNotation& n = *model_;
    n.WorkBoard = n.GameData.Stellung;
    n.WorkMove = n.GameData.Zug;
    TBaum* last = nullptr;
    TBaum* cur = n.RootLine ? n.RootLine->Erster : nullptr;
    size_t k = 0;
    int played = 0;
    bool ended = false;
    while (cur && played < Plies && !ended) {
        // A node just entered may carry alternatives of its own: look again
        // until the path decides to stay on the line or runs out.
        while (cur->Variations && k < Path.size()) {
            TVariante* cursor = cur->Variations;
            bool entered = false;
            while (k < Path.size()) {
                if (Path[k++] == '0') {
                    if (!cursor->Naechste) break; // stay on this line
                    cursor = cursor->Naechste;
                    continue;
                }
                if (!cursor->Erster) {
                    ended = true; // an empty variation ends the replay
                    break;
                }
                cur = cursor->Erster;
                n.CurrentOnMainLine = false;
                entered = true;
                break;
            }
            if (!entered) break;
        }
        if (ended) break;
        n.WorkMove = cur->Zug;
        n.DoMove();
        last = cur;
        cur = cur->Next;
        ++played;
    }
    n.CurrentMove = last;
    n.WorkMove = last ? last->Zug : n.GameData.Zug;
}

// --- keys ------------------------------------------------------------------------------------

void TNotationWidget::LineUpDown(int Dir) {
    if (!isEnabled() || (Dir != -1 && Dir != 1)) return;
    TNotation& n = *model_;
    const TBaum* cur = n.CurrentMove;
    int32_t ls = 0;
    const int i = LineIndexOfNode(cur, ls);
    const int target = i + Dir;
    if (i < 0 || target < 0 || target >= LineCount()) return;
    const std::string& s = n.LayoutText;
    const int32_t len = static_cast<int32_t>(s.size());
    const auto ch = [&](int32_t q) {
        return q >= 1 && q <= len ? s[static_cast<size_t>(q - 1)] : '\0';
    };
    const auto start = [&](int line) { return n.LineStarts[static_cast<size_t>(line)].Pos; };

    const int32_t column = cur->TextPos + cur->TextLen / 2 - ls;
    const int32_t sTarget = start(target);
    int32_t t;
    if (Dir < 0) {
        t = sTarget + column;
        if (t >= ls) t = ls - 3;
    } else {
        if (target == LineCount() - 1) return; // the result line holds no move
        const int32_t next = start(target + 1);
        t = (cur->TextPos - ls) + sTarget < next ? sTarget + column : next - 3;
    }
    if (t > len) t = len - 3;
    t = std::max(t, 1);
    while (t > 1 && ch(t) == ' ')
        --t;
    // Only a move on a line in the chosen direction will do: near the end
    // the position may fall back onto the current line.
    const auto tryAt = [&](int32_t q) {
        TBaum* const oldMove = n.CurrentMove;
        const TSchachbrett oldBoard = n.WorkBoard;
        const TZug oldZug = n.WorkMove;
        const bool oldMain = n.CurrentOnMainLine;
        if (!SelectTextPos(q)) return false;
        int32_t st = 0;
        const int now = LineIndexOfNode(n.CurrentMove, st);
        if (now < 0 || (Dir > 0 ? now <= i : now >= i)) {
            n.CurrentMove = oldMove;
            n.WorkBoard = oldBoard;
            n.WorkMove = oldZug;
            n.CurrentOnMainLine = oldMain;
            return false;
        }
        ScrollToCurrent();
        FireMoveChange();
        return true;
    };
    if (tryAt(t)) return;

    // Nothing there: the nearest move end in that direction inside the window.
    if (Dir < 0) {
        const int32_t lo = std::max(0, model_->ParagraphPos(firstVisible_ - 1));
        for (int32_t q = t; q > lo; --q) {
            const char c = ch(q), before = ch(q - 1);
            const bool moveEnd = (IsRank(c) && IsFile(before)) ||
                                 ((c == 'O' || c == 'o' || c == '0') && before == '-');
            if (moveEnd && tryAt(q)) return;
        }
        // Nothing to the left (say a comment starts the line): the first
        // move to the right on the line above.
        for (int32_t q = t + 1; q < LineEnd(target); ++q) {
            const char c = ch(q), before = ch(q - 1);
            const bool moveEnd = (IsRank(c) && IsFile(before)) ||
                                 ((c == 'O' || c == 'o' || c == '0') && before == '-');
            if (moveEnd && tryAt(q)) return;
        }
    } else {
        int32_t hi = model_->ParagraphPos(lastVisible_);
        if (hi < 0) hi = len;
        for (int32_t q = t; q < hi; ++q) {
            const char c = ch(q), next = ch(q + 1);
            const bool moveStart =
                (IsFile(c) && IsRank(next)) || ((next == 'O' || next == 'o') && c == '-');
            if (moveStart && tryAt(q)) return;
        }
    }
    scrollbar_->setValue(scrollbar_->value() + Dir);
}

void TNotationWidget::PositionAt(int TextPos, TSchachbrett& Board) {
    TNotation& n = *model_;
    Board = n.GameData.Stellung;
    if (!SelectTextPos(TextPos)) return;
    Board = n.WorkBoard;
    FireMoveChange();
}

} // namespace kb
