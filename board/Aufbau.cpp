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

#include <cstdlib>

namespace kb {

namespace {

int32_t Mailbox(int Square) {
    return Index64To120(static_cast<uint8_t>(Square));
}

QString Tr(bool English, const char* De, const char* En) {
    return QString::fromUtf8(English ? En : De);
}

// King and rook home squares of the four castling boxes.
constexpr std::array<int32_t, 4> BoxKing = {25, 25, 95, 95};
constexpr std::array<int32_t, 4> BoxRook = {28, 21, 98, 91};
constexpr std::array<uint8_t, 4> BoxBit = {WhiteShort, WhiteLong, BlackShort, BlackLong};

} // namespace

TAufbauDialog::TAufbauDialog(TBrett* Caller, bool NoCheck)
    : QDialog(Caller), Caller_(Caller), NoCheck_(NoCheck) {
    const bool en = Caller->English;
    setWindowTitle(Tr(en, "Stellung eingeben", "Setup position"));
    setFixedSize(545, 420);

    auto* client = new QFrame(this);
    client->setGeometry(0, 0, 545, 420);
    auto* frame = new QFrame(client);
    frame->setGeometry(30, 13, 267, 267);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(2);

    Board_ = new TBrett(frame);
    Board_->setObjectName(QStringLiteral("AufbauBrett"));
    Board_->move(5, 5);
    Board_->ModalRunner = Caller->ModalRunner;
    // A caller without a strip of its own would leave the dialog without pieces.
    if (Caller->AufbauFiguren || Caller->GetFigurenBitmap().isNull())
        Board_->SetFiguren(TFigurenset::F32);
    else
        Board_->SetFigurenBitmap(Caller->GetFigurenBitmap(), Caller->Figuren());
    if (Caller->Groesse() == 32) {
        Board_->SetWhiteSquarePattern(Caller->WhiteSquarePattern());
        Board_->SetBlackSquarePattern(Caller->BlackSquarePattern());
    }
    Board_->setCursor(Qt::BlankCursor);
    Board_->setMouseTracking(true);
    Board_->installEventFilter(this);
    TSchachbrett b;
    TZug z;
    Caller->GetStellung(b);
    Caller->GetZug(z);
    Board_->SetStellung(b, z);
    Board_->RedrawAll();
    Board_->Aufbau_ = this;

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
            Board_->DrawFigur(code, glyph, false);
            b->setIcon(QIcon(QPixmap::fromImage(glyph)));
            b->setIconSize(QSize(32, 32));
            connect(b, &QPushButton::clicked, this, [this, code] {
                HideFloat();
                Figur_ = code;
                CursorNeu_ = true;
            });
            Pieces_[static_cast<size_t>(FigurenZelle(code) - 1)] = b;
        }
    }

    auto button = [&](const char* de, const char* enText, int left) {
        auto* b = new QPushButton(Tr(en, de, enText), client);
        b->setGeometry(left, 360, 115, 25);
        return b;
    };
    Ok_ = button("&Ok", "&Ok", 15);
    Clear_ = button("&Brett leeren", "Clear &Board", 147);
    Reset_ = button("&Grundstellung", "&Reset", 279);
    Cancel_ = button("&Abbrechen", "&Cancel", 411);
    connect(Ok_, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(Clear_, &QPushButton::clicked, this, [this] { ClearClicked(); });
    connect(Reset_, &QPushButton::clicked, this, [this] { ResetClicked(); });
    connect(Cancel_, &QPushButton::clicked, this, &QDialog::reject);

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
        Castle_[static_cast<size_t>(i)] = box;
    }

    auto* side = new QGroupBox(Tr(en, "Am Zug:", "Who to move?"), client);
    side->setGeometry(395, 178, 130, 90);
    White_ = new QRadioButton(Tr(en, " &Weiß", " &White"), side);
    White_->move(10, 25);
    Black_ = new QRadioButton(Tr(en, " &Schwarz", " B&lack"), side);
    Black_->move(10, 50);
    connect(White_, &QRadioButton::clicked, this, [this] { SideClicked(true); });
    connect(Black_, &QRadioButton::clicked, this, [this] { SideClicked(false); });

    auto* bottom = new QGroupBox(client);
    bottom->setGeometry(13, 299, 512, 52);
    auto* moveLabel = new QLabel(Tr(en, "Zugnummer :", "Move number:"), bottom);
    moveLabel->move(25, 20);
    MoveNo_ = new QSpinBox(client);
    MoveNo_->setGeometry(120, 317, 50, 22);
    MoveNo_->setRange(1, 1000);
    MoveNo_->setValue(1);
    auto* epLabel = new QLabel(Tr(en, "E.p. auf Linie :", "  E.p. on line:"), bottom);
    epLabel->move(282, 20);
    EpFile_ = new QComboBox(client);
    EpFile_->setGeometry(400, 317, 50, 22);
    EpFile_->setEditable(true);
    for (char c = 'A'; c <= 'H'; ++c)
        EpFile_->addItem(QString(QChar(c)));
    EpFile_->setCurrentIndex(-1);
    EpFile_->lineEdit()->setMaxLength(1);

    Guard_ = true;
    (z.Side == 1 ? White_ : Black_)->setChecked(true);
    for (size_t i = 0; i < 4; ++i)
        Castle_[i]->setChecked((z.CastlingRights & BoxBit[i]) != 0);
    Guard_ = false;
    Figur_ = 6;
    CursorNeu_ = true;
    UpdateOk();
}

