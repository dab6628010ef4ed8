// SPDX-License-Identifier: GPL-3.0-or-later
// The notation on screen: a sunken panel holding a paint box and a vertical
// scroll bar around one TNotation. The model lays the game out into text,
// display-line starts and comment spans; this widget measures that text for
// the line breaks, paints the visible lines, shows the current move white on
// black, turns clicks and keys into moves, and reaches the clipboard.
//
// Every width is the sum of single characters measured with kerning off, in
// wrapping, painting and hit-testing alike, so a click always lands on the
// character that was drawn there.
#pragma once

#include "Notation.h"
#include "NotationDialogs.h"

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QRect>
#include <QScrollBar>
#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <unordered_map>

class QPainter;

namespace kb {

class TNotationWidget;

// The surface the notation is drawn on.
class TNotatPaintbox : public QWidget {
    Q_OBJECT
public:
    explicit TNotatPaintbox(TNotationWidget* Owner);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;

private:
    TNotationWidget* Owner_;
};

// Scrolls by display lines; never takes the focus from the notation.
class TNotatScrollbar : public QScrollBar {
    Q_OBJECT
public:
    explicit TNotatScrollbar(QWidget* Parent);
};

// A font of the notation with its colour.
struct TNotationFont {
    QFont Font;
    QColor Color = Qt::black;
};

class TNotationWidget : public QFrame {
    Q_OBJECT
public:
    explicit TNotationWidget(QWidget* Parent = nullptr);
    ~TNotationWidget() override;

    // The game; hosts set its events and fields directly.
    TNotation& Notation() { return *Model_; }
    const TNotation& Notation() const { return *Model_; }

    TNotatPaintbox* Paintbox() const { return Paintbox_; }
    // The dialogs that answer the notation's questions.
    TNotationDialogs& Dialogs() { return *Dialogs_; }
    TNotatScrollbar* Scrollbar() const { return Scrollbar_; }

    // --- display properties --------------------------------------------------
    bool Ueberschrift() const { return Model_->Ueberschrift(); }
    void SetUeberschrift(bool Value) { Model_->SetUeberschrift(Value); }
    bool English() const { return Model_->English(); }
    void SetEnglish(bool Value) { Model_->SetEnglish(Value); }
    bool AutoBold() const { return Model_->AutoBold; }
    void SetAutoBold(bool Value) { Model_->AutoBold = Value; }

    const TNotationFont& FontHeadLine() const { return Fonts_[Idx(TLineFont::HeadLine)]; }
    const TNotationFont& FontComment() const { return Fonts_[Idx(TLineFont::Comment)]; }
    const TNotationFont& Font0Var() const { return Fonts_[Idx(TLineFont::Main)]; }
    const TNotationFont& Font1Var() const { return Fonts_[Idx(TLineFont::Var1)]; }
    const TNotationFont& Font2Var() const { return Fonts_[Idx(TLineFont::Var2)]; }
    void SetFontHeadLine(const TNotationFont& Value);
    void SetFontComment(const TNotationFont& Value);
    void SetFont0Var(const TNotationFont& Value);
    void SetFont1Var(const TNotationFont& Value);
    void SetFont2Var(const TNotationFont& Value);

    int Indent0Var() const { return Indent_[0]; }
    int Indent1Var() const { return Indent_[1]; }
    int Indent2Var() const { return Indent_[2]; }
    void SetIndent0Var(int Value) { SetIndent(0, Value); }
    void SetIndent1Var(int Value) { SetIndent(1, Value); }
    void SetIndent2Var(int Value) { SetIndent(2, Value); }

    int Zeilenabstand() const { return Zeilenabstand_; }
    void SetZeilenabstand(int Value);
    int BevelWidthNotat() const { return BevelWidth_; }
    void SetBevelWidthNotat(int Value);
    int BorderWidthNotat() const { return BorderWidth_; }
    void SetBorderWidthNotat(int Value);

