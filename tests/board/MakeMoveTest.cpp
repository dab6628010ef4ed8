// SPDX-License-Identifier: GPL-3.0-or-later
// Making moves on the board: castling, en passant, rights, promotion, and
// moves handed in by the host.
#include "BoardTestSupport.h"

#include <QDialog>
#include <QPushButton>

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kb;
using kbboard::Sq;
using kbboard::Stellung;

namespace {

TZug Record(uint8_t rights, int32_t side) {
    TZug z;
    z.CastlingRights = rights;
    z.Side = side;
    return z;
}

TSchachbrett Board(const TBrett& b) {
    TSchachbrett s;
    b.GetStellung(s);
    return s;
}

TZug Zug(const TBrett& b) {
    TZug z;
    b.GetZug(z);
    return z;
}

// Answers the promotion popup by pressing one of its buttons (0 = close it).
void AnswerPromotion(TBrett& b, int kind, int* asked = nullptr) {
    b.ModalRunner = [kind, asked](QDialog& d) {
        if (asked) ++*asked;
        if (kind == 0) return int(QDialog::Rejected);
        auto* button = d.findChild<QPushButton*>(QStringLiteral("Umwandlung%1").arg(kind));
        EXPECT_NE(button, nullptr);
        if (button) button->click();
        return d.result();
    };
}

} // namespace

TEST(MakeMove, StandardCastlingMovesTheRookAndClearsRights) {
    TBrett b;
    b.SetStellung(Stellung({"Ke1", "Rh1", "Ra1", "ke8", "rh8", "ra8"}), Record(30, 1));
    ASSERT_TRUE(b.MakeMove(Sq("e1"), Sq("g1"), false, -1));
    TSchachbrett s = Board(b);
    EXPECT_EQ(s[Sq("g1")], 6);
    EXPECT_EQ(s[Sq("f1")], 2);
    EXPECT_EQ(s[Sq("h1")], 0);
    EXPECT_EQ(s[Sq("e1")], 0);
    TZug z = Zug(b);
    EXPECT_EQ(z.CastlingKind, 1);
    EXPECT_EQ(z.CastlingRights, BlackShort | BlackLong);
    EXPECT_EQ(z.Side, -1);
    EXPECT_EQ(z.From, Sq("e1"));
    EXPECT_EQ(z.To, Sq("g1"));

    ASSERT_TRUE(b.MakeMove(Sq("e8"), Sq("c8"), false, -1));
    s = Board(b);
    EXPECT_EQ(s[Sq("c8")], -6);
    EXPECT_EQ(s[Sq("d8")], -2);
    EXPECT_EQ(s[Sq("a8")], 0);
    z = Zug(b);
    EXPECT_EQ(z.CastlingKind, 2);
    EXPECT_EQ(z.CastlingRights, 0);
    EXPECT_EQ(z.Side, 1);
}

