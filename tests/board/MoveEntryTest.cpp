// SPDX-License-Identifier: GPL-3.0-or-later
// Move entry with the mouse: drag, click-click, one-click proposals, the
// host's legality answer, flipping and the guards on square indices.
#include "BoardTestSupport.h"

#include <QDialog>
#include <QPushButton>

#include <gtest/gtest.h>

#include <vector>

using namespace kb;
using kbboard::Centre;
using kbboard::Click;
using kbboard::Drag;
using kbboard::Sq;
using kbboard::Stellung;

namespace {

struct Tried {
    int32_t from, to, kind;
};

// A board on the standard position whose host answers OnMoveTry with a fixed
// verdict and records every question and every move done.
struct Host {
    TBrett b;
    bool verdict = true;
    std::vector<Tried> tries;
    int done = 0;
    bool ctrlSeen = false, altSeen = false;

    Host() {
        kbboard::Prepare(b);
        b.MarkColor = QColor(255, 255, 0);
        b.OnMoveTry = [this](TBrett* sender, bool& legal) {
            TZug z;
            sender->GetZug(z);
            tries.push_back({z.From, z.To, z.CastlingKind});
            legal = verdict;
        };
        b.OnMoveDone = [this](TBrett* sender) {
            ++done;
            ctrlSeen = sender->CtrlMove;
            altSeen = sender->AltMove;
        };
    }
    int32_t At(const char* sq) const {
        TSchachbrett s;
        b.GetStellung(s);
        return s[Sq(sq)];
    }
};

// The picture a fresh board shows for the given position.
QImage Expected(const TSchachbrett& s, const TZug& z, bool flipped = false) {
    TBrett ref;
    ref.SetFiguren(TFigurenset::F32);
    if (flipped) ref.Drehen();
    ref.SetStellung(s, z);
    return ref.Picture();
}

TZug White() {
    TZug z;
    z.CastlingRights = 30;
    z.Side = 1;
    return z;
}

} // namespace

