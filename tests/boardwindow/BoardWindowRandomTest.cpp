// SPDX-License-Identifier: GPL-3.0-or-later
// A seeded random session of user actions on one board window. After every
// step the board shows the notation's current position and the caption
// names the players.
#include "BoardWindowSupport.h"
#include "Local.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>

#include <chrono>
#include <random>

using namespace bwtest;

namespace {

struct TMoveChoice {
    int32_t From = 0, To = 0;
};

// The legal moves of the board's position (rules core as the judge).
std::vector<TMoveChoice> LegalMoves(TMDIBrett& W) {
    std::vector<TMoveChoice> out;
    kb::TSchachbrett b;
    kb::TZug z;
    W.Brett1->GetStellung(b);
    W.Brett1->GetZug(z);
    const kb::TFischerInfo* fi = W.Brett1->FischerInfo;
    for (int f = 0; f < 64; ++f) {
        const int32_t from = kb::Index64To120(static_cast<uint8_t>(f));
        if (b[from] * z.Side <= 0) continue;
        for (int t = 0; t < 64; ++t) {
            const int32_t to = kb::Index64To120(static_cast<uint8_t>(t));
            if (b[to] * z.Side > 0) continue; // own piece: Chess960 castling needs Ctrl
            kb::TZug m = z;
            m.From = from;
            m.To = to;
            m.CastlingKind = 0;
            if (kb::IsLegalMove(b, m, fi)) out.push_back({from, to});
        }
    }
    return out;
}

const char* SquareName(int32_t Index) {
    return kb::FeldNamen[kb::Index120To64(static_cast<uint8_t>(Index))];
}

} // namespace

TEST(BoardWindowRandom, SessionKeepsBoardNotationAndCaptionTogether) {
    ResetStringTable();
    LanguageColumn = 1;
    TAnswers A;
    A.Dialog = [](QDialog& D) {
        // The promotion choice: a queen; every other dialog is cancelled.
        if (D.objectName() == "Umwandlung") return 5;
        return int(mrCancel);
    };
    TAnswerScope scope(A);
    const unsigned seed =
        std::getenv("KB_SEED")
            ? static_cast<unsigned>(std::atoi(std::getenv("KB_SEED")))
            : static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    SCOPED_TRACE("seed " + std::to_string(seed) + " (set KB_SEED to repeat)");
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

    const std::vector<std::string> games = ReadGames(kbtest::TestData("pgn/Korchnoi.pgn").string());
    ASSERT_FALSE(games.empty());
    QPointer<TMDIBrett> w = NewWindow();
    TFixedChooser chooser;
    w->Notation1->Notation().Chooser = &chooser;
    const kb::TNewMoveChoice choices[] = {kb::TNewMoveChoice::NewVariation,
                                          kb::TNewMoveChoice::Overwrite,
                                          kb::TNewMoveChoice::Replace, kb::TNewMoveChoice::Cancel};
    std::string log;
    for (int step = 0; step < 400; ++step) {
        A.Replies = {mrNo}; // "save the changed game?": no
        chooser.Choice = choices[pick(4)];
        const int action = pick(16);
        log += std::to_string(action) + " ";
        switch (action) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const auto moves = LegalMoves(*w);
            if (moves.empty()) break;
            const TMoveChoice m = moves[static_cast<size_t>(pick(static_cast<int>(moves.size())))];
            if (action == 3) {
                w->Brett1->SetClickClick(true);
                const QPoint f = w->Brett1->SquareRect(kb::Index120To64(m.From)).center();
                const QPoint t = w->Brett1->SquareRect(kb::Index120To64(m.To)).center();
                QTest::mouseClick(w->Brett1, Qt::LeftButton, {}, f);
                QTest::mouseClick(w->Brett1, Qt::LeftButton, {}, t);
                w->Brett1->SetClickClick(false);
            } else {
                Drag(*w, SquareName(m.From), SquareName(m.To),
                     action == 2 ? Qt::ControlModifier : Qt::KeyboardModifiers());
            }
            break;
        }
        case 4:
            w->sbBackClick();
            break;
        case 5:
            w->sbAheadClick();
            break;
        case 6:
            pick(2) ? w->sbPrevClick() : w->sbNextClick();
            break;
        case 7:
            w->bNextMainClick();
            break;
        case 8:
            pick(2) ? w->SetMoveGlyph("!?") : w->SetPositionGlyph(kb::TNotation::NagNumbers[0]);
            break;
        case 9:
            pick(2) ? w->mPrevClick() : w->mNextClick();
            break;
        case 10:
            pick(2) ? w->bUndoClick() : w->bDeleteClick();
            break;
        case 11:
            QGuiApplication::clipboard()->setText(QString::fromStdString(
                games[static_cast<size_t>(pick(static_cast<int>(games.size())))]));
            w->mPGNInsertClick();
            break;
        case 12:
            if (pick(3) == 0) w->lFRC->setVisible(!w->lFRC->isVisible());
            w->bNewClick();
            break;
        case 13:
            w->mDrehenClick();
            break;
        case 14:
            w->SetBoardPaneWidth(60 + pick(700));
            break;
        case 15:
            w->mAufwertenClick();
            break;
        }
        ASSERT_FALSE(w.isNull());
        ASSERT_EQ(BoardOf(*w), NotationBoard(*w)) << "step " << step << " actions " << log;
        const kb::TEventData& e = w->Notation1->Notation().GameData.EventData;
        ASSERT_EQ(w->windowTitle().toStdString(), e.White + " - " + e.Black) << "step " << step;
    }
    w->Notation1->Notation().SetModified(false);
    delete w.data();
}
