// SPDX-License-Identifier: GPL-3.0-or-later
// Saving from the board window into real game lists over temporary copies of
// the shared files, replacing, failures, training games and closing.
#include "BoardWindowSupport.h"
#include "BrettWinFrame.h"
#include "FaultyFileSystem.h"
#include "Local.h"
#include "PGNSave.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <filesystem>

using namespace bwtest;

namespace {

class BoardWindowSave : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStringTable();
        LanguageColumn = 1;
        A.Dialog = [this](QDialog& D) {
            ++Dialogs;
            if (auto* s = dynamic_cast<TfPGNSave*>(&D)) {
                if (OnSaveDialog) OnSaveDialog(*s);
                s->bOkClick();
                return s->result() == QDialog::Accepted ? int(mrOk) : int(mrCancel);
            }
            return int(mrCancel);
        };
        W = NewWindow();
    }
    void TearDown() override {
        if (W) W->Notation1->Notation().SetModified(false);
        delete W.data();
        QApplication::processEvents();
    }
    std::string Copy(const std::string& Name) {
        const auto to = Dir / Name;
        std::filesystem::copy_file(kbtest::TestData("pgn/" + Name), to);
        return to.string();
    }
    void PlayOpening() {
        Drag(*W, "e2", "e4");
        Drag(*W, "c7", "c5");
        Drag(*W, "g1", "f3");
    }
    kbtest::TempDir Dir;
    TAnswers A;
    TAnswerScope Scope{A};
    int Dialogs = 0;
    std::function<void(TfPGNSave&)> OnSaveDialog;
    QPointer<TMDIBrett> W;
};

} // namespace

TEST_F(BoardWindowSave, WithoutAnOpenListSaysSoAndShowsNoDialog) {
    PlayOpening();
    W->sbSaveClick();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(A.Messages[0], bw::Text(2));
    EXPECT_EQ(Dialogs, 0);
    EXPECT_TRUE(W->Notation1->Notation().Modified);
}

// Appends to the list, binds the window to the new game, then replaces it.
// Reads the file back through the list itself, which holds it open.
static void SaveThenReplace(TMDIBrett& W, TTestListWindow& L, const std::string& Path,
                            TAnswers& A) {
    const auto read = [&L] { return ReadGames(L.List->PGN()); };
    const std::vector<std::string> before = read();
    W.sbSaveClick();
    ASSERT_TRUE(A.Messages.empty()) << A.Messages[0].toStdString();
    std::vector<std::string> after = read();
    ASSERT_EQ(after.size(), before.size() + 1);
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i], before[i]) << i;
    EXPECT_NE(after.back().find("Kasparov"), std::string::npos);
    EXPECT_NE(after.back().find("c5"), std::string::npos);
    EXPECT_EQ(W.SourcePGN(), &L.List->PGN());
    EXPECT_GE(W.GameNumber(), 0);
    EXPECT_FALSE(W.sbReplace->isEnabled());
    EXPECT_FALSE(W.Notation1->Notation().Modified);
    EXPECT_TRUE(W.bNext->isEnabled());
    EXPECT_EQ(bw::SaveDataBase(), bw::HistoryEntry(QString::fromStdString(Path)));

    Drag(W, "d7", "d6");
    ASSERT_TRUE(W.sbReplace->isEnabled());
    W.sbReplaceClick();
    ASSERT_TRUE(A.Messages.empty());
    after = read();
    ASSERT_EQ(after.size(), before.size() + 1);
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i], before[i]) << i;
    EXPECT_NE(after.back().find("d6"), std::string::npos);
    EXPECT_FALSE(W.sbReplace->isEnabled());
}

TEST_F(BoardWindowSave, AppendAndReplaceInAPgnFile) {
    const std::string path = Copy("Korchnoi.pgn");
    TTestListWindow list;
    ASSERT_FALSE(list.OpenFile(QString::fromStdString(path)).isEmpty());
    OnSaveDialog = [](TfPGNSave& D) {
        EXPECT_TRUE(D.SaveTargetShown());
        EXPECT_EQ(D.cbFileName->count(), 1);
        D.eWeiss->setText("Kasparov");
    };
    PlayOpening();
    const std::vector<std::string> before = ReadGames(path);
    SaveThenReplace(*W, list, path, A);
    EXPECT_TRUE(W->windowTitle().startsWith("Kasparov - "));
    // The file itself, read by a list of its own.
    const std::vector<std::string> after = ReadGames(path);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_NE(after.back().find("d6"), std::string::npos);
}

TEST_F(BoardWindowSave, AppendAndReplaceInADatabase) {
    const std::string pgn = Copy("molinari-bordais-1979.pgn");
    const std::string kbf = (Dir / "games.kbf").string();
    const kbtest::RunResult r = kbtest::Run({kbtest::BenchPath(), "db-import", pgn, kbf});
    ASSERT_EQ(r.exitCode, 0);
    TTestListWindow list;
    ASSERT_FALSE(list.OpenFile(QString::fromStdString(kbf)).isEmpty());
    ASSERT_TRUE(list.List->PGN().IsDatabase());
    OnSaveDialog = [](TfPGNSave& D) { D.eWeiss->setText("Kasparov"); };
    PlayOpening();
    SaveThenReplace(*W, list, kbf, A);
    // Closed and opened again, the database holds the same games.
    const std::vector<std::string> open = ReadGames(list.List->PGN());
    delete W.data();
    list.List->PGN().Close();
    const std::vector<std::string> reread = ReadGames(kbf);
    EXPECT_EQ(reread, open);
    EXPECT_EQ(reread.size(), 2u);
}

