// SPDX-License-Identifier: GPL-3.0-or-later
#include "UPieces.h"

#include "Brett.h"
#include "DialogsLng.h"
#include "Local.h"
#include "Notation.h"
#include "NotationWidgetText.h"
#include "Schachfiguren.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QValidator>

#include <algorithm>
#include <vector>

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

const QRawFont& SignFont() {
    // From the file itself, so that no other font is substituted.
    static const QRawFont font(kb::PieceFontFile(), 100.0);
    return font;
}

// The outline of a text set in the sign font, on one baseline.
QPainterPath TextPath(const QString& S) {
    QPainterPath path;
    const QRawFont& font = SignFont();
    if (!font.isValid()) return path;
    const QList<quint32> glyphs = font.glyphIndexesForString(S);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    QPointF pen;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        path.addPath(font.pathForGlyph(glyphs[i]).translated(pen));
        pen += advances.value(i);
    }
    return path;
}

// Two texts, one above the other ("+" over "=" for a slight advantage).
QPainterPath Stacked(const QString& Top, const QString& Bottom) {
    QPainterPath top = TextPath(Top), bottom = TextPath(Bottom);
    const QRectF t = top.boundingRect(), b = bottom.boundingRect();
    const qreal width = std::max(t.width(), b.width());
    QPainterPath path;
    path.addPath(top.translated((width - t.width()) / 2 - t.left(), -t.top()));
    path.addPath(
        bottom.translated((width - b.width()) / 2 - b.left(), t.height() * 1.15 - b.top()));
    return path;
}

// "Better is": an arc over a base line; the font has no such symbol.
QPainterPath BetterIs() {
    QPainterPath path;
    path.moveTo(0, 60);
    path.arcTo(QRectF(0, 0, 100, 120), 180, -180);
    path.moveTo(-5, 60);
    path.lineTo(105, 60);
    return QPainterPathStroker(QPen(QBrush(), 14)).createStroke(path);
}

QPainterPath SignPath(int Index) {
    switch (Index) {
    case 0:
        return TextPath(U("\u2a00")); // zugzwang
    case 1:
        return TextPath(U("\u25a1")); // only move
    case 2:
        return TextPath(U("+\u2212")); // White wins
    case 3:
        return TextPath(U("\u00b1")); // White is better
    case 4:
        return Stacked(U("+"), U("=")); // White stands slightly better
    case 5:
        return TextPath(U("=")); // equal
    case 6:
        return TextPath(U("\u221e")); // unclear
    case 7:
        return Stacked(U("="), U("+")); // Black stands slightly better
    case 8:
        return TextPath(U("\u2213")); // Black is better
    case 9:
        return TextPath(U("\u2212+")); // Black wins
    case 10:
        return Stacked(U("="), U("\u221e")); // compensation
    case 11:
        return TextPath(U("\u21c6")); // counterplay
    case 12:
        return TextPath(U("\u2191")); // initiative
    case 13:
        return TextPath(U("\u2192")); // attack
    case 14:
        return TextPath(U("\u2295")); // time trouble
    case 15:
        return TextPath(U("\u27f3")); // development advantage
    case 16:
        return TextPath(U("N")); // novelty
    case 17:
        return TextPath(U("\u2206")); // with the idea
    case 18:
        return BetterIs(); // better is
    default:
        return {};
    }
}

// A piece picture from the board's strip on the dialog's background.
QImage PiecePicture(const kb::TBrett& Board, int32_t Piece, QColor Background) {
    QImage out(32, 32, QImage::Format_RGB32);
    out.fill(Background);
    kb::DrawFigurFromStrip(out, out.rect(), Board.GetFigurenBitmap(), Piece);
    return out;
}

// The 224 characters 32..255, read as the notation reads single bytes.
QString CharacterSet() {
    static const char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString s;
    for (int c = 32; c <= 255; ++c)
        s += QChar(c >= 0x80 && c < 0xA0 ? High[c - 0x80] : c);
    return s;
}

// A sign edit takes what the frame can store for its sign: one character
// of the character set, or its default text as shown, or nothing (the
// default). Typing is refused as a length limit would refuse it.
class TSignValidator : public QValidator {
public:
    TSignValidator(QString Default, QObject* Parent)
        : QValidator(Parent), default_(std::move(Default)) {}
    State validate(QString& Input, int&) const override {
        if (Input.isEmpty() || Input == default_ || TfrmPieces::SignCode(Input) >= 0)
            return Acceptable;
        return Invalid;
    }

private:
    QString default_;
};

} // namespace

int TfrmPieces::SignCode(const QString& Text) {
    if (Text.size() != 1) return -1;
    const qsizetype at = CharacterSet().indexOf(Text[0]);
    // A blank would be trimmed away in the ini and shift the signs after
    // it; "#" is stored for "the default".
    if (at <= 0 || Text[0] == u'#') return -1;
    return static_cast<int>(at) + 32;
}

QString TfrmPieces::SignChar(unsigned char Code) {
    return Code > 32 ? QString(CharacterSet()[Code - 32]) : QString();
}

QImage DrawSignPicture(int Index, int Size) {
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QPainterPath path = SignPath(Index);
    if (path.isEmpty()) return image;
    const QRectF box = path.boundingRect();
    const qreal margin = Size / 8.0;
    // One size for all (a capital letter of the 100 px font is about 73 px
    // high), smaller only where a sign would not fit.
    const qreal scale =
        std::min({(Size - 2 * margin) / std::max(box.width(), 1.0),
                  (Size - 2 * margin) / std::max(box.height(), 1.0), (Size - 2 * margin) / 73.0});
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(Size / 2.0, Size / 2.0);
    p.scale(scale, scale);
    p.translate(-box.center());
    // Filled and outlined: the bold set.
    p.setPen(QPen(Qt::black, 1.2 / scale));
    p.setBrush(Qt::black);
    p.drawPath(path);
    return image;
}

