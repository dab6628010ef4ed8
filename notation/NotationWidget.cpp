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
    explicit TMetrics(const TNotationWidget& W) : W_(W) {}
    int AvailableWidth() const override { return W_.Paintbox_ ? W_.Paintbox_->width() : 0; }
    int Indent(TLineFont Font) const override { return W_.IndentForFont(Font); }
    int CharWidth(TLineFont Font, std::string_view Text, size_t Pos) const override {
        return W_.CharWidth(Font, Text, Pos);
    }

private:
    const TNotationWidget& W_;
};

TNotatScrollbar::TNotatScrollbar(QWidget* Parent) : QScrollBar(Qt::Vertical, Parent) {
    setFocusPolicy(Qt::NoFocus);
    setSingleStep(1);
}

TNotationWidget::TNotationWidget(QWidget* Parent)
    : QFrame(Parent), Model_(std::make_unique<TNotation>()) {
    Metrics_ = std::make_unique<TMetrics>(*this);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(BevelWidth_);
    setFocusPolicy(Qt::StrongFocus);
    Color_ = palette().color(QPalette::Button);

    Scrollbar_ = new TNotatScrollbar(this);
    Scrollbar_->setRange(0, 0);
    Paintbox_ = new TNotatPaintbox(this);
    connect(Scrollbar_, &QScrollBar::valueChanged, Paintbox_, [this](int Top) {
        SetVisibleRange(Top);
        Paintbox_->update();
    });

    QFont base = QGuiApplication::font();
    base.setKerning(false);
    for (TNotationFont& f : Fonts_)
        f.Font = base;
    Fonts_[Idx(TLineFont::Bold)].Font.setBold(true);

    Model_->Metrics = Metrics_.get();
    Model_->AfterLayout = [this](TNotation*) { AfterLayout(); };
    Dialogs_ = std::make_unique<TNotationDialogs>(this);
    Model_->Chooser = Dialogs_.get();
    Model_->ScrollToCurrentHook = [this](TNotation*) { ScrollToCurrent(); };
    Model_->BeepHook = [](TNotation*) { QApplication::beep(); };
    Model_->ClipboardSetText = [](const std::string& Text) {
        QClipboard* cb = QGuiApplication::clipboard();
        if (!cb) return false;
        cb->setText(DecodeGameText(Text));
        return true;
    };
    Model_->ClipboardGetText = [](std::string& Text) {
        const QClipboard* cb = QGuiApplication::clipboard();
        const QMimeData* mime = cb ? cb->mimeData() : nullptr;
        if (!mime || !mime->hasText()) return false;
        Text = EncodeGameText(mime->text());
        return true;
    };

    UpdateLineHeight();
    PlaceChildren();
    Model_->Refresh();
}

TNotationWidget::~TNotationWidget() {
    // The model must not call back into a half-destroyed widget.
    Model_->AfterLayout = nullptr;
    Model_->Metrics = nullptr;
    Model_->Chooser = nullptr;
    Model_->ScrollToCurrentHook = nullptr;
    Model_->BeepHook = nullptr;
    Model_->ClipboardGetText = nullptr;
    Model_->ClipboardSetText = nullptr;
}

