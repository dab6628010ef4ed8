// SPDX-License-Identifier: GPL-3.0-or-later
// Filters and sorting of the list window on real games, against a plain scan
// of the headers done here and, for the position filter, pgn-extract.
#include "Brett.h"
#include "PGNCopy.h"
#include "PGNWinEco.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"
#include "UfrmMaterial.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace {

using Tags = std::map<std::string, std::string>;

std::string Upper(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool Contains(const std::string& Hay, const std::string& Needle) {
    return Upper(Hay).find(Upper(Needle)) != std::string::npos;
}

int Year(const Tags& T) {
    auto it = T.find("Date");
    return it == T.end() ? 0 : std::atoi(it->second.c_str());
}

std::string Key(const Tags& T) {
    auto get = [&](const char* k) {
        auto it = T.find(k);
        return it == T.end() ? std::string() : it->second;
    };
    return get("White") + "|" + get("Black") + "|" + get("Event") + "|" + get("Date") + "|" +
           get("Round");
}

class ListFilter : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = dir_ / "carlsen.pgn";
        kbtest::WriteFile(file_, kbtest::ReadFile(kbtest::TestData("pgn/Carlsen.pgn")));
        all_.clear();
        for (const auto& g : kbtest::GamesOfFile(file_))
            all_.push_back(kbtest::TagsOf(g));
        w_ = kbtest::OpenWindow(file_);
        ASSERT_EQ(w_->PGN()->ItemCount(), static_cast<int>(all_.size()));
        w_->sbFilter->setChecked(true);
        w_->sbFilterClick();
    }

    // The rows after filtering equal the games the predicate keeps, in
    // file order.
    void ExpectFilter(const std::function<bool(const Tags&)>& Keep, const char* What) {
        w_->bFilterClick();
        std::vector<std::string> expected, shown;
        for (const auto& t : all_)
            if (Keep(t)) expected.push_back(Key(t));
        for (const auto& t : kbtest::ShownTags(*w_))
            shown.push_back(Key(t));
        EXPECT_EQ(shown.size(), expected.size()) << What;
        EXPECT_TRUE(shown == expected) << What;
        EXPECT_GT(expected.size(), 0u) << What;
    }

    kbtest::THostScope host_;
    kbtest::TempDir dir_;
    std::filesystem::path file_;
    std::vector<Tags> all_;
    std::unique_ptr<kb::TMDIPGN> w_;
};

TEST_F(ListFilter, HeaderCriteriaMatchAPlainScan) {
    ExpectFilter([](const Tags&) { return true; }, "nothing set");
    EXPECT_EQ(w_->PGN()->ItemCount(), static_cast<int>(all_.size()));

    w_->eSpieler->setText(QStringLiteral("carlsen"));
    w_->rbWeiss->setChecked(true);
    ExpectFilter([](const Tags& t) { return Contains(t.at("White"), "carlsen"); }, "white");

    // A blank around the pattern is no part of it.
    w_->eSpieler->setText(QStringLiteral(" Carlsen "));
    w_->rbSchwarz->setChecked(true);
    ExpectFilter([](const Tags& t) { return Contains(t.at("Black"), "carlsen"); }, "black");

    w_->eSpieler->setText(QStringLiteral("nakamura"));
    w_->rbBeide->setChecked(true);
    ExpectFilter(
        [](const Tags& t) {
            return Contains(t.at("White"), "nakamura") || Contains(t.at("Black"), "nakamura");
        },
        "both");

    w_->bEmptyClick();
    w_->eEreignis->setText(QStringLiteral("wijk"));
    ExpectFilter(
        [](const Tags& t) {
            return Contains(t.at("Event"), "wijk") || Contains(t.at("Site"), "wijk") ||
                   (t.count("Annotator") && Contains(t.at("Annotator"), "wijk"));
        },
        "event");

    w_->bEmptyClick();
    w_->eECO->setText(QStringLiteral("b9"));
    ExpectFilter([](const Tags& t) { return t.count("ECO") && Contains(t.at("ECO"), "b9"); },
                 "eco");

    w_->bEmptyClick();
    w_->cbZeitraum->setChecked(true);
    w_->seAYear->setValue(2005);
    w_->seEYear->setValue(2007);
    ExpectFilter([](const Tags& t) { return Year(t) >= 2005 && Year(t) <= 2007; }, "years");

    // Decisive games only.
    w_->bEmptyClick();
    w_->cbGewinn->setChecked(true);
    w_->cbVerlust->setChecked(true);
    ExpectFilter([](const Tags& t) { return t.at("Result") == "1-0" || t.at("Result") == "0-1"; },
                 "decisive");

    // Criteria are ANDed.
    w_->eSpieler->setText(QStringLiteral("carlsen"));
    w_->rbWeiss->setChecked(true);
    w_->cbZeitraum->setChecked(true);
    w_->seAYear->setValue(2010);
    w_->seEYear->setValue(2014);
    ExpectFilter(
        [](const Tags& t) {
            return Contains(t.at("White"), "carlsen") && t.at("Result") != "1/2-1/2" &&
                   t.at("Result") != "*" && Year(t) >= 2010 && Year(t) <= 2014;
        },
        "and");

    // The filter button up: every game again.
    w_->sbFilter->setChecked(false);
    ExpectFilter([](const Tags&) { return true; }, "filter off");
}

