// SPDX-License-Identifier: GPL-3.0-or-later
// The selection and the current row of a list window after every change of
// its rows (sort, filter, delete, drop, compress, ECO run): they name the
// games the user chose, or nothing; never whatever game moved into a row.
#include "PGNWinEco.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

namespace {

namespace fs = std::filesystem;

std::string Id(const std::map<std::string, std::string>& T) {
    auto get = [&T](const char* K) {
        auto it = T.find(K);
        return it == T.end() ? std::string() : it->second;
    };
    return get("White") + "|" + get("Black") + "|" + get("Event") + "|" + get("Date") + "|" +
           get("Round");
}

std::string Id(const std::string& Game) {
    return Id(kbtest::TagsOf(Game));
}

// The game a row of the window shows.
std::string RowId(kb::TMDIPGN& W, int Row) {
    kb::TPGN& p = *W.PGN();
    bool deleted = false;
    std::string text;
    p.ReadGameText(p.GameIndex(Row), deleted, text);
    return Id(text);
}

std::set<std::string> SelectedIds(kb::TMDIPGN& W) {
    std::set<std::string> out;
    for (int r : W.SelectedRows())
        out.insert(RowId(W, r));
    return out;
}

std::string CurrentId(kb::TMDIPGN& W) {
    const int r = W.PGN1->ItemIndex();
    return r < 0 ? std::string() : RowId(W, r);
}

class ListSelection : public ::testing::Test {
protected:
    void SetUp() override {
        games_ = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
        games_.resize(24);
        std::set<std::string> ids;
        for (const auto& g : games_)
            ids.insert(Id(g));
        ASSERT_EQ(ids.size(), games_.size()) << "the test needs games told apart by their tags";
    }
    fs::path MakePgn(const std::string& Name, int From, int To) {
        std::string text;
        for (int i = From; i < To; ++i)
            text += games_[static_cast<size_t>(i)] + "\r\n\r\n";
        kbtest::WriteFile(dir_ / Name, text);
        return dir_ / Name;
    }
    std::unique_ptr<kb::TMDIPGN> Show(const fs::path& File) {
        auto w = kbtest::OpenWindow(File);
        w->resize(600, 500);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    // Picks rows by mouse: a click on the first, Ctrl+click on the others;
    // the last one becomes the current row.
    void Pick(kb::TMDIPGN& W, const std::vector<int>& Rows) {
        bool first = true;
        for (int r : Rows) {
            const QRect rect = W.PGN1->visualRect(W.PGN1->model()->index(r, 0));
            ASSERT_TRUE(rect.isValid()) << r;
            QTest::mouseClick(W.PGN1->viewport(), Qt::LeftButton,
                              first ? Qt::KeyboardModifiers() : Qt::ControlModifier, rect.center());
            first = false;
        }
        ASSERT_EQ(W.PGN1->ItemIndex(), Rows.back());
    }
    std::set<std::string> IdsOf(kb::TMDIPGN& W, const std::vector<int>& Rows) {
        std::set<std::string> out;
        for (int r : Rows)
            out.insert(RowId(W, r));
        return out;
    }

    kbtest::THostScope host_;
    kbtest::TempDir dir_;
    std::vector<std::string> games_;
};

TEST_F(ListSelection, PgnSortFilterAndDeleteKeepTheChosenGames) {
    const fs::path file = MakePgn("a.pgn", 0, 24);
    auto w = Show(file);
    std::vector<std::pair<std::string, int>> opened;
    kb::ListHost().OpenBoardWindow = [&](kb::TPGN*, const std::string& Text, int GameNo) {
        opened.emplace_back(Id(Text), GameNo);
    };
    Pick(*w, {1, 4, 7});
    const std::set<std::string> chosen = IdsOf(*w, {1, 4, 7});
    const std::string current = RowId(*w, 7);

    // Sort by players, then the same column again (reversed), then by year:
    // the same games stay selected wherever they went.
    for (int section : {1, 1, 3, 2}) {
        w->HeaderControlSectionClick(section);
        EXPECT_EQ(SelectedIds(*w), chosen) << "section " << section;
        EXPECT_EQ(CurrentId(*w), current) << "section " << section;
        EXPECT_EQ(w->SelectedRows().size(), 3u);
    }
    // The rows really moved (else the test proves nothing).
    EXPECT_NE(IdsOf(*w, {1, 4, 7}), chosen);
    // Enter opens the current game, not whatever game now sits in its old row.
    w->PGN1->setFocus();
    QTest::keyClick(w->PGN1, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, current);

    // A filter that hides some chosen games: only the listed ones stay
    // selected; the hidden ones come back unselected when it is cleared.
    w->sbFilter->click();
    w->cbGewinn->setChecked(true);
    w->bFilterClick();
    std::set<std::string> listed;
    for (int r = 0; r < w->PGN()->ItemCount(); ++r)
        listed.insert(RowId(*w, r));
    ASSERT_LT(listed.size(), games_.size());
    std::set<std::string> stillChosen;
    for (const auto& id : chosen)
        if (listed.count(id)) stillChosen.insert(id);
    EXPECT_EQ(SelectedIds(*w), stillChosen);
    EXPECT_EQ(CurrentId(*w), listed.count(current) ? current : std::string());
    w->bEmptyClick();
    w->bFilterClick();
    EXPECT_EQ(w->PGN()->ItemCount(), 24);
    EXPECT_EQ(SelectedIds(*w), stillChosen);

    // Choose again, sort, and Del: exactly the chosen games leave the file.
    Pick(*w, {0, 5});
    const std::set<std::string> doomed = IdsOf(*w, {0, 5});
    w->HeaderControlSectionClick(5);
    w->HeaderControlSectionClick(1);
    ASSERT_EQ(SelectedIds(*w), doomed);
    host_.Messages.clear();
    w->PGN1->setFocus();
    QTest::keyClick(w->PGN1, Qt::Key_Delete);
    ASSERT_EQ(host_.Messages.size(), 1u);
    std::vector<std::string> want;
    for (const auto& g : games_)
        if (!doomed.count(Id(g))) want.push_back(Id(g));
    std::vector<std::string> left;
    for (const auto& g : kbtest::GamesOfFile(file))
        left.push_back(Id(g));
    EXPECT_EQ(left, want);
    // Nothing is chosen now: Del and Enter do nothing, not even ask.
    EXPECT_TRUE(w->SelectedRows().empty());
    EXPECT_EQ(w->PGN1->ItemIndex(), -1);
    QTest::keyClick(w->PGN1, Qt::Key_Delete);
    QTest::keyClick(w->PGN1, Qt::Key_Return);
    EXPECT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(kbtest::GamesOfFile(file).size(), 22u);
}

TEST_F(ListSelection, DropKeepsTheTargetsChoiceAndEcoRunClearsIt) {
    auto source = Show(MakePgn("s.pgn", 0, 6));
    auto target = Show(MakePgn("t.pgn", 10, 20));
    Pick(*target, {2, 3});
    const std::set<std::string> chosen = IdsOf(*target, {2, 3});
    const std::string current = RowId(*target, 3);
    kbtest::SelectRows(*source, {1, 4});
    target->sbDragInsert->setChecked(true);
    ASSERT_EQ(target->DropFrom(source.get(), 0).Copied, 2);
    // Two games came in before them: the same games, two rows further down.
    EXPECT_EQ(target->SelectedRows(), (std::vector<int>{4, 5}));
    EXPECT_EQ(SelectedIds(*target), chosen);
    EXPECT_EQ(CurrentId(*target), current);
    // The copied rows of the source are deselected one by one.
    EXPECT_TRUE(source->SelectedRows().empty());

    // The ECO run reads the rewritten file afresh: nothing stays chosen.
    kb::TMDIPGN::EcoClassifier() = [](const std::string&) { return std::string("A00"); };
    target->bECOClick();
    kb::TMDIPGN::EcoClassifier() = kb::ClassifyByTable;
    ASSERT_EQ(target->PGN()->ItemCount(), 12);
    EXPECT_EQ(kbtest::TagsOf(kbtest::GamesOfFile(dir_ / "t.pgn")[4])["ECO"], "A00");
    EXPECT_TRUE(target->SelectedRows().empty());
    EXPECT_EQ(target->PGN1->ItemIndex(), -1);
}

TEST_F(ListSelection, DatabaseDeleteFollowsAndCompressClears) {
    // A database of 8 games, filled through a PGN list.
    auto src = kbtest::OpenWindow(MakePgn("src.pgn", 0, 8));
    const fs::path dbFile = dir_ / "games.kbf";
    {
        auto db = kbtest::OpenWindow(dbFile);
        ASSERT_TRUE(db->PGN()->IsDatabase());
        ASSERT_EQ(kb::copyGames(*src->PGN(), {0, 1, 2, 3, 4, 5, 6, 7}, *db->PGN(), -1).Copied, 8);
    }
    auto w = Show(dbFile);
    ASSERT_EQ(w->PGN()->ItemCount(), 8);
    Pick(*w, {2, 6});
    const std::set<std::string> chosen = IdsOf(*w, {2, 6});
    w->HeaderControlSectionClick(1);
    w->HeaderControlSectionClick(1);
    EXPECT_EQ(SelectedIds(*w), chosen);
    EXPECT_EQ(CurrentId(*w), RowId(*w, w->PGN1->ItemIndex()));
    EXPECT_NE(IdsOf(*w, {2, 6}), chosen);

    // Deleted database games keep their rows, struck out, and stay chosen.
    w->sbDeleteGameClick();
    EXPECT_EQ(w->PGN()->ItemCount(), 8);
    EXPECT_EQ(SelectedIds(*w), chosen);
    for (int r : w->SelectedRows()) {
        w->PGN()->ReadHeader(w->PGN()->GameIndex(r));
        EXPECT_TRUE(w->PGN()->GameHeader().Deleted) << r;
    }
    // Back in file order: still the same two.
    w->HeaderControlSectionClick(0);
    EXPECT_EQ(w->SelectedRows(), (std::vector<int>{2, 6}));

    // Compressing renumbers the games: rows 2 and 6 now hold others, and
    // nothing may stay chosen.
    w->bCompressClick();
    ASSERT_EQ(w->PGN()->ItemCount(), 6);
    EXPECT_TRUE(w->SelectedRows().empty());
    EXPECT_EQ(w->PGN1->ItemIndex(), -1);
    host_.Messages.clear();
    w->PGN1->setFocus();
    QTest::keyClick(w->PGN1, Qt::Key_Delete);
    EXPECT_TRUE(host_.Messages.empty());
}

} // namespace
