// SPDX-License-Identifier: GPL-3.0-or-later
// The setup dialog and the plausibility test of a set-up position.
#include "Aufbau.h"
#include "BoardTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <vector>

using namespace kb;
using kbboard::Sq;
using kbboard::Stellung;

namespace {

bool Legal(const TSchachbrett& s, int32_t side) {
    TBrett b;
    TZug z;
    z.Side = side;
    b.SetStellung(s, z);
    return b.AufbauLegal();
}

TSchachbrett With(std::initializer_list<const char*> extra) {
    TSchachbrett s = Stellung({"Ke1", "ke8"});
    const TSchachbrett add = Stellung(extra);
    for (int i = 0; i < 120; ++i)
        if (add[i] != 0 && add[i] != Border) s[i] = add[i];
    return s;
}

// Runs the dialog through Fn(dialog) instead of exec; returns Aufbauen's result.
template <typename Fn> bool RunSetup(TBrett& b, bool noCheck, Fn fn) {
    b.ModalRunner = [&](QDialog& d) {
        auto* dlg = qobject_cast<TAufbauDialog*>(&d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg) return int(QDialog::Rejected);
        dlg->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg));
        fn(*dlg);
        return dlg->result();
    };
    return b.Aufbauen(noCheck);
}

void ClickSquare(TAufbauDialog& d, const char* sq, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers mods = Qt::KeyboardModifiers()) {
    TBrett* board = d.SetupBoard();
    QTest::mouseClick(board, button, mods, kbboard::Centre(*board, sq));
}

int32_t On(TAufbauDialog& d, const char* sq) {
    TSchachbrett s;
    d.SetupBoard()->GetStellung(s);
    return s[Sq(sq)];
}

// The piece buttons that look chosen: pressed in, or the one the window's
// focus (and with it the default button's frame) rests on.
std::vector<int32_t> LookChosen(TAufbauDialog& d) {
    std::vector<int32_t> chosen;
    for (int32_t code : {1, 2, 3, 4, 5, 6, -1, -2, -3, -4, -5, -6}) {
        QPushButton* b = d.PieceButton(code);
        if (b->isChecked() || b->isDown() || b->isDefault() || d.focusWidget() == b)
            chosen.push_back(code);
    }
    return chosen;
}

} // namespace

TEST(AufbauLegal, KingsPawnsAndCounts) {
    EXPECT_TRUE(Legal(StandardStellung, 1));
    EXPECT_TRUE(Legal(With({}), 1));
    EXPECT_FALSE(Legal(Stellung({"Ke1"}), 1)) << "no black king";
    EXPECT_FALSE(Legal(With({"Kd4"}), 1)) << "two white kings";
    EXPECT_FALSE(Legal(With({"Ph8"}), 1));
    EXPECT_FALSE(Legal(With({"pa1"}), -1));
    EXPECT_FALSE(Legal(With({"Pa2", "Pb2", "Pc2", "Pd2", "Pe2", "Pf2", "Pg2", "Ph2", "Pa3"}), 1));
    EXPECT_TRUE(Legal(With({"Pa2", "Pb2", "Pc2", "Pd2", "Pe2", "Pf2", "Pg2", "Ph2", "Qd1"}), 1));
    EXPECT_FALSE(
        Legal(With({"Pa2", "Pb2", "Pc2", "Pd2", "Pe2", "Pf2", "Pg2", "Ph2", "Qd1", "Qc1"}), 1));
    EXPECT_FALSE(Legal(
        With({"pa7", "pb7", "pc7", "pd7", "pe7", "pf7", "pg7", "ph7", "ra8", "rh8", "rb8"}), 1));
    // Seventeen men while every single count is allowed.
    EXPECT_FALSE(Legal(With({"Pa2", "Pb2", "Pc2", "Pd2", "Pe2", "Pf2", "Pg2", "Qa4", "Qb4", "Ra3",
                             "Rb3", "Rc3", "Ba5", "Bb5", "Bc5", "Na6", "Nb6", "Nc6"}),
                       1));
}