TEST_F(ListFilter, PositionFilterAgreesWithPgnExtract) {
    KB_REQUIRE_PEER(extract, "pgn-extract");
    kbtest::TempDir tmp;
    kbtest::WriteFile(tmp / "t.txt", "FENPattern \"*/*/*/*/*/*/*/?????RK?\"\n");
    auto r = kbtest::Run({extract, "-s", "-t" + (tmp / "t.txt").string(),
                          "-o" + (tmp / "out.pgn").string(), file_.string()});
    ASSERT_EQ(r.exitCode, 0);
    std::vector<std::string> expected;
    for (const auto& g : kbtest::GamesOfFile(tmp / "out.pgn"))
        expected.push_back(Key(kbtest::TagsOf(g)));
    ASSERT_GT(expected.size(), 100u);

    // White king on g1 and rook on f1, every other square open.
    kb::TSchachbrett b = kb::LeeresBrett;
    b[27] = 6;
    b[26] = 2;
    kb::TZug z{};
    z.Side = 1;
    w_->SearchBrett->SetStellung(b, z);
    w_->cbPosition->setChecked(true);
    w_->bFilterClick();
    std::vector<std::string> shown;
    for (const auto& t : kbtest::ShownTags(*w_))
        shown.push_back(Key(t));
    std::sort(expected.begin(), expected.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected);
}

TEST_F(ListFilter, EveryColumnSortsLikeASortOfTheHeaders) {
    w_->sbFilter->setChecked(false);
    struct Column {
        int Section;
        std::function<bool(const Tags&, const Tags&)> Less;
    };
    auto text = [](const char* k) {
        return [k](const Tags& a, const Tags& b) {
            auto ga = a.count(k) ? a.at(k) : std::string();
            auto gb = b.count(k) ? b.at(k) : std::string();
            return ga < gb;
        };
    };
    const std::vector<Column> columns = {
        {1, text("White")},
        {2, text("Event")},
        {3, [](const Tags& a, const Tags& b) { return Year(a) < Year(b); }},
        {4, text("Result")},
        {5, text("ECO")},
    };
    for (const auto& c : columns) {
        std::vector<Tags> expected = all_;
        std::stable_sort(expected.begin(), expected.end(), c.Less);
        std::vector<std::string> want;
        for (const auto& t : expected)
            want.push_back(Key(t));
        w_->HeaderControlSectionClick(c.Section);
        std::vector<std::string> shown;
        for (const auto& t : kbtest::ShownTags(*w_))
            shown.push_back(Key(t));
        EXPECT_TRUE(shown == want) << "section " << c.Section;
        // The same column again reverses.
        w_->HeaderControlSectionClick(c.Section);
        std::vector<std::string> reversed;
        for (const auto& t : kbtest::ShownTags(*w_))
            reversed.push_back(Key(t));
        std::reverse(want.begin(), want.end());
        EXPECT_TRUE(reversed == want) << "section " << c.Section << " twice";
    }
    w_->HeaderControlSectionClick(0);
    std::vector<std::string> fileOrder, shown;
    for (const auto& t : all_)
        fileOrder.push_back(Key(t));
    for (const auto& t : kbtest::ShownTags(*w_))
        shown.push_back(Key(t));
    EXPECT_TRUE(shown == fileOrder);
}