TEST(MoveEntry, DragAsksTheHostAndMovesOnlyWhenLegal) {
    Host h;
    const QImage before = h.b.Picture();
    h.verdict = false;
    Drag(h.b, "e2", "e4");
    ASSERT_EQ(h.tries.size(), 1u);
    EXPECT_EQ(h.tries[0].from, Sq("e2"));
    EXPECT_EQ(h.tries[0].to, Sq("e4"));
    EXPECT_EQ(h.tries[0].kind, 0);
    EXPECT_EQ(h.done, 0);
    EXPECT_EQ(h.At("e2"), 1);
    EXPECT_EQ(h.At("e4"), 0);
    EXPECT_FALSE(h.b.Dragging());
    EXPECT_EQ(h.b.Picture(), before) << "a refused move leaves no trace";

    h.verdict = true;
    Drag(h.b, "e2", "e4", Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(h.done, 1);
    EXPECT_TRUE(h.ctrlSeen);
    EXPECT_TRUE(h.altSeen);
    EXPECT_FALSE(h.b.CtrlMove);
    EXPECT_EQ(h.At("e4"), 1);
    EXPECT_EQ(h.At("e2"), 0);
    TZug z;
    h.b.GetZug(z);
    EXPECT_EQ(z.From, Sq("e2"));
    EXPECT_EQ(z.EnPassant, Sq("e3"));
    EXPECT_EQ(z.Side, -1);
    TSchachbrett s;
    h.b.GetStellung(s);
    EXPECT_EQ(h.b.Picture(), Expected(s, z));

    // Own pieces are never taken; without a handler every move is refused.
    Drag(h.b, "e7", "e5");
    EXPECT_EQ(h.At("e5"), -1);
    Drag(h.b, "d1", "d2");
    EXPECT_EQ(h.tries.size(), 3u) << "dropping on an own piece asks nobody";
    EXPECT_EQ(h.At("d1"), 5);
    h.b.OnMoveTry = nullptr;
    Drag(h.b, "d2", "d4");
    EXPECT_EQ(h.At("d2"), 1);
}

TEST(MoveEntry, DropOutsideTheBoardPutsThePieceBack) {
    Host h;
    const QImage before = h.b.Picture();
    Drag(h.b, Centre(h.b, "h2"), Centre(h.b, "h2") + QPoint(200, 0));
    EXPECT_TRUE(h.tries.empty());
    EXPECT_EQ(h.At("h2"), 1);
    EXPECT_EQ(h.b.Picture(), before);

    // With a proposal pending it is a cancel as well.
    h.b.ZugVorschlagen = true;
    h.b.OnMovePart = [](TBrett*, uint8_t, uint8_t& p) { p = static_cast<uint8_t>(Sq("h4")); };
    Drag(h.b, Centre(h.b, "h2"), Centre(h.b, "h2") + QPoint(200, 0));
    EXPECT_TRUE(h.tries.empty());
    EXPECT_EQ(h.done, 0);
    EXPECT_EQ(h.b.Picture(), before) << "the proposal mark is gone too";
}

TEST(MoveEntry, ClickClickMovesAndSwitchingOffDropsThePendingSquare) {
    Host h;
    const QImage before = h.b.Picture();
    h.b.SetClickClick(true);
    Click(h.b, "g1");
    EXPECT_EQ(h.b.ClickClickPending(), Sq("g1"));
    EXPECT_NE(h.b.Picture(), before) << "the first square is marked";
    Click(h.b, "f3");
    EXPECT_EQ(h.b.ClickClickPending(), 0);
    ASSERT_EQ(h.tries.size(), 1u);
    EXPECT_EQ(h.At("f3"), 4);
    EXPECT_EQ(h.done, 1);

    // An empty first square does not count.
    Click(h.b, "e4");
    EXPECT_EQ(h.b.ClickClickPending(), 0);

    const QImage now = h.b.Picture();
    Click(h.b, "e7");
    EXPECT_EQ(h.b.ClickClickPending(), Sq("e7"));
    h.b.SetClickClick(false);
    EXPECT_EQ(h.b.ClickClickPending(), 0);
    EXPECT_EQ(h.b.Picture(), now) << "no mark left behind";
}

TEST(MoveEntry, OneClickProposals) {
    Host h;
    h.b.ZugVorschlagen = true;
    // The host proposes e2 for e4 and e4 for e2.
    h.b.OnMovePart = [](TBrett*, uint8_t sq, uint8_t& p) {
        if (sq == Sq("e4")) p = static_cast<uint8_t>(Sq("e2"));
        if (sq == Sq("e2")) p = static_cast<uint8_t>(Sq("e4"));
        if (sq == Sq("e5")) p = static_cast<uint8_t>(Sq("e7"));
        if (sq == Sq("e7")) p = static_cast<uint8_t>(Sq("e5"));
    };
    Click(h.b, "e4");
    EXPECT_EQ(h.At("e4"), 1);
    EXPECT_EQ(h.At("e2"), 0);
    ASSERT_EQ(h.done, 1);

    Click(h.b, "e7");
    EXPECT_EQ(h.At("e5"), -1);
    EXPECT_EQ(h.done, 2);

    // Press on the target, release on the piece that goes there.
    TSchachbrett s = StandardStellung;
    h.b.SetStellung(s, White());
    Drag(h.b, Centre(h.b, "e4"), Centre(h.b, "e2"));
    EXPECT_EQ(h.At("e4"), 1);
    EXPECT_EQ(h.done, 3);
    ASSERT_FALSE(h.tries.empty());
    EXPECT_EQ(h.tries.back().from, Sq("e2"));
    EXPECT_EQ(h.tries.back().to, Sq("e4"));
    const QImage after = h.b.Picture();
    TZug z;
    h.b.GetZug(z);
    h.b.GetStellung(s);
    EXPECT_EQ(after, Expected(s, z)) << "no proposal mark remains";

    // Without a proposal, pressing an empty or an enemy square does nothing.
    h.b.OnMovePart = nullptr;
    const size_t asked = h.tries.size();
    Click(h.b, "d4");
    Click(h.b, "d2");
    EXPECT_EQ(h.tries.size(), asked);
    EXPECT_EQ(h.b.Picture(), after);
}

TEST(MoveEntry, ProposalsAndMarksOutsideTheBoardAreIgnored) {
    Host h;
    const QImage before = h.b.Picture();
    for (int32_t i : {-1, 0, 10, 20, 29, 30, 99, 100, 119, 120, 255}) {
        h.b.MarkSquare(i, Qt::red);
        h.b.RedrawSquare(i);
    }
    EXPECT_EQ(h.b.Picture(), before);
    h.b.MarkSquare(Sq("a1"), Qt::red);
    EXPECT_NE(h.b.Picture(), before);
    h.b.RedrawSquare(Sq("a1"));
    EXPECT_EQ(h.b.Picture(), before);

    h.b.ZugVorschlagen = true;
    for (uint8_t border : {uint8_t(10), uint8_t(30), uint8_t(99), uint8_t(119), uint8_t(200)}) {
        h.b.OnMovePart = [border](TBrett*, uint8_t, uint8_t& p) { p = border; };
        Click(h.b, "e4");
        EXPECT_TRUE(h.tries.empty()) << int(border);
        EXPECT_EQ(h.b.Picture(), before) << int(border);
    }
}

TEST(MoveEntry, FlippedBoardMapsPointsToSquares) {
    Host h;
    const int s = h.b.Groesse();
    EXPECT_EQ(h.b.SquareAt(QPoint(1, 1)), kbboard::Sq64("a8"));
    EXPECT_EQ(h.b.SquareAt(QPoint(8 * s, 5)), -1);
    h.b.Drehen();
    EXPECT_TRUE(h.b.GetGedreht());
    EXPECT_EQ(h.b.SquareAt(QPoint(1, 1)), kbboard::Sq64("h1"));
    EXPECT_EQ(h.b.SquareAt(QPoint(8 * s - 1, 8 * s - 1)), kbboard::Sq64("a8"));
    EXPECT_EQ(h.b.SquareRect(kbboard::Sq64("a1")), QRect(7 * s, 0, s, s));
    EXPECT_EQ(h.b.Picture(), Expected(StandardStellung, White(), true));

    // Moves still go where the eye sees them: e2 is near the top now.
    Drag(h.b, "e2", "e4");
    ASSERT_EQ(h.tries.size(), 1u);
    EXPECT_EQ(h.tries[0].from, Sq("e2"));
    EXPECT_EQ(h.tries[0].to, Sq("e4"));
    EXPECT_EQ(h.At("e4"), 1);
    // Physically the press was in the upper half.
    EXPECT_LT(Centre(h.b, "e2").y(), 4 * s);
}

TEST(MoveEntry, HostPositionDuringADragCancelsIt) {
    Host h;
    const TSchachbrett other = Stellung({"Ke1", "ke8", "Pa2"});
    QTest::mousePress(&h.b, Qt::LeftButton, {}, Centre(h.b, "e2"));
    QTest::mouseMove(&h.b, Centre(h.b, "e3"));
    EXPECT_TRUE(h.b.Dragging());
    h.b.SetStellung(other, White());
    EXPECT_FALSE(h.b.Dragging());
    QTest::mouseMove(&h.b, Centre(h.b, "e4"));
    QTest::mouseRelease(&h.b, Qt::LeftButton, {}, Centre(h.b, "e4"));
    EXPECT_TRUE(h.tries.empty());
    EXPECT_EQ(h.b.Picture(), Expected(other, White()));

    // The same for a move from the host.
    QTest::mousePress(&h.b, Qt::LeftButton, {}, Centre(h.b, "a2"));
    QTest::mouseMove(&h.b, Centre(h.b, "a3"));
    TZug z = White();
    z.From = Sq("e1");
    z.To = Sq("f1");
    z.Side = -1;
    h.b.DoZug(z);
    QTest::mouseRelease(&h.b, Qt::LeftButton, {}, Centre(h.b, "a4"));
    EXPECT_TRUE(h.tries.empty());
    EXPECT_EQ(h.At("a2"), 1);
    TSchachbrett s;
    h.b.GetStellung(s);
    EXPECT_EQ(h.b.Picture(), Expected(s, z));
}

TEST(MoveEntry, Chess960CastlingWithCtrl) {
    Host h;
    TFischerInfo fi;
    fi.Fischer = true;
    fi.WhiteRookA = Sq("a1");
    fi.WhiteRookH = Sq("f1");
    fi.BlackRookA = Sq("a8");
    fi.BlackRookH = Sq("f8");
    fi.WhiteKing = Sq("e1");
    fi.BlackKing = Sq("e8");
    h.b.FischerInfo = &fi;
    h.b.SetStellung(Stellung({"Ke1", "Ra1", "Rf1", "ke8", "ra8", "rf8"}), White());
    // King onto g1 with Ctrl: asked as a Chess960 castling.
    Drag(h.b, "e1", "g1", Qt::ControlModifier);
    ASSERT_EQ(h.tries.size(), 1u);
    EXPECT_EQ(h.tries[0].kind, 3);
    EXPECT_EQ(h.At("g1"), 6);
    EXPECT_EQ(h.At("f1"), 2);
    EXPECT_EQ(h.done, 1);
    EXPECT_FALSE(h.ctrlSeen) << "a castling is no new variation";
}

TEST(MoveEntry, PiecesFloatOverTheEdgesWithoutHarm) {
    Host h;
    const QImage before = h.b.Picture();
    // Lifted on the top rank, the piece rises above the picture.
    const QPoint a8 = Centre(h.b, "a8");
    QTest::mousePress(&h.b, Qt::LeftButton, {}, a8);
    QTest::mouseMove(&h.b, a8 + QPoint(-20, -20));
    QTest::mouseMove(&h.b, a8 + QPoint(-25, 0));
    QTest::mouseRelease(&h.b, Qt::LeftButton, {}, a8 + QPoint(-25, 0));
    EXPECT_TRUE(h.tries.empty());
    EXPECT_EQ(h.b.Picture(), before);
    const QPoint h1 = Centre(h.b, "h1");
    QTest::mousePress(&h.b, Qt::LeftButton, {}, h1);
    QTest::mouseMove(&h.b, h1 + QPoint(10, 10));
    QTest::mouseMove(&h.b, h1 + QPoint(30, 30));
    QTest::mouseRelease(&h.b, Qt::LeftButton, {}, h1 + QPoint(30, 30));
    EXPECT_EQ(h.b.Picture(), before);
}

TEST(MoveEntry, UserMovesNeitherBeepNorAnimate) {
    struct Counting : TBrett {
        int beeps = 0;
        void Beep() override { ++beeps; }
    } b;
    kbboard::Prepare(b);
    b.OnMoveTry = [](TBrett*, bool& legal) { legal = true; };
    b.Ton = true;
    b.Animation = 200; // would take seconds if it ran
    Drag(b, "g1", "f3");
    TSchachbrett s;
    b.GetStellung(s);
    EXPECT_EQ(s[Sq("f3")], 4);
    EXPECT_EQ(b.beeps, 0);
    EXPECT_TRUE(b.Ton);
    b.Animation = 0;
    TZug z;
    b.GetZug(z);
    z.From = Sq("b8");
    z.To = Sq("c6");
    z.Side = 1;
    b.DoZug(z);
    EXPECT_EQ(b.beeps, 1) << "moves from the host do beep";
}

TEST(MoveEntry, PromotionByDragAndItsCancel) {
    Host h;
    h.b.SetStellung(Stellung({"Ke1", "ke8", "Pa7", "nb8"}), White());
    h.b.ModalRunner = [](QDialog&) { return int(QDialog::Rejected); };
    Drag(h.b, "a7", "b8");
    EXPECT_EQ(h.tries.size(), 1u);
    EXPECT_EQ(h.done, 0) << "a closed choice is no move";
    EXPECT_EQ(h.At("a7"), 1);
    EXPECT_EQ(h.At("b8"), -4);
    TZug z;
    h.b.GetZug(z);
    EXPECT_EQ(z.Side, 1);
    EXPECT_EQ(h.b.Picture(), Expected(Stellung({"Ke1", "ke8", "Pa7", "nb8"}), White()));

    h.b.ModalRunner = [](QDialog& d) {
        auto* q = d.findChild<QPushButton*>(QStringLiteral("Umwandlung5"));
        EXPECT_NE(q, nullptr);
        EXPECT_TRUE(q && q->isDefault());
        if (q) q->click();
        return d.result();
    };
    Drag(h.b, "a7", "b8");
    EXPECT_EQ(h.done, 1);
    EXPECT_EQ(h.At("b8"), 5);
    h.b.GetZug(z);
    EXPECT_EQ(z.Promotion, 5);
    EXPECT_EQ(z.Captured, -4);
}
