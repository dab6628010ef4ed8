// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's own commands as they reach real board and list windows: the
// language menu and the letters and signs dialog.
#include "BoardWindowSupport.h"
#include "FrameStartup.h"
#include "Local.h"
#include "Main.h"
#include "PGNWin.h"
#include "TestSupport.h"
#include "UPieces.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>

#include <filesystem>

using namespace bwtest;

namespace {

class FrameShell : public TFrameTest {
protected:
    void SetUp() override {
        TFrameTest::SetUp();
        kbtest::WriteFile(Dir / "Kestrelbay.ini", "[Options]\nEnglish=0\n");
    }
    // The frame on the file's third game: a list window and a board window.
    void Start() {
        Frame = std::make_unique<TMainForm>(QString::fromStdString(Dir.path().string()),
                                            QStringList{QString::fromStdString(File), "2"});
        Frame->resize(1200, 800);
        Frame->show();
        ASSERT_TRUE(kbtest::WaitForStartup(*Frame));
        ASSERT_EQ(Frame->BoardWindows().size(), 1u);
        ASSERT_EQ(Frame->ListWindows().size(), 1u);
        Board = dynamic_cast<TMDIBrett*>(Frame->BoardWindows().front());
        List = dynamic_cast<kb::TMDIPGN*>(Frame->ListWindows().front());
        ASSERT_TRUE(Board && List);
    }
    // Chooses a language as the user does, through its menu item.
    void ChooseLanguage(const QString& Name) {
        for (QAction* a : Frame->mSprache->actions()) {
            const QString file = LanguageItemFile(a);
            const QString name = file.isEmpty() ? "Deutsch" : QFileInfo(file).completeBaseName();
            if (a->isCheckable() && name == Name) {
                a->trigger();
                return;
            }
        }
        ADD_FAILURE() << "no language item " << Name.toStdString();
    }
    std::string NotationText() { return Board->Notation1->Notation().GetText(); }

    TMDIBrett* Board = nullptr;
    kb::TMDIPGN* List = nullptr;
};

// A knight move in the given letter, e.g. "Nf3", "Sxe5", "Nbd2".
bool HasKnightMove(const std::string& Text, char Letter) {
    const QRegularExpression re(QString("(^|[ .])%1[a-h1-8]?x?[a-h][1-8]").arg(QChar(Letter)));
    return re.match(QString::fromStdString(Text)).hasMatch();
}

} // namespace

TEST_F(FrameShell, LanguageReachesTheComponentsOfOpenWindows) {
    Start();
    ASSERT_EQ(LanguageColumn, 0);
    EXPECT_FALSE(Board->Notation1->English());
    ASSERT_TRUE(HasKnightMove(NotationText(), 'S'));
    ASSERT_FALSE(HasKnightMove(NotationText(), 'N'));

    ChooseLanguage("English");
    ASSERT_EQ(LanguageColumn, 1);
    EXPECT_TRUE(Board->Notation1->English());
    EXPECT_TRUE(Board->Brett1->English); // the setup dialog
    EXPECT_TRUE(Board->MMCheck.English); // the engine trace
    EXPECT_TRUE(List->SearchBrett->English);
    EXPECT_TRUE(HasKnightMove(NotationText(), 'N'));
    EXPECT_FALSE(HasKnightMove(NotationText(), 'S'));
    EXPECT_EQ(Frame->mOptions->title(), Text(25));

    // A window opened now starts in the language, too.
    Frame->mGameOpenClick();
    auto* fresh = dynamic_cast<TMDIBrett*>(Frame->BoardWindows().front());
    ASSERT_TRUE(fresh && fresh != Board);
    EXPECT_TRUE(fresh->Notation1->English());
    EXPECT_TRUE(fresh->Brett1->English);

    ChooseLanguage("Deutsch");
    ASSERT_EQ(LanguageColumn, 0);
    for (TMDIBrett* b : {Board, fresh}) {
        EXPECT_FALSE(b->Notation1->English());
        EXPECT_FALSE(b->Brett1->English);
        EXPECT_FALSE(b->MMCheck.English);
    }
    EXPECT_FALSE(List->SearchBrett->English);
    EXPECT_TRUE(HasKnightMove(NotationText(), 'S'));
    EXPECT_EQ(Frame->mOptions->title(), "&Optionen");
}

// The letters and signs dialog: its letters reach the notation of every open
// board window, and a board window opened afterwards starts with them.
TEST_F(FrameShell, LettersReachOpenAndNewBoards) {
    Start();
    A.Dialog = [](QDialog& D) {
        auto* p = dynamic_cast<TfrmPieces*>(&D);
        if (!p) return int(mrCancel);
        p->fEdit[4]->setText(" Sp ");
        return int(mrOk);
    };
    Frame->mFontClick();
    EXPECT_EQ(Frame->figN, "Sp");
    ASSERT_EQ(Frame->InformantSigns.size(), 19u);
    // The notation shows letters upper-cased; the plain knight letter is gone.
    EXPECT_FALSE(HasKnightMove(NotationText(), 'S')) << NotationText();
    EXPECT_TRUE(QRegularExpression("[ .]SP[a-h1-8]?x?[a-h][1-8]")
                    .match(QString::fromStdString(NotationText()))
                    .hasMatch())
        << NotationText();

    Frame->mGameOpenClick();
    auto* fresh = dynamic_cast<TMDIBrett*>(Frame->BoardWindows().front());
    ASSERT_TRUE(fresh && fresh != Board);
    fresh->Brett1->Animation = 0;
    Drag(*fresh, "g1", "f3");
    EXPECT_NE(fresh->Notation1->Notation().GetText().find("SPf3"), std::string::npos)
        << fresh->Notation1->Notation().GetText();

    // Cancelled: nothing changes.
    A.Dialog = [](QDialog& D) {
        if (auto* p = dynamic_cast<TfrmPieces*>(&D)) p->fEdit[4]->setText("X");
        return int(mrCancel);
    };
    Frame->mFontClick();
    EXPECT_EQ(Frame->figN, "Sp");
}