TEST_F(BoardWindowSave, FailedAppendLeavesFileAndBindingAlone) {
    const std::string path = Copy("Korchnoi.pgn");
    const std::string bytes = kbtest::ReadFile(path);
    TTestListWindow list;
    ASSERT_FALSE(list.OpenFile(QString::fromStdString(path)).isEmpty());
    // A full disk: every write that needs room fails.
    kb::TFaultyFileSystem io;
    list.List->PGN().SetFileSystem(&io);
    io.NoSpace = true;
    PlayOpening();
    W->sbSaveClick();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(A.Messages[0], bw::Text(19));
    EXPECT_EQ(kbtest::ReadFile(path), bytes);
    EXPECT_EQ(W->SourcePGN(), nullptr);
    EXPECT_EQ(W->GameNumber(), -1);
    EXPECT_TRUE(W->Notation1->Notation().Modified);
    // A later replace is no replace of game -1: it asks for a list again
    // and fails the same way, the file untouched.
    A.Messages.clear();
    W->sbReplaceClick();
    EXPECT_EQ(kbtest::ReadFile(path), bytes);
    list.List->PGN().SetFileSystem(nullptr);
}

TEST_F(BoardWindowSave, ListClosedWhileTheDialogIsOpenReportsAnError) {
    const std::string path = Copy("Korchnoi.pgn");
    const std::string bytes = kbtest::ReadFile(path);
    auto* list = new TTestListWindow;
    ASSERT_FALSE(list->OpenFile(QString::fromStdString(path)).isEmpty());
    OnSaveDialog = [&list](TfPGNSave&) {
        delete list;
        list = nullptr;
    };
    PlayOpening();
    W->sbSaveClick();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(A.Messages[0], bw::Text(19));
    EXPECT_EQ(kbtest::ReadFile(path), bytes);
    EXPECT_EQ(W->SourcePGN(), nullptr);
}

TEST_F(BoardWindowSave, GameDataDialogChangesTheHeader) {
    OnSaveDialog = [](TfPGNSave& D) {
        EXPECT_FALSE(D.SaveTargetShown());
        D.eWeiss->setText("Anand");
        D.eSchwarz->setText("Topalov");
        D.seRunde->setValue(12);
        D.rbRemis->setChecked(true);
    };
    W->mGameDataClick();
    const kb::TEventData& e = W->Notation1->Notation().GameData.EventData;
    EXPECT_EQ(e.White, "Anand");
    EXPECT_EQ(e.Black, "Topalov");
    EXPECT_EQ(e.Round, 12);
    EXPECT_EQ(e.Result, "1/2-1/2");
    EXPECT_EQ(W->windowTitle(), "Anand - Topalov");
    EXPECT_TRUE(W->sbReplace->isEnabled());
    EXPECT_TRUE(W->Notation1->Notation().Modified);
}

TEST_F(BoardWindowSave, GameDataDialogShowsARoundTheNumberCannotSay) {
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_EQ(n.LoadPGN("[Event \"E\"]\r\n[Round \"3.2\"]\r\n\r\n1. e4 *\r\n"), 0);
    QString shown;
    OnSaveDialog = [&shown](TfPGNSave& D) { shown = D.seRunde->text(); };
    W->mGameDataClick();
    EXPECT_EQ(shown, "3.2");
    std::string text;
    ASSERT_EQ(n.GetPGN(text), 0);
    EXPECT_NE(text.find("[Round \"3.2\"]"), std::string::npos) << text;

    OnSaveDialog = [](TfPGNSave& D) { D.seRunde->setValue(4); };
    W->mGameDataClick();
    ASSERT_EQ(n.GetPGN(text), 0);
    EXPECT_NE(text.find("[Round \"4\"]"), std::string::npos) << text;
}

TEST_F(BoardWindowSave, TrainingGamesAreNeverWritten) {
    const std::string path = Copy("Korchnoi.pgn");
    const std::string bytes = kbtest::ReadFile(path);
    TTestListWindow list;
    ASSERT_FALSE(list.OpenFile(QString::fromStdString(path)).isEmpty());
    kb::TPGN& pgn = list.List->PGN();
    int no = -1;
    std::string text;
    pgn.GetGame(pgn.GameIndex(0), no, text);
    delete W.data();
    W = new TMDIBrett;
    W->show();
    W->StartGame(&pgn, text, no, false, true);
    EXPECT_FALSE(W->sbReplace->isEnabled());
    EXPECT_FALSE(W->sbSave->isEnabled());
    EXPECT_FALSE(W->bNew->isEnabled());
    EXPECT_FALSE(W->Brett1->Ziehenmoeglich);
    W->Notation1->Notation().SetModified(true);
    W->sbReplaceClick();
    W->sbSaveClick();
    EXPECT_TRUE(W->AskSaveGame());
    W->bNewClick();
    EXPECT_TRUE(A.Messages.empty());
    EXPECT_EQ(Dialogs, 0);
    EXPECT_EQ(kbtest::ReadFile(path), bytes);
}

TEST_F(BoardWindowSave, ClosingAChangedGameAsks) {
    PlayOpening();
    A.Replies = {mrCancel};
    EXPECT_FALSE(W->close());
    EXPECT_EQ(A.Messages.size(), 1u);
    EXPECT_TRUE(A.Messages[0].endsWith(bw::Text(21)));
    EXPECT_TRUE(A.Messages[0].startsWith(W->windowTitle()));
    A.Replies = {mrNo};
    EXPECT_TRUE(W->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(W.isNull());
}