TEST(AufbauLegal, TheSideNotToMoveMustNotBeInCheck) {
    // Rook on the e-file: Black is in check.
    EXPECT_FALSE(Legal(With({"Re4"}), 1));
    EXPECT_TRUE(Legal(With({"Re4"}), -1));
    // Blocked lines and far-away pieces do not attack.
    EXPECT_TRUE(Legal(With({"Re4", "pe6"}), 1));
    EXPECT_FALSE(Legal(With({"Bb5"}), 1));
    EXPECT_FALSE(Legal(With({"Nf6"}), 1));
    EXPECT_FALSE(Legal(With({"Qh5"}), 1));
    EXPECT_TRUE(Legal(With({"Qh5", "pf7"}), 1));
    // Pawns attack forward only.
    EXPECT_FALSE(Legal(With({"Pd7"}), 1));
    EXPECT_TRUE(Legal(Stellung({"Ke1", "ke5", "Pd6"}), 1));
    EXPECT_FALSE(Legal(Stellung({"Ke1", "ke5", "Pd4"}), 1));
    EXPECT_FALSE(Legal(Stellung({"Ke4", "ke8", "pd5"}), -1));
    EXPECT_TRUE(Legal(Stellung({"Ke4", "ke8", "pd3"}), -1));
    // Kings side by side: whoever is not to move stands in check.
    EXPECT_FALSE(Legal(Stellung({"Ke4", "ke5"}), 1));
    EXPECT_FALSE(Legal(Stellung({"Ke4", "ke5"}), -1));
}

