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
    TNotationWidget* owner_;
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
    TNotation& Notation() { return *model_; }
    const TNotation& Notation() const { return *model_; }

    TNotatPaintbox* Paintbox() const { return paintbox_; }
    // The dialogs that answer the notation's questions.
    TNotationDialogs& Dialogs() { return *dialogs_; }
    TNotatScrollbar* Scrollbar() const { return scrollbar_; }

    // --- display properties --------------------------------------------------
    bool Ueberschrift() const { return model_->Ueberschrift(); }
    void SetUeberschrift(bool Value) { model_->SetUeberschrift(Value); }
    bool English() const { return model_->English(); }
    void SetEnglish(bool Value) { model_->SetEnglish(Value); }
    bool AutoBold() const { return model_->AutoBold; }
    void SetAutoBold(bool Value) { model_->AutoBold = Value; }

    const TNotationFont& FontHeadLine() const { return fonts_[Idx(TLineFont::HeadLine)]; }
    const TNotationFont& FontComment() const { return fonts_[Idx(TLineFont::Comment)]; }
    const TNotationFont& Font0Var() const { return fonts_[Idx(TLineFont::Main)]; }
    const TNotationFont& Font1Var() const { return fonts_[Idx(TLineFont::Var1)]; }
    const TNotationFont& Font2Var() const { return fonts_[Idx(TLineFont::Var2)]; }
    void SetFontHeadLine(const TNotationFont& Value);
    void SetFontComment(const TNotationFont& Value);
    void SetFont0Var(const TNotationFont& Value);
    void SetFont1Var(const TNotationFont& Value);
    void SetFont2Var(const TNotationFont& Value);

    int Indent0Var() const { return indent_[0]; }
    int Indent1Var() const { return indent_[1]; }
    int Indent2Var() const { return indent_[2]; }
    void SetIndent0Var(int Value) { SetIndent(0, Value); }
    void SetIndent1Var(int Value) { SetIndent(1, Value); }
    void SetIndent2Var(int Value) { SetIndent(2, Value); }

    int Zeilenabstand() const { return zeilenabstand_; }
    void SetZeilenabstand(int Value);
    int BevelWidthNotat() const { return bevelWidth_; }
    void SetBevelWidthNotat(int Value);
    int BorderWidthNotat() const { return borderWidth_; }
    void SetBorderWidthNotat(int Value);

    QColor Color() const { return color_; }
    void SetColor(const QColor& Value);
    // While set, painting draws nothing (the host sets it around font changes).
    bool NoPaint = false;

    // --- view ------------------------------------------------------------------
    void Refresh() { model_->Refresh(); }
    const std::string& GetText() const { return model_->GetText(); }
    // Board := start position; when a move stands at TextPos it becomes current,
    // Board := the position after it and OnMoveChange fires.
    void PositionAt(int TextPos, TSchachbrett& Board);

    int LineHeight() const { return lineHeight_; }
    int FirstVisible() const { return firstVisible_; }
    int LastVisible() const { return lastVisible_; }
    int LineCount() const { return static_cast<int>(model_->LineStarts.size()); }
    void SetVisibleRange(int Top);
    // Index of the display line holding Node, its start in LineStart; -1 when none.
    int LineIndexOfNode(const TBaum* Node, int32_t& LineStart) const;
    // The top line that brings Node into view; -1 when it needs no scrolling.
    int ScrollLineOfNode(const TBaum* Node) const;
    void ScrollToCurrent();
    // Asks for the current move to be shown highlighted; drawn by the next paint.
    void HighlightCurrentMove();
    // Where the current move was last drawn white on black (empty when not).
    QRect HighlightRect() const { return highlightRect_; }

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
    int CopyPGN() { return model_->CopyPGN(); }
    bool PastePGN() { return model_->PastePGN(); }

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

    std::unique_ptr<TNotation> model_;
    std::unique_ptr<TMetrics> metrics_;
    std::unique_ptr<TNotationDialogs> dialogs_;
    TNotatPaintbox* paintbox_ = nullptr;
    TNotatScrollbar* scrollbar_ = nullptr;

    std::array<TNotationFont, 6> fonts_; // by TLineFont; Bold follows Main
    std::array<int, 3> indent_{2, 10, 18};
    int zeilenabstand_ = 3;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    QColor color_;
    int lineHeight_ = 1;
    int firstVisible_ = 1;
    int lastVisible_ = 0;
    QRect highlightRect_;

    // Character widths per font, measured once.
    mutable std::array<std::unordered_map<char32_t, int>, 6> widthCache_;
};

} // namespace kb