TAufbauDialog::~TAufbauDialog() {
    if (Board_) Board_->Aufbau_ = nullptr;
}

QPushButton* TAufbauDialog::PieceButton(int32_t Piece) const {
    const int cell = FigurenZelle(Piece);
    return cell == 0 ? nullptr : Pieces_[static_cast<size_t>(cell - 1)];
}

void TAufbauDialog::ShowFloat(const QRect& r) {
    Board_->RestoreBackground();
    Board_->FloatRect_ = r;
    Board_->SaveBackground();
    DrawFigurFromStrip(Board_->Picture_, r, Board_->Strip_, Figur_);
    Board_->update();
}

void TAufbauDialog::HideFloat() {
    Board_->RestoreBackground();
}

bool TAufbauDialog::eventFilter(QObject* Watched, QEvent* Event) {
    // Off the board the piece in hand is not shown.
    if (Watched == Board_ && Event->type() == QEvent::Leave) {
        HideFloat();
        CursorNeu_ = true;
    }
    return QDialog::eventFilter(Watched, Event);
}

void TAufbauDialog::BoardMouseMove(Qt::KeyboardModifiers, int X, int Y) {
    if (Figur_ == 0) return;
    const int s = Board_->Groesse();
    CursorNeu_ = false;
    LastMouse_ = QPoint(X, Y);
    ShowFloat(QRect(X - s / 2, Y - s / 2, s, s));
}

void TAufbauDialog::BoardMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                   int Y) {
    if (Figur_ == 0) return;
    const int s = Board_->Groesse();
    const QRect at(X - s / 2, Y - s / 2, s, s);
    if (Button == Qt::RightButton && Shift == Qt::ControlModifier) {
        // Cycle the piece in hand: K Q N B R P, then the black ones.
        if (Figur_ > 1)
            --Figur_;
        else if (Figur_ == 1)
            Figur_ = -6;
        else if (Figur_ < -1)
            ++Figur_;
        else
            Figur_ = 6;
        ShowFloat(at);
        return;
    }
    HideFloat();
    const int32_t piece = Button == Qt::RightButton ? -Figur_ : Figur_;
    const int sq = Board_->SquareAt(QPoint(X, Y));
    if (sq >= 0) {
        const int32_t i = Mailbox(sq);
        const bool empty = Board_->Board_[i] == piece ||
                           (Button == Qt::LeftButton && Shift == Qt::ControlModifier);
        Board_->Board_[i] = empty ? 0 : piece;
        Board_->Redraw(false);
    }
    ShowFloat(at);
    UpdateOk();
    Guard_ = true;
    SyncCastlingBoxes();
    Guard_ = false;
}