TEST(MakeMove, RookMovesAndCapturesOnCornersClearRights) {
    TBrett b;
    b.SetStellung(Stellung({"Ke1", "Rh1", "Ra1", "Bg2", "ke8", "rh8", "ra8"}), Record(30, 1));
    // A bishop capturing on a8 ends Black's long castling.
    ASSERT_TRUE(b.MakeMove(Sq("g2"), Sq("a8"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, WhiteShort | WhiteLong | BlackShort);
    EXPECT_EQ(Zug(b).Captured, -2);
    ASSERT_TRUE(b.MakeMove(Sq("h8"), Sq("h1"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, WhiteLong);
    ASSERT_TRUE(b.MakeMove(Sq("a1"), Sq("a2"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, 0);
}

TEST(MakeMove, EnPassantTargetAndVictim) {
    TBrett b;
    b.SetStellung(Stellung({"Ke1", "ke8", "Pe2", "pd4", "Pg5", "ph7"}), Record(0, 1));
    ASSERT_TRUE(b.MakeMove(Sq("e2"), Sq("e4"), false, -1));
    EXPECT_EQ(Zug(b).EnPassant, Sq("e3"));
    // Black takes en passant from its fourth rank: the e4 pawn goes.
    ASSERT_TRUE(b.MakeMove(Sq("d4"), Sq("e3"), false, -1));
    EXPECT_EQ(Zug(b).EnPassant, 0);
    EXPECT_EQ(Zug(b).EnPassantVictim, Sq("e4"));
    EXPECT_EQ(Board(b)[Sq("e4")], 0);
    EXPECT_EQ(Board(b)[Sq("e3")], -1);
    ASSERT_TRUE(b.MakeMove(Sq("e1"), Sq("f1"), false, -1));
    ASSERT_TRUE(b.MakeMove(Sq("h7"), Sq("h5"), false, -1));
    EXPECT_EQ(Zug(b).EnPassant, Sq("h6"));
    ASSERT_TRUE(b.MakeMove(Sq("g5"), Sq("h6"), false, -1));
    EXPECT_EQ(Zug(b).EnPassantVictim, Sq("h5"));
    EXPECT_EQ(Board(b)[Sq("h5")], 0);
    EXPECT_EQ(Board(b)[Sq("h6")], 1);
    // An ordinary pawn move carries no promotion.
    ASSERT_TRUE(b.MakeMove(Sq("e3"), Sq("e2"), false, -1));
    EXPECT_EQ(Zug(b).Promotion, 0);
    EXPECT_EQ(Board(b)[Sq("e2")], -1);
}

TEST(MakeMove, Chess960CastlingUsesTheRecordsRookSquares) {
    // King on b1, rooks on a1 and g1; black mirrored.
    TFischerInfo fi;
    fi.Fischer = true;
    fi.WhiteRookA = Sq("a1");
    fi.WhiteRookH = Sq("g1");
    fi.BlackRookA = Sq("a8");
    fi.BlackRookH = Sq("g8");
    fi.WhiteKing = Sq("b1");
    fi.BlackKing = Sq("b8");
    TBrett b;
    b.FischerInfo = &fi;
    b.SetStellung(Stellung({"Kb1", "Ra1", "Rg1", "kb8", "ra8", "rg8"}), Record(30, 1));

    // Long castling: king to c1, rook to d1.
    ASSERT_TRUE(b.MakeMove(Sq("b1"), Sq("c1"), true, -1));
    TSchachbrett s = Board(b);
    EXPECT_EQ(Zug(b).CastlingKind, 4);
    EXPECT_EQ(s[Sq("c1")], 6);
    EXPECT_EQ(s[Sq("d1")], 2);
    EXPECT_EQ(s[Sq("a1")], 0);
    EXPECT_EQ(s[Sq("b1")], 0);
    EXPECT_EQ(s[Sq("g1")], 2);
    EXPECT_EQ(Zug(b).CastlingRights, BlackShort | BlackLong);

    // Short castling onto the own rook's square: king g8, rook f8, no capture.
    ASSERT_TRUE(b.MakeMove(Sq("b8"), Sq("g8"), true, -1));
    s = Board(b);
    EXPECT_EQ(Zug(b).CastlingKind, 3);
    EXPECT_EQ(Zug(b).Captured, 0);
    EXPECT_EQ(s[Sq("g8")], -6);
    EXPECT_EQ(s[Sq("f8")], -2);
    EXPECT_EQ(s[Sq("b8")], 0);
    EXPECT_EQ(s[Sq("a8")], -2);
    EXPECT_EQ(Zug(b).CastlingRights, 0);
}

TEST(MakeMove, Chess960RightsFollowTheRookSquaresNotTheCorners) {
    TFischerInfo fi;
    fi.Fischer = true;
    fi.WhiteRookA = Sq("b1");
    fi.WhiteRookH = Sq("f1");
    fi.BlackRookA = Sq("b8");
    fi.BlackRookH = Sq("f8");
    fi.WhiteKing = Sq("c1");
    fi.BlackKing = Sq("c8");
    TBrett b;
    b.FischerInfo = &fi;
    b.SetStellung(Stellung({"Kc1", "Rb1", "Rf1", "Ba1", "kc8", "rb8", "rf8", "nh8"}),
                  Record(30, 1));
    // The rook on f1 is the short-side rook.
    ASSERT_TRUE(b.MakeMove(Sq("f1"), Sq("f2"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, WhiteLong | BlackShort | BlackLong);
    // Black moves, then a capture on h8 (a standard corner, but no rook
    // square in this game) changes nothing.
    ASSERT_TRUE(b.MakeMove(Sq("c8"), Sq("d8"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, WhiteLong);
    b.SetStellung(Stellung({"Kc1", "Rb1", "Rf1", "Ba1", "kc8", "rb8", "rf8", "nh8"}),
                  Record(30, 1));
    ASSERT_TRUE(b.MakeMove(Sq("a1"), Sq("h8"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, AllCastlingRights);
    // A capture on b8, Black's long-side rook square, ends that right.
    b.SetStellung(Stellung({"Kc1", "Rb1", "Qb2", "kc8", "rb8", "rf8"}), Record(30, 1));
    ASSERT_TRUE(b.MakeMove(Sq("b2"), Sq("b8"), false, -1));
    EXPECT_EQ(Zug(b).CastlingRights, WhiteShort | WhiteLong | BlackShort);
}

TEST(MakeMove, PromotionChoiceAndItsCancel) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    const TSchachbrett start = Stellung({"Ke1", "ke8", "Pb7", "pg2", "Nh1"});
    b.SetStellung(start, Record(0, 1));
    int asked = 0;
    AnswerPromotion(b, 4, &asked);
    ASSERT_TRUE(b.MakeMove(Sq("b7"), Sq("b8"), false, -1));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Zug(b).Promotion, 4);
    EXPECT_EQ(Board(b)[Sq("b8")], 4);
    EXPECT_EQ(Board(b)[Sq("b7")], 0);

    // Black captures on h1 and picks a queen: the black code comes back.
    AnswerPromotion(b, 5, &asked);
    ASSERT_TRUE(b.MakeMove(Sq("g2"), Sq("h1"), false, -1));
    EXPECT_EQ(Zug(b).Promotion, -5);
    EXPECT_EQ(Zug(b).Captured, 4);
    EXPECT_EQ(Board(b)[Sq("h1")], -5);

    // Closing the popup is a cancel: nothing moves, the record stays.
    b.SetStellung(start, Record(0, 1));
    const TZug before = Zug(b);
    AnswerPromotion(b, 0, &asked);
    EXPECT_FALSE(b.MakeMove(Sq("b7"), Sq("b8"), false, -1));
    EXPECT_EQ(Board(b), start);
    EXPECT_EQ(Zug(b), before);

    // A promotion given by the host asks nobody.
    asked = 0;
    ASSERT_TRUE(b.MakeMove(Sq("b7"), Sq("b8"), false, 2));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(Board(b)[Sq("b8")], 2);
}

TEST(MakeMove, HostMovesAndBorderIndicesAreChecked) {
    TBrett b;
    const TSchachbrett start = Stellung({"Ke1", "ke8", "Pe2"});
    b.SetStellung(start, Record(0, 1));
    EXPECT_FALSE(b.MakeMove(20, Sq("e4"), false, 0));
    EXPECT_FALSE(b.MakeMove(Sq("e2"), 99, false, 0));
    TZug bad = Record(0, -1);
    bad.From = 0;
    bad.To = 119;
    b.DoZug(bad);
    EXPECT_EQ(Board(b), start);

    // DoZug takes the record as it is: no bookkeeping of its own.
    TZug z = Record(0, -1);
    z.From = Sq("e2");
    z.To = Sq("e4");
    b.DoZug(z);
    EXPECT_EQ(Board(b)[Sq("e4")], 1);
    EXPECT_EQ(Zug(b).EnPassant, 0);
    EXPECT_EQ(Zug(b).Side, -1);
}

TEST(MakeMove, HostMovesBeepWhenAskedAndAnimate) {
    struct Counting : TBrett {
        int beeps = 0;
        void Beep() override { ++beeps; }
    } b;
    b.SetFiguren(TFigurenset::F32);
    b.SetStellung(Stellung({"Ke1", "ke8", "Ra1"}), Record(0, 1));
    b.Ton = true;
    b.Animation = 1;
    ASSERT_TRUE(b.MakeMove(Sq("a1"), Sq("a7"), false, 0));
    EXPECT_EQ(b.beeps, 1);
    EXPECT_TRUE(b.isEnabled());
    // The position is exact at once; the picture follows.
    TSchachbrett s;
    b.GetStellung(s);
    EXPECT_EQ(s[Sq("a7")], 2);
    EXPECT_EQ(s[Sq("a1")], 0);
    EXPECT_TRUE(b.Animating());
    QTRY_VERIFY_WITH_TIMEOUT(!b.Animating(), 5000);
    // The animated piece ends on its target and leaves nothing behind.
    TBrett plain;
    plain.SetFiguren(TFigurenset::F32);
    plain.SetStellung(s, Record(0, -1));
    EXPECT_EQ(b.Picture(), plain.Picture());
}

// The slide runs on a timer: the event loop keeps serving everything else
// (clocks, engine output, other windows), and whatever comes next lands the
// piece at once.
TEST(MakeMove, AnimationLeavesTheEventLoopRunning) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    b.SetStellung(Stellung({"Ke1", "ke8", "Ra1", "nb8"}), Record(0, 1));
    b.Animation = 200; // seconds for the whole way, were it slept
    ASSERT_TRUE(b.MakeMove(Sq("a1"), Sq("a8"), false, 0));
    bool served = false;
    QTimer::singleShot(0, [&] { served = true; });
    QTRY_VERIFY_WITH_TIMEOUT(served, 1000);
    EXPECT_TRUE(b.Animating());

    // The next move lands the first one, then slides itself; castling
    // rights and the captured piece are exact throughout.
    ASSERT_TRUE(b.MakeMove(Sq("b8"), Sq("c6"), false, 0));
    EXPECT_TRUE(b.Animating());
    b.FinishAnimation();
    EXPECT_FALSE(b.Animating());
    TSchachbrett s;
    b.GetStellung(s);
    TBrett plain;
    plain.SetFiguren(TFigurenset::F32);
    plain.SetStellung(s, Record(0, 1));
    EXPECT_EQ(b.Picture(), plain.Picture());

    // A new position stops a slide in the middle and shows exactly itself.
    ASSERT_TRUE(b.MakeMove(Sq("a8"), Sq("a1"), false, 0));
    ASSERT_TRUE(b.Animating());
    const TSchachbrett fresh = Stellung({"Kg1", "kg8"});
    b.SetStellung(fresh, Record(0, 1));
    EXPECT_FALSE(b.Animating());
    plain.SetStellung(fresh, Record(0, 1));
    EXPECT_EQ(b.Picture(), plain.Picture());
}