TEST(Aufbau, OkOnTheStandardPositionKeepsItAndReportsMoveOne) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    int events = 0;
    TSchachbrett got{};
    TZug gotZug;
    int z = 0;
    b.OnNewPosition = [&](TBrett*, const TSchachbrett& s, const TZug& zug, int n) {
        ++events;
        got = s;
        gotZug = zug;
        z = n;
    };
    const bool ok = RunSetup(b, false, [](TAufbauDialog& d) {
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(d.CastlingBox(i)->isChecked()) << i;
        EXPECT_TRUE(d.WhiteRadio()->isChecked());
        EXPECT_TRUE(d.OkButton()->isEnabled());
        EXPECT_EQ(d.AufbauFigur(), 6);
        d.OkButton()->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(got, StandardStellung);
    EXPECT_EQ(gotZug.Side, 1);
    EXPECT_EQ(gotZug.CastlingRights & AllCastlingRights, AllCastlingRights);
    EXPECT_EQ(z, 1);
}

TEST(Aufbau, PlacingPiecesWithBothButtonsAndCancel) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    int events = 0;
    b.OnNewPosition = [&](TBrett*, const TSchachbrett&, const TZug&, int) { ++events; };
    const bool ok = RunSetup(b, false, [](TAufbauDialog& d) {
        d.PieceButton(5)->click();
        EXPECT_EQ(d.AufbauFigur(), 5);
        ClickSquare(d, "d4", Qt::RightButton);
        EXPECT_EQ(On(d, "d4"), -5) << "the right button takes the other colour";
        EXPECT_FALSE(d.OkButton()->isEnabled()) << "two black queens beside eight pawns";
        ClickSquare(d, "d4", Qt::RightButton);
        EXPECT_EQ(On(d, "d4"), 0) << "the same piece again empties the square";
        EXPECT_TRUE(d.OkButton()->isEnabled());
        // Ctrl + left empties whatever stands there.
        ClickSquare(d, "h1", Qt::LeftButton, Qt::ControlModifier);
        EXPECT_EQ(On(d, "h1"), 0);
        EXPECT_FALSE(d.CastlingBox(0)->isChecked());
        EXPECT_TRUE(d.CastlingBox(1)->isChecked());
        // Ctrl + right cycles the piece in hand: Q R ... down to -6.
        ClickSquare(d, "c4", Qt::RightButton, Qt::ControlModifier);
        EXPECT_EQ(d.AufbauFigur(), 4);
        EXPECT_EQ(On(d, "c4"), 0);
        d.PieceButton(1)->click();
        ClickSquare(d, "a4", Qt::RightButton, Qt::ControlModifier);
        EXPECT_EQ(d.AufbauFigur(), -6);
        d.PieceButton(-1)->click();
        ClickSquare(d, "a4", Qt::RightButton, Qt::ControlModifier);
        EXPECT_EQ(d.AufbauFigur(), 6);
        // A white pawn on h8 keeps OK disabled.
        d.PieceButton(1)->click();
        ClickSquare(d, "h8");
        EXPECT_EQ(On(d, "h8"), 1);
        EXPECT_FALSE(d.OkButton()->isEnabled());
        d.CancelButton()->click();
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(events, 0);
    TSchachbrett s;
    b.GetStellung(s);
    EXPECT_EQ(s, StandardStellung) << "cancel changes nothing";
}

TEST(Aufbau, TheButtonThatLooksChosenIsThePieceThatIsPlaced) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    TZug z;
    b.SetStellung(Stellung({"Ke1", "ke8"}), z);
    RunSetup(b, true, [](TAufbauDialog& d) {
        using V = std::vector<int32_t>;
        // As the dialog opens: the white king, and only it.
        EXPECT_EQ(LookChosen(d), V{6});
        ClickSquare(d, "d2");
        EXPECT_EQ(On(d, "d2"), 6);
        EXPECT_EQ(LookChosen(d), V{6});
        // A click on a button.
        QTest::mouseClick(d.PieceButton(-3), Qt::LeftButton);
        EXPECT_EQ(LookChosen(d), V{-3});
        ClickSquare(d, "c2");
        EXPECT_EQ(On(d, "c2"), -3);
        // Ctrl + right button cycles: -3 steps up to -2, -1, then the white king.
        ClickSquare(d, "a4", Qt::RightButton, Qt::ControlModifier);
        EXPECT_EQ(LookChosen(d), V{-2});
        ClickSquare(d, "e7");
        EXPECT_EQ(On(d, "e7"), -2);
        // The right button places the other colour for this click only.
        ClickSquare(d, "e6", Qt::RightButton);
        EXPECT_EQ(On(d, "e6"), 2);
        EXPECT_EQ(LookChosen(d), V{-2});
        ClickSquare(d, "a4", Qt::RightButton, Qt::ControlModifier);
        ClickSquare(d, "a4", Qt::RightButton, Qt::ControlModifier);
        EXPECT_EQ(LookChosen(d), V{6});
        QTest::mouseClick(d.PieceButton(1), Qt::LeftButton);
        ClickSquare(d, "a4", Qt::RightButton, Qt::ControlModifier);
        EXPECT_EQ(LookChosen(d), V{-6});
        // Clear and Reset keep the piece in hand.
        d.ResetButton()->click();
        d.ClearButton()->click();
        EXPECT_EQ(LookChosen(d), V{-6});
        ClickSquare(d, "g8");
        EXPECT_EQ(On(d, "g8"), -6);
        d.reject();
    });
}

TEST(Aufbau, CastlingBoxesNeedKingAndRookAtHome) {
    TBrett b;
    TZug z;
    z.CastlingRights = 0;
    b.SetStellung(Stellung({"Ke1", "Ra1", "ke8", "rh8"}), z);
    TZug result;
    b.OnNewPosition = [&](TBrett*, const TSchachbrett&, const TZug& zug, int) { result = zug; };
    ASSERT_TRUE(RunSetup(b, false, [](TAufbauDialog& d) {
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE(d.CastlingBox(i)->isChecked());
        d.CastlingBox(0)->click(); // no rook on h1
        EXPECT_FALSE(d.CastlingBox(0)->isChecked());
        d.CastlingBox(1)->click();
        EXPECT_TRUE(d.CastlingBox(1)->isChecked());
        d.CastlingBox(2)->click();
        EXPECT_TRUE(d.CastlingBox(2)->isChecked());
        d.BlackRadio()->click();
        d.MoveNumberEdit()->setValue(23);
        d.OkButton()->click();
    }));
    EXPECT_EQ(result.CastlingRights & AllCastlingRights, WhiteLong | BlackShort);
    EXPECT_EQ(result.Side, -1);
    TZug now;
    b.GetZug(now);
    EXPECT_EQ(now.Side, -1);
}

// Rights the board holds (a Chess960 game, an older paste) that the pieces
// deny are not offered, and OK without a click on the board drops them.
TEST(Aufbau, RightsThePiecesDenyAreNotKept) {
    TBrett b;
    TZug z;
    z.CastlingRights = AllCastlingRights;
    b.SetStellung(Stellung({"Kf1", "Rb1", "Rh1", "ke8", "ra8", "rh8"}), z);
    TZug result;
    b.OnNewPosition = [&](TBrett*, const TSchachbrett&, const TZug& zug, int) { result = zug; };
    ASSERT_TRUE(RunSetup(b, false, [](TAufbauDialog& d) {
        EXPECT_FALSE(d.CastlingBox(0)->isChecked());
        EXPECT_FALSE(d.CastlingBox(1)->isChecked());
        EXPECT_TRUE(d.CastlingBox(2)->isChecked());
        EXPECT_TRUE(d.CastlingBox(3)->isChecked());
        d.BlackRadio()->click();
        d.OkButton()->click();
    }));
    EXPECT_EQ(result.CastlingRights & AllCastlingRights, BlackShort | BlackLong);
    EXPECT_EQ(result.Side, -1);
    EXPECT_FALSE(b.NewFischerInfo.Fischer);
}

TEST(Aufbau, EnPassantFileNeedsThePawnAndEmptySquares) {
    TBrett b;
    TZug z;
    b.SetStellung(Stellung({"Ke1", "ke8", "pe5", "Pd5"}), z);
    int moveNo = 0;
    b.OnNewPosition = [&](TBrett*, const TSchachbrett&, const TZug&, int n) { moveNo = n; };
    ASSERT_TRUE(RunSetup(b, false, [](TAufbauDialog& d) {
        d.EpFileBox()->setEditText(QStringLiteral("e"));
        d.OkButton()->click();
    }));
    TZug got;
    b.GetZug(got);
    EXPECT_EQ(got.EnPassant, Sq("e6"));
    EXPECT_EQ(moveNo, 1);

    b.SetStellung(Stellung({"Ke1", "ke8", "pe5", "pe7", "Pd5"}), z);
    ASSERT_TRUE(RunSetup(b, false, [](TAufbauDialog& d) {
        d.EpFileBox()->setEditText(QStringLiteral("E"));
        d.OkButton()->click();
    }));
    b.GetZug(got);
    EXPECT_EQ(got.EnPassant, 0);

    // Black to move: a white pawn on c4, c3 and c2 empty.
    b.SetStellung(Stellung({"Ke1", "ke8", "Pc4", "pd4"}), z);
    ASSERT_TRUE(RunSetup(b, false, [](TAufbauDialog& d) {
        d.BlackRadio()->click();
        d.EpFileBox()->setEditText(QStringLiteral("c"));
        d.OkButton()->click();
    }));
    b.GetZug(got);
    EXPECT_EQ(got.EnPassant, Sq("c3"));
}

TEST(Aufbau, ClearResetAndNoCheck) {
    TBrett b;
    // Without NoCheck an empty board cannot be confirmed.
    EXPECT_FALSE(RunSetup(b, false, [](TAufbauDialog& d) {
        d.ClearButton()->click();
        EXPECT_EQ(On(d, "e1"), 0);
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE(d.CastlingBox(i)->isChecked());
        EXPECT_FALSE(d.OkButton()->isEnabled());
        d.ResetButton()->click();
        EXPECT_EQ(On(d, "e1"), 6);
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(d.CastlingBox(i)->isChecked());
        EXPECT_TRUE(d.OkButton()->isEnabled());
        d.ClearButton()->click();
        d.reject();
    }));
    // With NoCheck it can.
    ASSERT_TRUE(RunSetup(b, true, [](TAufbauDialog& d) {
        d.ClearButton()->click();
        EXPECT_TRUE(d.OkButton()->isEnabled());
        d.OkButton()->click();
    }));
    TSchachbrett s;
    b.GetStellung(s);
    EXPECT_EQ(s, LeeresBrett);
}

TEST(Aufbau, SetupBoardTakesTheCallersStripOrTheBuiltInOne) {
    TBrett plain; // no strip of its own
    TAufbauDialog d1(&plain, false);
    EXPECT_EQ(d1.SetupBoard()->GetFigurenBitmap().size(), QSize(384, 64));
    TBrett big;
    big.SetFiguren(TFigurenset::WinboardF45);
    TAufbauDialog d2(&big, false);
    EXPECT_EQ(d2.SetupBoard()->GetFigurenBitmap(), big.GetFigurenBitmap());
    EXPECT_EQ(d2.SetupBoard()->Groesse(), 32);
    big.AufbauFiguren = true;
    TAufbauDialog d3(&big, false);
    EXPECT_EQ(d3.SetupBoard()->GetFigurenBitmap().size(), QSize(384, 64));
}

TEST(Aufbau, TwoDialogsKeepTheirOwnPieceInHand) {
    TBrett a, b;
    TAufbauDialog da(&a, false);
    TAufbauDialog db(&b, true);
    da.PieceButton(-3)->click();
    EXPECT_EQ(da.AufbauFigur(), -3);
    EXPECT_EQ(db.AufbauFigur(), 6);
    // The caller's own board keeps taking moves while a dialog is open.
    EXPECT_EQ(a.ClickClickPending(), 0);
    a.SetClickClick(true);
    a.MouseDown(Qt::LeftButton, {}, 5, 8 * a.Groesse() - 5);
    EXPECT_EQ(a.ClickClickPending(), Sq("a1"));
}

TEST(Aufbau, Chess960StartGetsAllRightsBeforeTheHostHearsOfIt) {
    TFischerInfo fi;
    fi.Fischer = true;
    TBrett b;
    b.FischerInfo = &fi;
    TSchachbrett start = StandardStellung;
    // Swap king and queen on both back ranks: a Chess960 start.
    std::swap(start[Sq("d1")], start[Sq("e1")]);
    std::swap(start[Sq("d8")], start[Sq("e8")]);
    TZug z;
    z.CastlingRights = 0;
    b.SetStellung(start, z);
    uint8_t heard = 0;
    b.OnNewPosition = [&](TBrett*, const TSchachbrett&, const TZug& zug, int) {
        heard = zug.CastlingRights;
    };
    ASSERT_TRUE(RunSetup(b, false, [](TAufbauDialog& d) { d.OkButton()->click(); }));
    EXPECT_EQ(heard, AllCastlingRights);
    TZug now;
    b.GetZug(now);
    EXPECT_EQ(now.CastlingRights, AllCastlingRights);
}

TEST(Aufbau, CaptionsOfTheBottomRowShowWhole) {
    // Move number and e.p. file: in either language the whole caption has
    // room left of its field, the field overlaps no caption, and all of it
    // stays inside the dialog.
    for (bool english : {false, true}) {
        TBrett b;
        b.English = english;
        TAufbauDialog d(&b, false);
        d.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        const std::pair<QString, QWidget*> rows[] = {
            {english ? "Move number:" : "Zugnummer :", d.MoveNumberEdit()},
            {english ? "  E.p. on line:" : "E.p. auf Linie :", d.EpFileBox()}};
        const QList<QLabel*> labels = d.findChildren<QLabel*>();
        for (const auto& [caption, field] : rows) {
            const QLabel* label = nullptr;
            for (const QLabel* l : labels)
                if (l->text() == caption) label = l;
            ASSERT_NE(label, nullptr) << caption.toStdString();
            const QRect text(label->mapTo(&d, QPoint(0, 0)),
                             QSize(label->fontMetrics().horizontalAdvance(caption),
                                   label->fontMetrics().height()));
            const QRect fieldRect(field->mapTo(&d, QPoint(0, 0)), field->size());
            EXPECT_GE(label->width(), text.width()) << english << caption.toStdString();
            EXPECT_LT(text.right(), fieldRect.left()) << english << caption.toStdString();
            for (const QLabel* l : labels) {
                if (!l->isVisible()) continue;
                const QRect other(l->mapTo(&d, QPoint(0, 0)),
                                  QSize(l->fontMetrics().horizontalAdvance(l->text()),
                                        l->fontMetrics().height()));
                EXPECT_FALSE(other.intersects(fieldRect))
                    << english << " " << l->text().toStdString() << " under a field";
            }
            EXPECT_TRUE(d.rect().contains(fieldRect)) << english << caption.toStdString();
        }
    }
}