TNotatPaintbox::TNotatPaintbox(TNotationWidget* Owner) : QWidget(Owner), Owner_(Owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

// --- fonts and measuring ------------------------------------------------------

const QFont& TNotationWidget::QtFont(TLineFont Font) const {
    const size_t i = Idx(Font);
    return Fonts_[i < Fonts_.size() ? i : Idx(TLineFont::Main)].Font;
}

const QColor& TNotationWidget::FontColor(TLineFont Font) const {
    const size_t i = Idx(Font);
    return Fonts_[i < Fonts_.size() ? i : Idx(TLineFont::Main)].Color;
}

int TNotationWidget::IndentForFont(TLineFont Font) const {
    switch (Font) {
    case TLineFont::Var1:
        return Indent_[1];
    case TLineFont::Var2:
        return Indent_[2];
    default:
        return Indent_[0];
    }
}

int TNotationWidget::CharWidth(TLineFont Font, std::string_view Text, size_t Pos) const {
    if (Pos >= Text.size() || ContinuesCharacter(Text, Pos)) return 0;
    const char b = Text[Pos];
    if (b == '{' || b == '}') return 0; // braces are never drawn
    size_t len = 0;
    const char32_t c = CharacterAt(Text, Pos, len);
    const size_t i = std::min(Idx(Font), Fonts_.size() - 1);
    auto& cache = WidthCache_[i];
    const auto hit = cache.find(c);
    if (hit != cache.end()) return hit->second;
    const int w = QFontMetrics(Fonts_[i].Font).horizontalAdvance(QString::fromUcs4(&c, 1));
    cache.emplace(c, w);
    return w;
}

void TNotationWidget::UpdateLineHeight() {
    const QFontMetrics fm(QtFont(TLineFont::Main));
    // A height of 0 would divide by zero in every row computation.
    LineHeight_ = std::max(1, fm.height() + Zeilenabstand_);
}

void TNotationWidget::FontsChanged() {
    for (auto& c : WidthCache_)
        c.clear();
    TNotationFont& bold = Fonts_[Idx(TLineFont::Bold)];
    bold = Fonts_[Idx(TLineFont::Main)];
    bold.Font.setBold(true);
    UpdateLineHeight();
    PlaceChildren();
    Model_->Refresh();
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
    Fonts_[Idx(TLineFont::HeadLine)] = {NoKerning(Value.Font), Value.Color};
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
    Fonts_[Idx(TLineFont::Comment)] = {f, Value.Color};
    FontsChanged();
}

void TNotationWidget::SetFont0Var(const TNotationFont& Value) {
    const QFont main = NoKerning(Value.Font);
    Fonts_[Idx(TLineFont::Main)] = {main, Value.Color};
    for (TLineFont v : {TLineFont::Var1, TLineFont::Var2}) {
        TNotationFont& f = Fonts_[Idx(v)];
        f.Font = StyledLike(main, f.Font);
    }
    CapSize(Fonts_[Idx(TLineFont::Comment)].Font, main);
    FontsChanged();
}

void TNotationWidget::SetFont1Var(const TNotationFont& Value) {
    Fonts_[Idx(TLineFont::Var1)] = {StyledLike(QtFont(TLineFont::Main), Value.Font), Value.Color};
    FontsChanged();
}

void TNotationWidget::SetFont2Var(const TNotationFont& Value) {
    Fonts_[Idx(TLineFont::Var2)] = {StyledLike(QtFont(TLineFont::Main), Value.Font), Value.Color};
    FontsChanged();
}

// --- other properties -----------------------------------------------------------

void TNotationWidget::SetIndent(int Level, int Value) {
    Value = std::clamp(Value, 0, 0xFFFF);
    if (Indent_[static_cast<size_t>(Level)] == Value) return;
    Indent_[static_cast<size_t>(Level)] = Value;
    Model_->Refresh();
}

void TNotationWidget::SetZeilenabstand(int Value) {
    Value = std::clamp(Value, 0, 0xFFFF);
    if (Value == Zeilenabstand_) return;
    Zeilenabstand_ = Value;
    UpdateLineHeight();
    PlaceChildren();
    Model_->Refresh();
}

void TNotationWidget::SetBevelWidthNotat(int Value) {
    if (Value <= 0) return; // a panel keeps some bevel
    BevelWidth_ = std::min(Value, 0xFFFF);
    setLineWidth(BevelWidth_);
    PlaceChildren();
    Model_->Refresh();
}

void TNotationWidget::SetBorderWidthNotat(int Value) {
    BorderWidth_ = std::clamp(Value, 0, 0xFFFF);
    PlaceChildren();
    Model_->Refresh();
}

void TNotationWidget::SetColor(const QColor& Value) {
    Color_ = Value;
    update();
    Paintbox_->update();
}

// --- size -------------------------------------------------------------------------

void TNotationWidget::PlaceChildren() {
    const int m = BevelWidth_ + BorderWidth_;
    const int sbw = Scrollbar_->sizeHint().width();
    const int pbw = std::max(0, width() - sbw - 2 * m);
    const int pbh = std::max(0, height() - 2 * m);
    Paintbox_->setGeometry(m, m, pbw, pbh);
    Scrollbar_->setGeometry(m + pbw, m, sbw, pbh);
    // A page is the window less one line, but always a step.
    Scrollbar_->setPageStep(std::max(1, pbh / LineHeight_ - 1));
}

void TNotationWidget::resizeEvent(QResizeEvent* Event) {
    QFrame::resizeEvent(Event);
    PlaceChildren();
    Model_->Refresh();
}

int TNotationWidget::VisibleRows() const {
    return Paintbox_->height() / LineHeight_;
}

void TNotationWidget::AfterLayout() {
    const int rows = VisibleRows();
    Scrollbar_->setRange(0, std::max(0, LineCount() - rows));
    SetVisibleRange(Scrollbar_->value());
    const int s = ScrollLineOfNode(Model_->CurrentMove);
    if (s == -1 || s == Scrollbar_->value())
        Paintbox_->update();
    else
        Scrollbar_->setValue(s);
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
        Model_->PrevVariationStart();
        break;
    case Qt::Key_PageDown:
        Model_->NextVariationStart();
        break;
    case Qt::Key_End:
        Model_->GotoEnd();
        break;
    case Qt::Key_Home:
        Model_->GotoStart();
        break;
    case Qt::Key_Left:
        Model_->MoveBack();
        break;
    case Qt::Key_Right:
        Model_->MoveForward();
        break;
    default:
        QFrame::keyPressEvent(Event);
        return;
    }
    Event->accept();
}

} // namespace kb