// Closing the frame while a new game is unsaved: the question comes while
// every window is still open, Cancel keeps them all and writes nothing, and
// No then closes them without asking a second time.
TEST_F(FrameShell, CloseAsksEveryWindowBeforeAnyCloses) {
    Start();
    const std::string iniBefore = kbtest::ReadFile(Dir / "Kestrelbay.ini");
    const std::string fileBefore = kbtest::ReadFile(File);
    Frame->mGameOpenClick();
    auto* fresh = dynamic_cast<TMDIBrett*>(Frame->BoardWindows().front());
    ASSERT_TRUE(fresh && fresh != Board);
    fresh->Brett1->Animation = 0;
    Drag(*fresh, "e2", "e4");
    ASSERT_TRUE(fresh->Notation1->Notation().Modified);
    // The list is asked first (longest inactive) and refuses nothing.
    A.Replies = {mrCancel};
    EXPECT_FALSE(Frame->close());
    QCoreApplication::processEvents();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(Frame->MdiChildren().size(), 3u);
    EXPECT_EQ(Frame->ListWindows().size(), 1u);
    EXPECT_EQ(Frame->BoardWindows().size(), 2u);
    EXPECT_FALSE(Frame->IsClosing());
    EXPECT_EQ(kbtest::ReadFile(Dir / "Kestrelbay.ini"), iniBefore);
    EXPECT_EQ(kbtest::ReadFile(File), fileBefore);
    // Still a working window: the move stands and the next one is taken.
    Drag(*fresh, "e7", "e5");
    EXPECT_NE(fresh->Notation1->Notation().GetText().find("e5"), std::string::npos);

    A.Replies = {mrNo};
    EXPECT_TRUE(Frame->close());
    EXPECT_EQ(A.Messages.size(), 2u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Frame->MdiChildren().empty());
    EXPECT_EQ(kbtest::ReadFile(File), fileBefore);
    EXPECT_NE(kbtest::ReadFile(Dir / "Kestrelbay.ini"), iniBefore);
}

// The frames of the last move go as soon as the mouse moves over the board,
// no button held.
TEST_F(FrameShell, MouseOverTheBoardClearsTheLastMoveFrames) {
    Start();
    Frame->mShowLastMove->setChecked(true);
    Board->Brett1->Animation = 0;
    Board->Notation1->Notation().GotoStart();
    Board->sbAheadClick();
    ASSERT_GE(Board->FMarkFrom, 0);
    const int32_t from = Board->FMarkFrom;
    const int sq = (from / 10 - 2) * 8 + (from % 10 - 1);
    const QRect r = Board->Brett1->SquareRect(sq);
    const QPoint edge(r.left() + 1, r.center().y());
    ASSERT_EQ(Board->Brett1->Picture().pixelColor(edge), Board->Brett1->MarkColor);

    QTest::mouseMove(Board->Brett1, Board->Brett1->SquareRect(27).center());
    EXPECT_EQ(Board->FMarkFrom, -1);
    EXPECT_EQ(Board->FMarkTo, -1);
    EXPECT_NE(Board->Brett1->Picture().pixelColor(edge), Board->Brett1->MarkColor);
}

// The render runs where nobody answers a question: a game that does not read
// to its end and a file that is missing still give a picture, and the
// render creates no file.
TEST(FrameShellRender, AppPngAnswersQuestionsAndCreatesNothing) {
    kbtest::TempDir dir;
    const std::string broken = (dir / "broken.pgn").string();
    kbtest::WriteFile(broken,
                      "[Event \"E\"]\n[White \"A\"]\n[Black \"B\"]\n\n1. e4 e5 2. Qxf7 *\n");
    const std::string missing = (dir / "missing.pgn").string();
    const std::string png = (dir / "out.png").string();
    const auto run = [&](const std::string& File) {
        return kbtest::Run(
            {"timeout", "120", kbtest::BenchPath(), "app-png", png, "900", "600", File, "0"});
    };
    const kbtest::RunResult b = run(broken);
    ASSERT_EQ(b.exitCode, 0) << b.out;
    EXPECT_NE(b.out.find("board\tA - B\t"), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("list\t" + broken + "\t"), std::string::npos) << b.out;
    EXPECT_TRUE(std::filesystem::exists(png));

    const kbtest::RunResult m = run(missing);
    ASSERT_EQ(m.exitCode, 0) << m.out;
    EXPECT_EQ(m.out.find("list\t"), std::string::npos) << m.out;
    EXPECT_FALSE(std::filesystem::exists(missing));
}