// Material: each game replayed by pgn-extract (a FEN after every move),
// and the material counted here from the FENs.
TEST_F(ListFilter, MaterialFilterAgreesWithPgnExtractReplays) {
    KB_REQUIRE_PEER(extract, "pgn-extract");
    kbtest::TempDir tmp;
    auto r = kbtest::Run({extract, "-s", "--fencomments", "-w100000",
                          "-o" + (tmp / "fens.pgn").string(), file_.string()});
    ASSERT_EQ(r.exitCode, 0);
    const std::regex fen(R"(\{\s*([1-8pnbrqkPNBRQK/]+) [wb] )");
    // Per game the placements of every position, the start included.
    std::vector<std::pair<std::string, std::vector<std::string>>> replays;
    for (const auto& g : kbtest::GamesOfFile(tmp / "fens.pgn")) {
        std::vector<std::string> placements{"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR"};
        for (std::sregex_iterator it(g.begin(), g.end(), fen), end; it != end; ++it)
            placements.push_back((*it)[1]);
        replays.emplace_back(Key(kbtest::TagsOf(g)), std::move(placements));
    }
    ASSERT_EQ(replays.size(), all_.size());
    auto count = [](const std::string& P, char C) {
        return static_cast<int>(std::count(P.begin(), P.end(), C));
    };

    // White without queens, set in the material dialog.
    TAnswererScope answers(TAnswerer{.Dialog = [](QDialog& D) {
        auto* m = dynamic_cast<kb::TfrmMaterial*>(&D);
        if (!m) return mrCancel;
        m->bEmptyClick();
        m->cbwQ->setChecked(true);
        m->sewQa->setValue(0);
        m->sewQe->setValue(0);
        return mrOk;
    }});
    w_->cbMaterial->setChecked(true);
    w_->cbMaterialClick();
    ASSERT_TRUE(w_->MaterialFilter.Enabled[kb::TPiecesFilter::Index(5)]);
    auto expect = [&](const std::function<bool(const std::string&)>& Position, const char* What) {
        w_->bFilterClick();
        std::multiset<std::string> expected, shown;
        for (const auto& [key, placements] : replays)
            if (std::any_of(placements.begin(), placements.end(), Position)) expected.insert(key);
        for (const auto& t : kbtest::ShownTags(*w_))
            shown.insert(Key(t));
        EXPECT_GT(expected.size(), 50u) << What;
        EXPECT_LT(expected.size(), all_.size()) << What;
        EXPECT_TRUE(shown == expected) << What << ": " << shown.size() << " vs " << expected.size();
    };
    expect([&](const std::string& P) { return count(P, 'Q') == 0; }, "no white queen");

    // Two black knights and at most three white pawns in the same position.
    auto& f = w_->MaterialFilter;
    f = {};
    f.Enabled[kb::TPiecesFilter::Index(-4)] = true;
    f.Min[kb::TPiecesFilter::Index(-4)] = 2;
    f.Max[kb::TPiecesFilter::Index(-4)] = 2;
    f.Enabled[kb::TPiecesFilter::Index(1)] = true;
    f.Min[kb::TPiecesFilter::Index(1)] = 0;
    f.Max[kb::TPiecesFilter::Index(1)] = 3;
    expect([&](const std::string& P) { return count(P, 'n') == 2 && count(P, 'P') <= 3; },
           "knights and pawns");
}