bool TAufbauDialog::HomeOk(int Box) const {
    const auto i = static_cast<size_t>(Box);
    const int32_t colour = Box < 2 ? 1 : -1;
    return Board_->Board_[BoxKing[i]] == 6 * colour && Board_->Board_[BoxRook[i]] == 2 * colour;
}

void TAufbauDialog::SyncCastlingBoxes() {
    for (int i = 0; i < 4; ++i)
        Castle_[static_cast<size_t>(i)]->setChecked(HomeOk(i));
}

void TAufbauDialog::UpdateOk() {
    Ok_->setEnabled(NoCheck_ || Board_->AufbauLegal());
}

void TAufbauDialog::CastlingClicked(int Box) {
    if (Guard_) return;
    if (!HomeOk(Box)) Castle_[static_cast<size_t>(Box)]->setChecked(false);
}

void TAufbauDialog::SideClicked(bool White) {
    if (Guard_) return;
    Board_->Zug_.Side = White ? 1 : -1;
    UpdateOk();
}

void TAufbauDialog::OkClicked() {
    Guard_ = true;
    TZug& z = Board_->Zug_;
    for (size_t i = 0; i < 4; ++i) {
        if (Castle_[i]->isChecked())
            z.CastlingRights |= BoxBit[i];
        else
            z.CastlingRights &= static_cast<uint8_t>(~BoxBit[i]);
    }
    z.Side = White_->isChecked() ? 1 : -1;
    z.EnPassant = 0;
    const QString text = EpFile_->currentText().trimmed().toUpper();
    if (!text.isEmpty() && text[0] >= QLatin1Char('A') && text[0] <= QLatin1Char('H')) {
        const int f = text[0].unicode() - 'A';
        const auto& b = Board_->Board_;
        if (z.Side == 1) {
            if (b[61 + f] == -1 && b[71 + f] == 0 && b[81 + f] == 0) z.EnPassant = 71 + f;
        } else {
            if (b[51 + f] == 1 && b[41 + f] == 0 && b[31 + f] == 0) z.EnPassant = 41 + f;
        }
    }
    Guard_ = false;
    Confirmed_ = true;
    accept();
}

void TAufbauDialog::ClearClicked() {
    Guard_ = true;
    HideFloat();
    Board_->Cache_.fill(-100);
    Board_->SetGrundstellung(false);
    for (QCheckBox* box : Castle_)
        box->setChecked(false);
    White_->setChecked(true);
    UpdateOk();
    CursorNeu_ = true;
    Guard_ = false;
}

void TAufbauDialog::ResetClicked() {
    Guard_ = true;
    HideFloat();
    Board_->Cache_.fill(-100);
    Board_->SetGrundstellung(true);
    White_->setChecked(true);
    for (QCheckBox* box : Castle_)
        box->setChecked(true);
    UpdateOk();
    CursorNeu_ = true;
    Guard_ = false;
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
    Board_ = board;
    Zug_ = zug;
    // A Chess960 start keeps all four rights; set before the host hears of it
    // so that host and board agree.
    if (FischerInfo && IsFischerStartPosition(Board_)) Zug_.CastlingRights = AllCastlingRights;
    if (OnNewPosition) OnNewPosition(this, Board_, Zug_, dialog.MoveNumberEdit()->value());
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
        const int32_t v = Board_[i];
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
    const bool whiteToMove = Zug_.Side == 1;
    const int32_t king = whiteToMove ? blackKing : whiteKing;
    return !Attacked(Board_, king, whiteToMove ? -1 : 1);
}

} // namespace kb
