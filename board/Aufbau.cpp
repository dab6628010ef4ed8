// SPDX-License-Identifier: GPL-3.0-or-later
// The position setup dialog and the plausibility test of a set-up position.
#include "Aufbau.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <cstdlib>

namespace kb {

namespace {

int32_t Mailbox(int Square) {
    return Index64To120(static_cast<uint8_t>(Square));
}

QString Tr(bool English, const char* De, const char* En) {
    return QString::fromUtf8(English ? En : De);
}

// A field at its place on the row of its caption, moved right as far as
// the whole caption needs in this language and font.
void PlaceBeside(QLabel* Caption, QWidget* Field, int Left, int Top, int Width) {
    Caption->adjustSize();
    const int captionEnd = Caption->mapTo(Field->parentWidget(), QPoint(Caption->width(), 0)).x();
    Field->setGeometry(std::max(Left, captionEnd + 4), Top, Width, 22);
}

// King and rook home squares of the four castling boxes.
constexpr std::array<int32_t, 4> BoxKing = {25, 25, 95, 95};
constexpr std::array<int32_t, 4> BoxRook = {28, 21, 98, 91};
constexpr std::array<uint8_t, 4> BoxBit = {WhiteShort, WhiteLong, BlackShort, BlackLong};

} // namespace

TAufbauDialog::TAufbauDialog(TBrett* Caller, bool NoCheck)
    : QDialog(Caller), caller_(Caller), noCheck_(NoCheck) {
    const bool en = Caller->English;
    setWindowTitle(Tr(en, "Stellung eingeben", "Setup position"));
    setFixedSize(545, 420);

    auto* client = new QFrame(this);
    client->setGeometry(0, 0, 545, 420);
    auto* frame = new QFrame(client);
    frame->setGeometry(30, 13, 267, 267);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(2);

    board_ = new TBrett(frame);
    board_->setObjectName(QStringLiteral("AufbauBrett"));
    board_->move(5, 5);
    board_->ModalRunner = Caller->ModalRunner;
    // A caller without a strip of its own would leave the dialog without pieces.
    if (Caller->AufbauFiguren || Caller->GetFigurenBitmap().isNull())
        board_->SetFiguren(TFigurenset::F32);
    else
        board_->SetFigurenBitmap(Caller->GetFigurenBitmap(), Caller->Figuren());
    if (Caller->Groesse() == 32) {
        board_->SetWhiteSquarePattern(Caller->WhiteSquarePattern());
        board_->SetBlackSquarePattern(Caller->BlackSquarePattern());
    }
    board_->setCursor(Qt::BlankCursor);
    board_->setMouseTracking(true);
    board_->installEventFilter(this);
    TSchachbrett b;
    TZug z;
    Caller->GetStellung(b);
    Caller->GetZug(z);
    board_->SetStellung(b, z);
    board_->RedrawAll();
    board_->aufbau_ = this;

    for (int i = 0; i < 8; ++i) {
        auto* rank = new QLabel(QString::number(i + 1), client);
        rank->move(18, 252 - 32 * i);
        auto* file = new QLabel(QString(QChar('A' + i)), client);
        file->move(48 + 32 * i, 281);
    }

    for (int k = 1; k <= 6; ++k) {
        for (int colour : {1, -1}) {
            const int32_t code = k * colour;
            auto* b = new QPushButton(client);
            b->setObjectName(QStringLiteral("Figur%1").arg(code));
            b->setGeometry(colour > 0 ? 306 : 348, 14 + 45 * (k - 1), 40, 40);
            QImage glyph(32, 32, QImage::Format_RGB32);
            glyph.fill(Qt::white);
            board_->DrawFigur(code, glyph, false);
            b->setIcon(QIcon(QPixmap::fromImage(glyph)));
            b->setIconSize(QSize(32, 32));
            // The piece in hand is the one button pressed in. The buttons take
            // no focus: its frame would mark another one as chosen.
            b->setCheckable(true);
            b->setAutoDefault(false);
            b->setFocusPolicy(Qt::NoFocus);
            connect(b, &QPushButton::clicked, this, [this, code] {
                HideFloat();
                TakeInHand(code);
                cursorNeu_ = true;
            });
            pieces_[static_cast<size_t>(FigurenZelle(code) - 1)] = b;
        }
    }

    auto button = [&](const char* de, const char* enText, int left) {
        auto* b = new QPushButton(Tr(en, de, enText), client);
        b->setGeometry(left, 360, 115, 25);
        return b;
    };
    ok_ = button("&Ok", "&Ok", 15);
    clear_ = button("&Brett leeren", "Clear &Board", 147);
    reset_ = button("&Grundstellung", "&Reset", 279);
    cancel_ = button("&Abbrechen", "&Cancel", 411);
    connect(ok_, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(clear_, &QPushButton::clicked, this, [this] { ClearClicked(); });
    connect(reset_, &QPushButton::clicked, this, [this] { ResetClicked(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* castling = new QGroupBox(Tr(en, "Rochade", "Castling"), client);
    castling->setGeometry(395, 15, 130, 145);
    const std::array<const char*, 4> de = {" Weiß 0-0", " Weiß 0-0-0", " Schwarz 0-0",
                                           " Schwarz 0-0-0"};
    const std::array<const char*, 4> enNames = {" White 0-0", " White 0-0-0", " Black 0-0",
                                                " Black 0-0-0"};
    for (int i = 0; i < 4; ++i) {
        auto* box = new QCheckBox(Tr(en, de[i], enNames[i]), castling);
        box->setGeometry(10, 25 + 25 * i, 110, 20);
        connect(box, &QCheckBox::clicked, this, [this, i] { CastlingClicked(i); });
        castle_[static_cast<size_t>(i)] = box;
    }

    auto* side = new QGroupBox(Tr(en, "Am Zug:", "Who to move?"), client);
    side->setGeometry(395, 178, 130, 90);
    white_ = new QRadioButton(Tr(en, " &Weiß", " &White"), side);
    white_->move(10, 25);
    black_ = new QRadioButton(Tr(en, " &Schwarz", " B&lack"), side);
    black_->move(10, 50);
    connect(white_, &QRadioButton::clicked, this, [this] { SideClicked(true); });
    connect(black_, &QRadioButton::clicked, this, [this] { SideClicked(false); });

    auto* bottom = new QGroupBox(client);
    bottom->setGeometry(13, 299, 512, 52);
    auto* moveLabel = new QLabel(Tr(en, "Zugnummer :", "Move number:"), bottom);
    moveLabel->move(25, 20);
    moveNo_ = new QSpinBox(client);
    PlaceBeside(moveLabel, moveNo_, 120, 317, 50);
    moveNo_->setRange(1, 1000);
    moveNo_->setValue(1);
    auto* epLabel = new QLabel(Tr(en, "E.p. auf Linie :", "  E.p. on line:"), bottom);
    epLabel->move(282, 20);
    epFile_ = new QComboBox(client);
    PlaceBeside(epLabel, epFile_, 400, 317, 50);
    epFile_->setEditable(true);
    for (char c = 'A'; c <= 'H'; ++c)
        epFile_->addItem(QString(QChar(c)));
    epFile_->setCurrentIndex(-1);
    epFile_->lineEdit()->setMaxLength(1);

    guard_ = true;
    (z.Side == 1 ? white_ : black_)->setChecked(true);
    // A right whose king or rook is not at home is not offered: the move
    // check would never grant it.
    for (size_t i = 0; i < 4; ++i)
        castle_[i]->setChecked((z.CastlingRights & BoxBit[i]) != 0 && HomeOk(static_cast<int>(i)));
    guard_ = false;
    TakeInHand(6);
    cursorNeu_ = true;
    UpdateOk();
}

void TAufbauDialog::TakeInHand(int32_t Piece) {
    figur_ = Piece;
    for (QPushButton* b : pieces_)
        b->setChecked(b == PieceButton(Piece));
}

TAufbauDialog::~TAufbauDialog() {
    if (board_) board_->aufbau_ = nullptr;
}

QPushButton* TAufbauDialog::PieceButton(int32_t Piece) const {
    const int cell = FigurenZelle(Piece);
    return cell == 0 ? nullptr : pieces_[static_cast<size_t>(cell - 1)];
}

void TAufbauDialog::ShowFloat(const QRect& r) {
    board_->RestoreBackground();
    board_->floatRect_ = r;
    board_->SaveBackground();
    DrawFigurFromStrip(board_->picture_, r, board_->DrawStrip(), figur_);
    board_->update();
}

void TAufbauDialog::HideFloat() {
    board_->RestoreBackground();
}

bool TAufbauDialog::eventFilter(QObject* Watched, QEvent* Event) {
    // Off the board the piece in hand is not shown.
    if (Watched == board_ && Event->type() == QEvent::Leave) {
        HideFloat();
        cursorNeu_ = true;
    }
    return QDialog::eventFilter(Watched, Event);
}

void TAufbauDialog::BoardMouseMove(Qt::KeyboardModifiers, int X, int Y) {
    if (figur_ == 0) return;
    const int s = board_->Groesse();
    cursorNeu_ = false;
    lastMouse_ = QPoint(X, Y);
    ShowFloat(QRect(X - s / 2, Y - s / 2, s, s));
}

void TAufbauDialog::BoardMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                   int Y) {
    if (figur_ == 0) return;
    const int s = board_->Groesse();
    const QRect at(X - s / 2, Y - s / 2, s, s);
    if (Button == Qt::RightButton && Shift == Qt::ControlModifier) {
        // Cycle the piece in hand: K Q N B R P, then the black ones.
        if (figur_ > 1)
            TakeInHand(figur_ - 1);
        else if (figur_ == 1)
            TakeInHand(-6);
        else if (figur_ < -1)
            TakeInHand(figur_ + 1);
        else
            TakeInHand(6);
        ShowFloat(at);
        return;
    }
    HideFloat();
    const int32_t piece = Button == Qt::RightButton ? -figur_ : figur_;
    const int sq = board_->SquareAt(QPoint(X, Y));
    if (sq >= 0) {
        const int32_t i = Mailbox(sq);
        const bool empty = board_->board_[i] == piece ||
                           (Button == Qt::LeftButton && Shift == Qt::ControlModifier);
        board_->board_[i] = empty ? 0 : piece;
        board_->Redraw(false);
    }
    ShowFloat(at);
    UpdateOk();
    guard_ = true;
    SyncCastlingBoxes();
    guard_ = false;
}

bool TAufbauDialog::HomeOk(int Box) const {
    const auto i = static_cast<size_t>(Box);
    const int32_t colour = Box < 2 ? 1 : -1;
    return board_->board_[BoxKing[i]] == 6 * colour && board_->board_[BoxRook[i]] == 2 * colour;
}

void TAufbauDialog::SyncCastlingBoxes() {
    for (int i = 0; i < 4; ++i)
        castle_[static_cast<size_t>(i)]->setChecked(HomeOk(i));
}

void TAufbauDialog::UpdateOk() {
    ok_->setEnabled(noCheck_ || board_->AufbauLegal());
}

void TAufbauDialog::CastlingClicked(int Box) {
    if (guard_) return;
    if (!HomeOk(Box)) castle_[static_cast<size_t>(Box)]->setChecked(false);
}

void TAufbauDialog::SideClicked(bool White) {
    if (guard_) return;
    board_->zug_.Side = White ? 1 : -1;
    UpdateOk();
}

void TAufbauDialog::OkClicked() {
    guard_ = true;
    TZug& z = board_->zug_;
    for (size_t i = 0; i < 4; ++i) {
        if (castle_[i]->isChecked())
            z.CastlingRights |= BoxBit[i];
        else
            z.CastlingRights &= static_cast<uint8_t>(~BoxBit[i]);
    }
    z.Side = white_->isChecked() ? 1 : -1;
    z.EnPassant = 0;
    const QString text = epFile_->currentText().trimmed().toUpper();
    if (!text.isEmpty() && text[0] >= QLatin1Char('A') && text[0] <= QLatin1Char('H')) {
        const int f = text[0].unicode() - 'A';
        const auto& b = board_->board_;
        if (z.Side == 1) {
            if (b[61 + f] == -1 && b[71 + f] == 0 && b[81 + f] == 0) z.EnPassant = 71 + f;
        } else {
            if (b[51 + f] == 1 && b[41 + f] == 0 && b[31 + f] == 0) z.EnPassant = 41 + f;
        }
    }
    guard_ = false;
    confirmed_ = true;
    accept();
}

void TAufbauDialog::ClearClicked() {
    guard_ = true;
    HideFloat();
    board_->cache_.fill(-100);
    board_->SetGrundstellung(false);
    for (QCheckBox* box : castle_)
        box->setChecked(false);
    white_->setChecked(true);
    UpdateOk();
    cursorNeu_ = true;
    guard_ = false;
}

void TAufbauDialog::ResetClicked() {
    guard_ = true;
    HideFloat();
    board_->cache_.fill(-100);
    board_->SetGrundstellung(true);
    white_->setChecked(true);
    for (QCheckBox* box : castle_)
        box->setChecked(true);
    UpdateOk();
    cursorNeu_ = true;
    guard_ = false;
}

// ---------------------------------------------------------------------------

bool TBrett::Aufbauen(bool NoCheck) {
    CancelDrag();
    TAufbauDialog dialog(this, NoCheck);
    const int result = RunModal(dialog);
    if (result != QDialog::Accepted || !dialog.Confirmed()) return false;
    TSchachbrett board;
    TZug zug;
    dialog.SetupBoard()->GetStellung(board);
    dialog.SetupBoard()->GetZug(zug);
    board_ = board;
    zug_ = zug;
    NewFischerInfo = TFischerInfo{};
    // A Chess960 start keeps all four rights; set before the host hears of it
    // so that host and board agree.
    if (FischerInfo && IsFischerStartPosition(board_)) zug_.CastlingRights = AllCastlingRights;
    if (OnNewPosition) OnNewPosition(this, board_, zug_, dialog.MoveNumberEdit()->value());
    Redraw(false);
    return true;
}

namespace {

bool Attacked(const TSchachbrett& b, int32_t King, int32_t Colour) {
    const int32_t enemy = -Colour;
    auto at = [&](int32_t i) { return i >= 0 && i < 120 ? b[i] : Border; };
    for (int32_t d : BishopOffsets) {
        for (int32_t i = King + d, dist = 1; at(i) != Border; i += d, ++dist) {
            const int32_t v = at(i);
            if (v == 0) continue;
            if (v == 5 * enemy || v == 3 * enemy) return true;
            if (dist == 1 && v == 6 * enemy) return true;
            // A pawn captures toward the king from the square diagonally in
            // front of it (seen from the pawn).
            if (dist == 1 && v == enemy && (Colour == 1 ? d > 0 : d < 0)) return true;
            break;
        }
    }
    for (int32_t d : RookOffsets) {
        for (int32_t i = King + d, dist = 1; at(i) != Border; i += d, ++dist) {
            const int32_t v = at(i);
            if (v == 0) continue;
            if (v == 5 * enemy || v == 2 * enemy) return true;
            if (dist == 1 && v == 6 * enemy) return true;
            break;
        }
    }
    for (int32_t d : KnightOffsets)
        if (at(King + d) == 4 * enemy) return true;
    return false;
}

} // namespace

bool TBrett::AufbauLegal() const {
    std::array<std::array<int, 7>, 2> count{}; // [white/black][kind]
    int32_t whiteKing = -1, blackKing = -1;
    for (int sq = 0; sq < 64; ++sq) {
        const int32_t i = Mailbox(sq);
        const int32_t v = board_[i];
        if (v == 0) continue;
        if (v < -6 || v > 6) return false;
        const int rank = sq / 8;
        if ((v == 1 || v == -1) && (rank == 0 || rank == 7)) return false;
        ++count[v > 0 ? 0 : 1][static_cast<size_t>(std::abs(v))];
        if (v == 6) whiteKing = i;
        if (v == -6) blackKing = i;
    }
    if (count[0][6] != 1 || count[1][6] != 1) return false;
    for (const auto& c : count) {
        const int pawns = c[1];
        if (pawns > 8 || c[5] + pawns > 9 || c[2] + pawns > 10 || c[3] + pawns > 10 ||
            c[4] + pawns > 10)
            return false;
        if (c[1] + c[2] + c[3] + c[4] + c[5] + c[6] > 16) return false;
    }
    // The side that is not to move must not stand in check.
    const bool whiteToMove = zug_.Side == 1;
    const int32_t king = whiteToMove ? blackKing : whiteKing;
    return !Attacked(board_, king, whiteToMove ? -1 : 1);
}

} // namespace kb