TfrmPieces::TfrmPieces(QFont* NotationFont, QWidget* Parent, QColor* NotationColor)
    : QDialog(Parent), notationFont_(NotationFont ? NotationFont : &ownFont_),
      notationColor_(NotationColor) {
    setObjectName(QStringLiteral("frmPieces"));
    setWindowTitle(U("Schriftart für Züge"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(473, 414);

    bFont = new QPushButton(U("Schriftart für Züge"), this);
    bFont->setObjectName(QStringLiteral("bFont"));
    bFont->setGeometry(8, 8, 200, 25);
    bFont->setAutoDefault(false);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setGeometry(8, 40, 200, 330);

    GroupBox1 = new QGroupBox(U("Figurenbezeichner"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(216, 4, 249, 122);
    for (int i = 0; i < 6; ++i) {
        const int x = 8 + (i % 3) * 80, y = 20 + (i / 3) * 48;
        fImage[i] = new QLabel(GroupBox1);
        fImage[i]->setObjectName(QString("fImage%1").arg(i + 1));
        fImage[i]->setGeometry(x, y, 32, 32);
        fEdit[i] = new QLineEdit(GroupBox1);
        fEdit[i]->setObjectName(QString("fEdit%1").arg(i + 1));
        fEdit[i]->setGeometry(x + 36, y + 4, 32, 24);
    }

    GroupBox2 = new QGroupBox(U("Informatorzeichen"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(216, 130, 249, 276);
    for (int k = 0; k < SignCount; ++k) {
        const int column = k < 9 ? 0 : 1, row = k < 9 ? k : k - 9;
        const int x = 10 + column * 120, y = 20 + row * 25;
        Image[k] = new QLabel(GroupBox2);
        Image[k]->setObjectName(QString("Image%1").arg(k + 1));
        Image[k]->setGeometry(x, y, 22, 22);
        Edit[k] = new QLineEdit(GroupBox2);
        Edit[k]->setObjectName(QString("Edit%1").arg(k + 1));
        // Room for the signs spelt with two characters ("+-"); a choice is
        // one character.
        Edit[k]->setMaxLength(std::max<int>(1, SignText(k).size()));
        Edit[k]->setValidator(new TSignValidator(SignText(k), Edit[k]));
        Edit[k]->setGeometry(x + 30, y, 40, 22);
        Edit[k]->setText(SignText(k));
    }

    bOk = new QPushButton(QStringLiteral("Ok"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setGeometry(8, 378, 96, 28);
    bOk->setDefault(true);
    bCancel = new QPushButton(U("Abbrechen"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(112, 378, 96, 28);
    bCancel->setAutoDefault(false);
    connect(bOk, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(bCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(bFont, &QPushButton::clicked, this, &TfrmPieces::bFontClick);

    Brett1 = new kb::TBrett(this);
    Brett1->setObjectName(QStringLiteral("Brett1"));
    Brett1->hide();
    // The board builds its strip when a set is chosen; the pictures need it now.
    if (Brett1->GetFigurenBitmap().isNull()) Brett1->BuildFiguren(kb::TFigurenset::F32);

    FormCreate();

    RegisterCaption(this, 107);
    RegisterCaption(bFont, 107);
    RegisterCaption(GroupBox1, 167);
    RegisterCaption(bCancel, 168);
    RegisterCaption(bOk, 169);
    RegisterCaption(GroupBox2, 231);
}

TfrmPieces::~TfrmPieces() = default;

void TfrmPieces::FormCreate() {
    // King, queen, rook, bishop, knight, pawn.
    const int32_t pieces[6] = {6, 5, 2, 3, 4, 1};
    const QColor background = palette().color(QPalette::Window);
    for (int i = 0; i < 6; ++i)
        fImage[i]->setPixmap(QPixmap::fromImage(PiecePicture(*Brett1, pieces[i], background)));
    for (int k = 0; k < SignCount; ++k) {
        ImageListBold.push_back(DrawSignPicture(k, 22));
        Image[k]->setPixmap(QPixmap::fromImage(ImageListBold.back()));
    }
    Memo1->setPlainText(CharacterSet());
}

void TfrmPieces::showEvent(QShowEvent* Event) {
    ApplyFont();
    QDialog::showEvent(Event);
}

QString TfrmPieces::SignText(int K) {
    if (K < 0 || K >= SignCount) return {};
    return QString::fromStdString(kb::ShowableSignTexts()[static_cast<size_t>(K)]);
}

void TfrmPieces::ApplyFont() {
    // The memo and the sign edits show the characters as the notation will.
    std::vector<QWidget*> shown{Memo1};
    shown.insert(shown.end(), Edit.begin(), Edit.end());
    for (QWidget* w : shown) {
        w->setFont(*notationFont_);
        if (notationColor_) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::Text, *notationColor_);
            w->setPalette(pal);
        }
    }
}

void TfrmPieces::bFontClick() {
    const bool chosen = notationColor_
                            ? ChooseFont(this, windowTitle(), *notationFont_, *notationColor_)
                            : ChooseFont(this, windowTitle(), *notationFont_);
    if (chosen) ApplyFont();
}

void TfrmPieces::reject() {
    done(mrCancel);
}
