// SPDX-License-Identifier: GPL-3.0-or-later
// The tactics trainer: filter and drawing rules, the menu, and training
// windows that walk the picks without ever writing the file.
#include "Tactics.h"
#include "FrameTestSupport.h"

#include "BrettWin.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include <random>
#include <set>

using namespace frametest;

namespace {

// Seven puzzles; White names the game, the Annotator codes task, level and theme.
const char* const Annotators[] = {"T3A", "T2ZA", "T4H", "T1A", "T3X", "T3A+", ""};
// The task each shows in the training window.
const char* const Tasks[] = {"White to move and win",
                             "White to move and win",
                             "White to move and win",
                             "White to move and win",
                             "White to move and win",
                             "White to move and attains an advantage",
                             ""};
constexpr int PuzzleCount = 7;

std::string Puzzles() {
    std::string s;
    for (int i = 0; i < PuzzleCount; ++i) {
        s += "[Event \"Tactics\"]\r\n[White \"P" + std::to_string(i) + "\"]\r\n[Black \"X\"]\r\n";
        s += "[Result \"1-0\"]\r\n[Annotator \"" + std::string(Annotators[i]) + "\"]\r\n\r\n";
        s += "1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\r\n\r\n";
    }
    return s;
}

class TacticsTest : public FrameTest {
protected:
    void TearDown() override {
        TacticSeed().reset();
        FrameTest::TearDown();
    }
    QAction* Item(const char* Theme, int Level) const {
        return Frame->findChild<QAction*>(QString("%1_%2").arg(Theme).arg(Level));
    }
    // The game number that White "P<i>" names.
    static int PuzzleOf(const std::string& White) { return std::stoi(White.substr(1)); }
    std::set<int> PickedPuzzles() const {
        std::set<int> out;
        for (int row : Frame->TacticPicks) {
            int no = -1;
            std::string text;
            Frame->tacticPGN->GetGame(Frame->tacticPGN->GameIndex(row), no, text);
            out.insert(no);
        }
        return out;
    }
};

} // namespace