    QColor Color() const { return Color_; }
    void SetColor(const QColor& Value);
    // While set, painting draws nothing (the host sets it around font changes).
    bool NoPaint = false;

    // --- view ------------------------------------------------------------------
    void Refresh() { Model_->Refresh(); }
    const std::string& GetText() const { return Model_->GetText(); }
    // Board := start position; when a move stands at TextPos it becomes current,
    // Board := the position after it and OnMoveChange fires.
    void PositionAt(int TextPos, TSchachbrett& Board);

    int LineHeight() const { return LineHeight_; }
    int FirstVisible() const { return FirstVisible_; }
    int LastVisible() const { return LastVisible_; }
    int LineCount() const { return static_cast<int>(Model_->LineStarts.size()); }
    void SetVisibleRange(int Top);
    // Index of the display line holding Node, its start in LineStart; -1 when none.
    int LineIndexOfNode(const TBaum* Node, int32_t& LineStart) const;
    // The top line that brings Node into view; -1 when it needs no scrolling.
    int ScrollLineOfNode(const TBaum* Node) const;
    void ScrollToCurrent();
    // Asks for the current move to be shown highlighted; drawn by the next paint.
    void HighlightCurrentMove();
    // Where the current move was last drawn white on black (empty when not).
    QRect HighlightRect() const { return HighlightRect_; }

    // Pixel width of the text Start .. Start+Len-1 of display line Line.
    int RangeWidth(int Line, int32_t Start, int32_t Len) const;
    // Left edge of the character at text position Pos inside its display line,
    // and the line's row in the window; false when the line is not visible.
    bool CharOrigin(int32_t Pos, QPoint& At) const;

    void ClickAt(int X, int Y);
    // Makes the move at text position P current; false when none stands there.
    bool SelectTextPos(int32_t P);
    // Plays from the start along the variation path ("0" pass a variation,
    // "1" enter it) for the given number of plies.
    void ReplayPath(const std::string& Path, int Plies);
    void LineUpDown(int Dir);

    // PGN of the game to the clipboard, and a game from it.
    int CopyPGN() { return Model_->CopyPGN(); }
    bool PastePGN() { return Model_->PastePGN(); }

    // The font of a display line and its width measure, shared with the model.
    const QFont& QtFont(TLineFont Font) const;
    const QColor& FontColor(TLineFont Font) const;
    int IndentForFont(TLineFont Font) const;
    int CharWidth(TLineFont Font, std::string_view Text, size_t Pos) const;

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    friend class TNotatPaintbox;
    class TMetrics;

    static size_t Idx(TLineFont F) { return static_cast<size_t>(F); }
    void PlaceChildren();
    void UpdateLineHeight();
    void FontsChanged();
    void SetIndent(int Level, int Value);
    void AfterLayout();
    void PaintNotation(QPainter& P);
    void FireMoveChange();
    int VisibleRows() const;
    // Font of the character at Pos within a line drawn in LineFont.
    TLineFont FontAt(int32_t Pos, TLineFont LineFont) const;
    int32_t LineEnd(int Line) const; // one past the line's last character

    std::unique_ptr<TNotation> Model_;
    std::unique_ptr<TMetrics> Metrics_;
    std::unique_ptr<TNotationDialogs> Dialogs_;
    TNotatPaintbox* Paintbox_ = nullptr;
    TNotatScrollbar* Scrollbar_ = nullptr;

    std::array<TNotationFont, 6> Fonts_; // by TLineFont; Bold follows Main
    std::array<int, 3> Indent_{2, 10, 18};
    int Zeilenabstand_ = 3;
    int BevelWidth_ = 1;
    int BorderWidth_ = 0;
    QColor Color_;
    int LineHeight_ = 1;
    int FirstVisible_ = 1;
    int LastVisible_ = 0;
    QRect HighlightRect_;

    // Character widths per font, measured once.
    mutable std::array<std::unordered_map<char32_t, int>, 6> WidthCache_;
};

} // namespace kb
