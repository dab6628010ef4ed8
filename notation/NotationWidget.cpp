// SPDX-License-Identifier: GPL-3.0-or-later
// TNotationWidget: children, fonts, display properties, measuring, sizing,
// keys and the clipboard.
#include "NotationWidget.h"

#include "NotationWidgetText.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>

#include <algorithm>

namespace kb {

// The model's view of our fonts: widths for the line breaks.
class TNotationWidget::TMetrics : public ITextMetrics {
public:
    explicit TMetrics(const TNotationWidget& W) : w_(W) {}
    int AvailableWidth() const override { return w_.paintbox_ ? w_.paintbox_->width() : 0; }
    int Indent(TLineFont Font) const override { return w_.IndentForFont(Font); }
    int CharWidth(TLineFont Font, std::string_view Text, size_t Pos) const override {
        return w_.CharWidth(Font, Text, Pos);
    }

private:
    const TNotationWidget& w_;
};

TNotatScrollbar::TNotatScrollbar(QWidget* Parent) : QScrollBar(Qt::Vertical, Parent) {
    setFocusPolicy(Qt::NoFocus);
    setSingleStep(1);
}

TNotationWidget::TNotationWidget(QWidget* Parent)
    : QFrame(Parent), model_(std::make_unique<TNotation>()) {
    metrics_ = std::make_unique<TMetrics>(*this);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(bevelWidth_);
    setFocusPolicy(Qt::StrongFocus);
    color_ = palette().color(QPalette::Button);

    scrollbar_ = new TNotatScrollbar(this);
    scrollbar_->setRange(0, 0);
    paintbox_ = new TNotatPaintbox(this);
    connect(scrollbar_, &QScrollBar::valueChanged, paintbox_, [this](int Top) {
        SetVisibleRange(Top);
        paintbox_->update();
    });

    QFont base = QGuiApplication::font();
    base.setKerning(false);
    for (TNotationFont& f : fonts_)
        f.Font = base;
    fonts_[Idx(TLineFont::Bold)].Font.setBold(true);

    model_->Metrics = metrics_.get();
    model_->SignTexts = ShowableSignTexts();
    model_->AfterLayout = [this](TNotation*) { AfterLayout(); };
    dialogs_ = std::make_unique<TNotationDialogs>(this);
    model_->Chooser = dialogs_.get();
    model_->ScrollToCurrentHook = [this](TNotation*) { ScrollToCurrent(); };
    model_->BeepHook = [](TNotation*) { QApplication::beep(); };
    model_->ClipboardSetText = [](const std::string& Text) {
        QClipboard* cb = QGuiApplication::clipboard();
        if (!cb) return false;
        cb->setText(DecodeGameText(Text));
        return true;
    };
    model_->ClipboardGetText = [](std::string& Text) {
        const QClipboard* cb = QGuiApplication::clipboard();
        const QMimeData* mime = cb ? cb->mimeData() : nullptr;
        if (!mime || !mime->hasText()) return false;
        Text = EncodeGameText(mime->text());
        return true;
    };

    UpdateLineHeight();
    PlaceChildren();
    model_->Refresh();
}

TNotationWidget::~TNotationWidget() {
    // The model must not call back into a half-destroyed widget.
    model_->AfterLayout = nullptr;
    model_->Metrics = nullptr;
    model_->Chooser = nullptr;
    model_->ScrollToCurrentHook = nullptr;
    model_->BeepHook = nullptr;
    model_->ClipboardGetText = nullptr;
    model_->ClipboardSetText = nullptr;
}

TNotatPaintbox::TNotatPaintbox(TNotationWidget* Owner) : QWidget(Owner), owner_(Owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

// --- fonts and measuring ------------------------------------------------------

const QFont& TNotationWidget::QtFont(TLineFont Font) const {
    const size_t i = Idx(Font);
    return fonts_[i < fonts_.size() ? i : Idx(TLineFont::Main)].Font;
}

const QColor& TNotationWidget::FontColor(TLineFont Font) const {
    const size_t i = Idx(Font);
    return fonts_[i < fonts_.size() ? i : Idx(TLineFont::Main)].Color;
}

int TNotationWidget::IndentForFont(TLineFont Font) const {
    switch (Font) {
    case TLineFont::Var1:
        return indent_[1];
    case TLineFont::Var2:
        return indent_[2];
    default:
        return indent_[0];
    }
}

int TNotationWidget::CharWidth(TLineFont Font, std::string_view Text, size_t Pos) const {
    if (Pos >= Text.size() || ContinuesCharacter(Text, Pos)) return 0;
    const char b = Text[Pos];
    if (b == '{' || b == '}') return 0; // braces are never drawn
    size_t len = 0;
    const char32_t c = CharacterAt(Text, Pos, len);
    const size_t i = std::min(Idx(Font), fonts_.size() - 1);
    auto& cache = widthCache_[i];
    const auto hit = cache.find(c);
    if (hit != cache.end()) return hit->second;
    const int w = QFontMetrics(fonts_[i].Font).horizontalAdvance(QString::fromUcs4(&c, 1));
    cache.emplace(c, w);
    return w;
}

void TNotationWidget::UpdateLineHeight() {
    const QFontMetrics fm(QtFont(TLineFont::Main));
    // A height of 0 would divide by zero in every row computation.
    lineHeight_ = std::max(1, fm.height() + zeilenabstand_);
}

void TNotationWidget::FontsChanged() {
    for (auto& c : widthCache_)
        c.clear();
    TNotationFont& bold = fonts_[Idx(TLineFont::Bold)];
    bold = fonts_[Idx(TLineFont::Main)];
    bold.Font.setBold(true);
    UpdateLineHeight();
    PlaceChildren();
    model_->Refresh();
}

namespace {

QFont NoKerning(QFont F) {
    F.setKerning(false);
    return F;
}

// Lowers F's size to Limit's when it is larger.
void CapSize(QFont& F, const QFont& Limit) {
    if (F.pointSizeF() > 0 && Limit.pointSizeF() > 0) {
        if (F.pointSizeF() > Limit.pointSizeF()) F.setPointSizeF(Limit.pointSizeF());
    } else if (F.pixelSize() > 0 && Limit.pixelSize() > 0 && F.pixelSize() > Limit.pixelSize()) {
        F.setPixelSize(Limit.pixelSize());
    }
}

// Name and size from Main, style from Style.
QFont StyledLike(const QFont& Main, const QFont& Style) {
    QFont f = Main;
    f.setWeight(Style.weight());
    f.setItalic(Style.italic());
    f.setUnderline(Style.underline());
    f.setStrikeOut(Style.strikeOut());
    return f;
}

} // namespace

void TNotationWidget::SetFontHeadLine(const TNotationFont& Value) {
    fonts_[Idx(TLineFont::HeadLine)] = {NoKerning(Value.Font), Value.Color};
    FontsChanged();
}

void TNotationWidget::SetFontComment(const TNotationFont& Value) {
    QFont f = NoKerning(Value.Font);
    // Comments never grow beyond the largest move font.
    QFont largest = QtFont(TLineFont::Main);
    for (TLineFont v : {TLineFont::Var1, TLineFont::Var2}) {
        const QFont& o = QtFont(v);
        if (o.pointSizeF() > largest.pointSizeF() || o.pixelSize() > largest.pixelSize())
            largest = o;
    }
    CapSize(f, largest);
    fonts_[Idx(TLineFont::Comment)] = {f, Value.Color};
    FontsChanged();
}

void TNotationWidget::SetFont0Var(const TNotationFont& Value) {
    const QFont main = NoKerning(Value.Font);
    fonts_[Idx(TLineFont::Main)] = {main, Value.Color};
    for (TLineFont v : {TLineFont::Var1, TLineFont::Var2}) {
        TNotationFont& f = fonts_[Idx(v)];
        f.Font = StyledLike(main, f.Font);
    }
    CapSize(fonts_[Idx(TLineFont::Comment)].Font, main);
    FontsChanged();
}

void TNotationWidget::SetFont1Var(const TNotationFont& Value) {
    fonts_[Idx(TLineFont::Var1)] = {StyledLike(QtFont(TLineFont::Main), Value.Font), Value.Color};
    FontsChanged();
}

void TNotationWidget::SetFont2Var(const TNotationFont& Value) {
    fonts_[Idx(TLineFont::Var2)] = {StyledLike(QtFont(TLineFont::Main), Value.Font), Value.Color};
    FontsChanged();
}

// --- other properties -----------------------------------------------------------

void TNotationWidget::SetIndent(int Level, int Value) {
    Value = std::clamp(Value, 0, 0xFFFF);
    if (indent_[static_cast<size_t>(Level)] == Value) return;
    indent_[static_cast<size_t>(Level)] = Value;
    model_->Refresh();
}

void TNotationWidget::SetZeilenabstand(int Value) {
    Value = std::clamp(Value, 0, 0xFFFF);
    if (Value == zeilenabstand_) return;
    zeilenabstand_ = Value;
    UpdateLineHeight();
    PlaceChildren();
    model_->Refresh();
}

void TNotationWidget::SetBevelWidthNotat(int Value) {
    if (Value <= 0) return; // a panel keeps some bevel
    bevelWidth_ = std::min(Value, 0xFFFF);
    setLineWidth(bevelWidth_);
    PlaceChildren();
    model_->Refresh();
}

void TNotationWidget::SetBorderWidthNotat(int Value) {
    borderWidth_ = std::clamp(Value, 0, 0xFFFF);
    PlaceChildren();
    model_->Refresh();
}

void TNotationWidget::SetColor(const QColor& Value) {
    color_ = Value;
    update();
    paintbox_->update();
}

// --- size -------------------------------------------------------------------------

void TNotationWidget::PlaceChildren() {
    const int m = bevelWidth_ + borderWidth_;
    const int sbw = scrollbar_->sizeHint().width();
    const int pbw = std::max(0, width() - sbw - 2 * m);
    const int pbh = std::max(0, height() - 2 * m);
    paintbox_->setGeometry(m, m, pbw, pbh);
    scrollbar_->setGeometry(m + pbw, m, sbw, pbh);
    // A page is the window less one line, but always a step.
    scrollbar_->setPageStep(std::max(1, pbh / lineHeight_ - 1));
}

void TNotationWidget::resizeEvent(QResizeEvent* Event) {
    QFrame::resizeEvent(Event);
    PlaceChildren();
    model_->Refresh();
}

int TNotationWidget::VisibleRows() const {
    return paintbox_->height() / lineHeight_;
}

void TNotationWidget::AfterLayout() {
    const int rows = VisibleRows();
    scrollbar_->setRange(0, std::max(0, LineCount() - rows));
    SetVisibleRange(scrollbar_->value());
    const int s = ScrollLineOfNode(model_->CurrentMove);
    if (s == -1 || s == scrollbar_->value())
        paintbox_->update();
    else
        scrollbar_->setValue(s);
}

// --- keys ------------------------------------------------------------------------------

void TNotationWidget::keyPressEvent(QKeyEvent* Event) {
    if (!isEnabled()) {
        QFrame::keyPressEvent(Event);
        return;
    }
    switch (Event->key()) {
    case Qt::Key_Up:
        LineUpDown(-1);
        break;
    case Qt::Key_Down:
        LineUpDown(+1);
        break;
    case Qt::Key_PageUp:
        model_->PrevVariationStart();
        break;
    case Qt::Key_PageDown:
        model_->NextVariationStart();
        break;
    case Qt::Key_End:
        model_->GotoEnd();
        break;
    case Qt::Key_Home:
        model_->GotoStart();
        break;
    case Qt::Key_Left:
        model_->MoveBack();
        break;
    case Qt::Key_Right:
        model_->MoveForward();
        break;
    default:
        QFrame::keyPressEvent(Event);
        return;
    }
    Event->accept();
}

} // namespace kb