TEST(TacticRules, FilterByThemeLetterAndLevelDigit) {
    struct {
        const char* Annotator;
        const char* Theme;
        const char* Level;
        bool Shown;
    } cases[] = {
        {"ZA2", "Z", "1", true},  {"ZA2", "A", "1", true},  {"ZA2", "H", "1", false},
        {"ZA2", "A", "2", false}, {"TA3", "A", "2", true},  {"TH3", "A", "2", false},
        {"TA1", "A", "2", false}, {"TX5", "0", "3", true},  {"TX4", "0", "3", true},
        {"TX3", "0", "3", false}, {"", "0", "0", true},     {"", "A", "0", false},
        {"TA3", "A", "7", false}, {"ta3", "A", "2", false}, // case counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(TacticMatches(c.Annotator, c.Theme, c.Level), c.Shown)
            << c.Annotator << " theme " << c.Theme << " level " << c.Level;
}

TEST(TacticRules, TagGivesThemeAndLevel) {
    int theme = -1, level = -1;
    SplitTacticTag(1, theme, level);
    EXPECT_EQ(theme, 0);
    EXPECT_EQ(level, 1);
    SplitTacticTag(23, theme, level);
    EXPECT_EQ(theme, 2);
    EXPECT_EQ(level, 3);
    SplitTacticTag(94, theme, level);
    EXPECT_EQ(theme, 9);
    EXPECT_EQ(level, 4);
}

TEST(TacticRules, DrawingTakesTheFirstFreeRowOnARepeatAndStopsWhenExhausted) {
    auto scripted = [](std::vector<int> Answers) {
        auto pos = std::make_shared<size_t>(0);
        return [Answers, pos](int) { return Answers[(*pos)++ % Answers.size()]; };
    };
    EXPECT_EQ(DrawTacticPicks(3, scripted({1, 1, 1})), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(DrawTacticPicks(3, scripted({2, 2, 2, 2})), (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(DrawTacticPicks(1, scripted({0})), (std::vector<int>{0}));
    EXPECT_TRUE(DrawTacticPicks(0, scripted({0})).empty());
    EXPECT_EQ(DrawTacticPicks(20, scripted({5, 5, 5, 0})),
              (std::vector<int>{5, 0, 1, 2, 3, 4, 6, 7, 8, 9}));

    const uint32_t seed = std::random_device{}();
    std::mt19937 random(seed);
    for (int round = 0; round < 2000; ++round) {
        const int rows = 1 + round % 40;
        const std::vector<int> picks = DrawTacticPicks(rows, [&random](int n) {
            return std::uniform_int_distribution<int>(0, n - 1)(random);
        });
        const std::set<int> distinct(picks.begin(), picks.end());
        ASSERT_EQ(distinct.size(), picks.size()) << "seed " << seed;
        ASSERT_EQ(picks.size(), static_cast<size_t>(std::min(rows, 10))) << "seed " << seed;
        ASSERT_TRUE(*distinct.rbegin() < rows && *distinct.begin() >= 0) << "seed " << seed;
    }
}

TEST_F(TacticsTest, MenuOnlyWithATacticsFileAndInBothLanguages) {
    WriteIni("");
    Start();
    EXPECT_FALSE(Frame->mKombis->menuAction()->isVisible());
    Frame.reset();
    kbtest::WriteFile(Dir() / "t1.kom", Puzzles());
    TMainForm& f = Start();
    EXPECT_TRUE(f.mKombis->menuAction()->isVisible());

    const QList<QMenu*> themes =
        f.mKombis->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(themes.size(), 10);
    for (int t = 0; t < 10; ++t) {
        const QList<QAction*> items = themes[t]->actions();
        ASSERT_EQ(items.size(), 5);
        EXPECT_TRUE(items[1]->isSeparator());
        EXPECT_EQ(items[0]->data().toInt(), t * 10 + 1);
        EXPECT_EQ(items[4]->data().toInt(), t * 10 + 4);
    }
    f.SelectLanguage(0);
    EXPECT_EQ(themes[4]->title(), "Räumung");
    EXPECT_EQ(themes[4]->actions()[3]->text(), "Mittel");
    f.SelectLanguage(1);
    EXPECT_EQ(f.mKombis->title(), "&Combinations");
    EXPECT_EQ(themes[0]->title(), "Any Theme");
    EXPECT_EQ(themes[9]->title(), "Miscellaneous");
    EXPECT_EQ(themes[2]->actions()[0]->text(), "Any Difficulty");
    EXPECT_EQ(themes[2]->actions()[4]->text(), "Difficult");
}

TEST_F(TacticsTest, ThemeAndLevelChooseThePuzzlesOfTheFirstWindow) {
    kbtest::WriteFile(Dir() / "t1.pgn", Puzzles());
    WriteIni("");
    Start();
    TacticSeed() = 11;
    Item("Ablenkung1", 3)->trigger(); // distraction, medium: "A" and "3"
    EXPECT_EQ(Frame->ThemeCode, "A");
    EXPECT_EQ(Frame->LevelCode, "2");
    EXPECT_EQ(Frame->tacticPGN->ItemCount(), 2);
    EXPECT_EQ(PickedPuzzles(), (std::set<int>{0, 5}));
    ASSERT_EQ(Boards.size(), 1u);
    EXPECT_TRUE(Boards[0]->TrainingMode);
    EXPECT_EQ(Boards[0]->Pgn, Frame->tacticPGN);
    int no = -1;
    std::string first;
    Frame->tacticPGN->GetGame(Frame->tacticPGN->GameIndex(Frame->TacticPicks[0]), no, first);
    EXPECT_EQ(Boards[0]->GameText, first);
    EXPECT_FALSE(Frame->mKombis->isEnabled());

    // An Annotator ZA2 answers the themes Z and A at level easy.
    for (auto [theme, expected] : {std::pair{"BeseitigungderVerteidigung1", std::set<int>{1}},
                                   std::pair{"Ablenkung1", std::set<int>{1, 3}}}) {
        Item(theme, 2)->trigger();
        EXPECT_EQ(PickedPuzzles(), expected) << theme;
    }
    // Any theme, any difficulty: every game of the file.
    Item("BeliebigesThema1", 1)->trigger();
    EXPECT_EQ(Frame->tacticPGN->ItemCount(), PuzzleCount);
    EXPECT_EQ(PickedPuzzles().size(), static_cast<size_t>(PuzzleCount));
}

TEST_F(TacticsTest, NoFileOrNoMatchOpensNothing) {
    WriteIni("");
    Start();
    Item("Ablenkung1", 1)->trigger();
    EXPECT_TRUE(Boards.empty());
    EXPECT_TRUE(Frame->tacticPGN->FileName().empty());
    EXPECT_FALSE(QFileInfo::exists(DirQ() + "/t1.pgn")); // never made

    kbtest::WriteFile(Dir() / "t1.pgn", Puzzles());
    Item("Unterbrechung1", 1)->trigger(); // "U": none
    EXPECT_TRUE(Frame->TacticPicks.empty());
    EXPECT_TRUE(Boards.empty());
    EXPECT_TRUE(Frame->mKombis->isEnabled());
}

TEST_F(TacticsTest, OldFileNameIsTakenOverButNeverReplacesTheNewOne) {
    kbtest::WriteFile(Dir() / "t1.kom", Puzzles());
    WriteIni("");
    Start();
    Item("BeliebigesThema1", 1)->trigger();
    EXPECT_EQ(kbtest::ReadFile(Dir() / "t1.pgn"), Puzzles());
    EXPECT_FALSE(QFileInfo::exists(DirQ() + "/t1.kom"));

    // Both there: the new one is used and the old one stays.
    Frame.reset();
    const std::string one = Puzzles().substr(0, Puzzles().size() / PuzzleCount);
    kbtest::WriteFile(Dir() / "t1.pgn", one);
    kbtest::WriteFile(Dir() / "t1.kom", Puzzles());
    Start();
    Item("BeliebigesThema1", 1)->trigger();
    EXPECT_EQ(Frame->tacticPGN->ItemCount(), 1);
    EXPECT_EQ(Frame->TacticPicks, std::vector<int>{0});
    EXPECT_EQ(kbtest::ReadFile(Dir() / "t1.pgn"), one);
    EXPECT_EQ(kbtest::ReadFile(Dir() / "t1.kom"), Puzzles());
}

// The real board window: opened on the first pick, it walks the others in
// the order drawn, shows each task, and the file stays as it was.
TEST_F(TacticsTest, TrainingWindowWalksThePicksAndNeverWritesTheFile) {
    RegisterProgramWindows();
    kbtest::WriteFile(Dir() / "t1.pgn", Puzzles());
    const QString file = DirQ() + "/t1.pgn";
    const QDateTime modified = QFileInfo(file).lastModified();
    WriteIni("[Options]\r\nEnglish=1\r\n");
    Start();
    TacticSeed() = 3;
    Item("BeliebigesThema1", 1)->trigger();
    const std::vector<int> picks = Frame->TacticPicks;
    ASSERT_EQ(picks.size(), static_cast<size_t>(PuzzleCount));
    const auto boards = Frame->BoardWindows();
    ASSERT_EQ(boards.size(), 1u);
    auto* w = dynamic_cast<TMDIBrett*>(boards[0]);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->IsTraining());
    auto shownRow = [&] {
        const int puzzle = PuzzleOf(w->Notation1->Notation().GameData.EventData.White);
        EXPECT_EQ(w->lForderung->text(), Tasks[puzzle]);
        for (int row = 0; row < PuzzleCount; ++row) {
            int no = -1;
            std::string text;
            Frame->tacticPGN->GetGame(Frame->tacticPGN->GameIndex(row), no, text);
            if (no == puzzle) return row;
        }
        return -1;
    };
    EXPECT_EQ(shownRow(), picks[0]);
    EXPECT_EQ(w->GameNumber(), 0);
    for (size_t k = 1; k <= picks.size(); ++k) {
        w->bNextClick();
        EXPECT_EQ(shownRow(), picks[k % picks.size()]) << "step " << k;
    }
    w->bPrevClick();
    EXPECT_EQ(shownRow(), picks.back());
    // Moves on the board are refused in training, and nothing is saved.
    w->sbSaveClick();
    w->sbReplaceClick();
    Flush();
    w->Window()->parentWidget()->close();
    Flush();
    EXPECT_TRUE(Frame->mKombis->isEnabled());
    EXPECT_EQ(kbtest::ReadFile(Dir() / "t1.pgn"), Puzzles());
    EXPECT_EQ(QFileInfo(file).lastModified(), modified);
}
