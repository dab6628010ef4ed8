// SPDX-License-Identifier: GPL-3.0-or-later
// Filters and sorting of the list window on real games, against a plain scan
// of the headers done here and, for the position filter, pgn-extract.
#include "Brett.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

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

} // namespace