TEST_F(ListFilter, TheListShowsWhatTheFilterButtonSays) {
    const auto games = kbtest::GamesOfFile(file_);
    auto keys = [&](const std::function<bool(const Tags&)>& Keep) {
        std::vector<std::string> out;
        for (const auto& t : all_)
            if (Keep(t)) out.push_back(Key(t));
        return out;
    };
    auto shown = [](kb::TMDIPGN& W) {
        std::vector<std::string> out;
        for (const auto& t : kbtest::ShownTags(W))
            out.push_back(Key(t));
        return out;
    };
    auto whiteCarlsen = [](const Tags& t) { return Contains(t.at("White"), "carlsen"); };
    const auto everyGame = keys([](const Tags&) { return true; });
    const auto filtered = keys(whiteCarlsen);
    ASSERT_LT(filtered.size(), everyGame.size());
    ASSERT_GT(filtered.size(), 0u);
    w_->eSpieler->setText(QStringLiteral("carlsen"));
    w_->rbWeiss->setChecked(true);
    w_->bFilterClick();
    EXPECT_TRUE(shown(*w_) == filtered) << shown(*w_).size();

    // Up: every game, and printing takes its rows from all of them.
    w_->sbFilter->click();
    EXPECT_FALSE(w_->sbFilter->isChecked());
    EXPECT_TRUE(w_->FilterBox->isHidden());
    EXPECT_TRUE(shown(*w_) == everyGame) << shown(*w_).size();
    size_t other = 0;
    while (whiteCarlsen(all_[other]))
        ++other;
    std::string printed;
    auto saved = kb::TMDIPGN::GamePrinter();
    kb::TMDIPGN::GamePrinter() = [&](QWidget*, const std::string& Games) { printed = Games; };
    kbtest::SelectRows(*w_, {static_cast<int>(other)});
    w_->bPrintClick();
    kb::TMDIPGN::GamePrinter() = saved;
    EXPECT_EQ(printed, games[other] + "\r\n\r\n");

    // Down: the panel's filter again, without its Filter button.
    w_->sbFilter->click();
    EXPECT_FALSE(w_->FilterBox->isHidden());
    EXPECT_TRUE(shown(*w_) == filtered) << shown(*w_).size();
    // An ECO run writes the file anew, and the list reads it again.
    kb::TMDIPGN::EcoClassifier() = [](const std::string&) { return std::string("A00"); };
    w_->bECOClick();
    kb::TMDIPGN::EcoClassifier() = kb::ClassifyByTable;
    EXPECT_EQ(kbtest::TagsOf(kbtest::GamesOfFile(file_)[0])["ECO"], "A00");
    EXPECT_TRUE(shown(*w_) == filtered) << shown(*w_).size();

    // A database, filtered, then compressed: the list is read anew and
    // still shows what the button says, down and then up.
    std::vector<int> rows(all_.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    {
        auto source = kbtest::OpenWindow(file_);
        auto target = kbtest::OpenWindow(dir_ / "c.kbf");
        ASSERT_TRUE(target->PGN()->IsDatabase());
        ASSERT_EQ(kb::copyGames(*source->PGN(), rows, *target->PGN(), -1).Copied,
                  static_cast<int>(rows.size()));
    }
    auto db = kbtest::OpenWindow(dir_ / "c.kbf");
    db->sbFilter->click();
    db->eSpieler->setText(QStringLiteral("carlsen"));
    db->rbWeiss->setChecked(true);
    db->bFilterClick();
    ASSERT_TRUE(shown(*db) == filtered) << shown(*db).size();
    // Something to compress: the first game shown goes.
    auto without = [](std::vector<std::string> Keys, const std::string& Gone) {
        Keys.erase(std::find(Keys.begin(), Keys.end(), Gone));
        return Keys;
    };
    kbtest::SelectRows(*db, {0});
    db->sbDeleteGameClick();
    db->bCompressClick();
    EXPECT_TRUE(db->sbFilter->isChecked());
    EXPECT_TRUE(shown(*db) == without(filtered, filtered[0])) << shown(*db).size();
    db->sbFilter->click();
    const auto left = without(everyGame, filtered[0]);
    EXPECT_TRUE(shown(*db) == left) << shown(*db).size();
    kbtest::SelectRows(*db, {0});
    db->sbDeleteGameClick();
    db->bCompressClick();
    EXPECT_FALSE(db->sbFilter->isChecked());
    EXPECT_TRUE(shown(*db) == without(left, left[0])) << shown(*db).size();
    for (const auto& m : host_.Messages)
        EXPECT_NE(m.Type, kb::TLwMsgType::Error) << m.Text.toStdString();
}

TEST_F(ListFilter, PrintJoinsTheSelectedGames) {
    std::string printed;
    auto saved = kb::TMDIPGN::GamePrinter();
    kb::TMDIPGN::GamePrinter() = [&](QWidget*, const std::string& Games) { printed = Games; };
    kbtest::SelectRows(*w_, {7, 2});
    w_->bPrintClick();
    kb::TMDIPGN::GamePrinter() = saved;
    const auto games = kbtest::GamesOfFile(file_);
    EXPECT_EQ(printed, games[2] + "\r\n\r\n" + games[7] + "\r\n\r\n");
}

} // namespace
