// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting rows and files, compressing, and copying games between PGN and
// database lists (the copy itself, the window's drop and a drop event):
// afterwards the files hold exactly the expected games.
#include "ChessDatabase.h"
#include "FaultyFileSystem.h"
#include "PGNWinEco.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// What identifies a game across PGN text and database records.
std::string Id(const std::string& Game) {
    auto t = kbtest::TagsOf(Game);
    return t["White"] + "|" + t["Black"] + "|" + t["Event"] + "|" + t["Date"] + "|" + t["Round"] +
           "|" + t["Result"];
}

std::vector<std::string> Ids(const std::vector<std::string>& Games) {
    std::vector<std::string> out;
    for (const auto& g : Games)
        out.push_back(Id(g));
    return out;
}

// The moves of a game without move numbers.
std::vector<std::string> Sans(const std::string& Game) {
    std::vector<std::string> out;
    std::istringstream in(kbtest::MovesOf(Game));
    std::string token;
    while (in >> token) {
        size_t i = 0;
        while (i < token.size() &&
               (std::isdigit(static_cast<unsigned char>(token[i])) || token[i] == '.'))
            ++i;
        // Database games come back with captures written without the x.
        std::string san = token.substr(i);
        san.erase(std::remove(san.begin(), san.end(), 'x'), san.end());
        if (!san.empty()) out.push_back(san);
    }
    return out;
}

// The games a list holds, read back through it (PGN file or database).
std::vector<std::string> ListIds(kb::TPGN& P) {
    std::vector<std::string> out;
    for (int r = 0; r < P.ItemCount(); ++r) {
        bool deleted = false;
        std::string text;
        P.ReadGameText(P.GameIndex(r), deleted, text);
        if (!deleted) out.push_back(Id(text));
    }
    return out;
}

class ListEdit : public ::testing::Test {
protected:
    void SetUp() override {
        games_ = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
        games_.resize(40);
    }
    // A PGN file of the games From..To-1.
    fs::path MakePgn(const std::string& Name, int From, int To) {
        return kbtest::WriteGames(dir_ / Name, games_, From, To);
    }
    // A new database holding the games From..To-1 (copied in from a PGN list).
    fs::path MakeDb(const std::string& Name, int From, int To) {
        auto src = kbtest::OpenWindow(MakePgn(Name + ".src.pgn", From, To));
        auto db = kbtest::OpenWindow(dir_ / Name);
        EXPECT_TRUE(db->PGN()->IsDatabase());
        std::vector<int> rows(static_cast<size_t>(To - From));
        for (int i = 0; i < To - From; ++i)
            rows[static_cast<size_t>(i)] = i;
        auto r = kb::copyGames(*src->PGN(), rows, *db->PGN(), -1);
        EXPECT_EQ(r.Copied, To - From);
        return dir_ / Name;
    }
    std::vector<std::string> Expected(std::initializer_list<std::pair<int, int>> Ranges) {
        std::vector<std::string> out;
        for (auto [a, b] : Ranges)
            for (int i = a; i < b; ++i)
                out.push_back(Id(games_[static_cast<size_t>(i)]));
        return out;
    }

    kbtest::THostScope host_;
    kbtest::TempDir dir_;
    std::vector<std::string> games_;
};

TEST_F(ListEdit, DeletesSelectedRowsFromTheLastUp) {
    auto w = kbtest::OpenWindow(MakePgn("a.pgn", 0, 12));
    std::vector<QString> log;
    kb::ListHost().Log = [&](const QString& L) { log.push_back(L); };
    kbtest::SelectRows(*w, {3, 9, 7});
    // No: nothing goes.
    host_.Answers = {kb::lbNo};
    w->sbDeleteGameClick();
    EXPECT_EQ(kbtest::GamesOfFile(dir_ / "a.pgn").size(), 12u);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Type, kb::TLwMsgType::Warning);

    w->sbDeleteGameClick();
    EXPECT_EQ(log, (std::vector<QString>{"Delete 9", "Delete 7", "Delete 3"}));
    auto want = Expected({{0, 3}, {4, 7}, {8, 9}, {10, 12}});
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "a.pgn")), want);
    EXPECT_EQ(ListIds(*w->PGN()), want);
}

// Another program changed the file after the list read it: a delete and an
// ECO run are refused, the user is told that another program changed the
// file, and the list reads it again, so the next try goes through.
TEST_F(ListEdit, AFileChangedByAnotherProgramIsSaidAndReadAgain) {
    const fs::path file = MakePgn("c.pgn", 0, 10);
    auto w = kbtest::OpenWindow(file);
    auto otherAppends = [&](int Game) {
        const std::string now = kbtest::ReadFile(file);
        kbtest::WriteFile(file, now + "\r\n" + games_[static_cast<size_t>(Game)] + "\r\n");
        return kbtest::ReadFile(file);
    };
    auto toldAndReadAgain = [&](const std::string& Changed, const QString& Says, int Rows) {
        EXPECT_EQ(kbtest::ReadFile(file), Changed);
        ASSERT_FALSE(host_.Messages.empty());
        EXPECT_EQ(host_.Messages.back().Type, kb::TLwMsgType::Error);
        EXPECT_TRUE(host_.Messages.back().Text.contains(Says))
            << host_.Messages.back().Text.toStdString();
        EXPECT_EQ(w->PGN()->ItemCount(), Rows);
        EXPECT_EQ(ListIds(*w->PGN()), Ids(kbtest::GamesOfFile(file)));
    };

    std::string changed = otherAppends(10);
    kbtest::SelectRows(*w, {2});
    w->sbDeleteGameClick();
    toldAndReadAgain(changed, QStringLiteral("anderen Programm"), 11);
    kbtest::SelectRows(*w, {2});
    w->sbDeleteGameClick();
    EXPECT_EQ(Ids(kbtest::GamesOfFile(file)), Expected({{0, 2}, {3, 11}}));

    kb::LwSetLanguageColumn(1);
    kb::TMDIPGN::EcoClassifier() = [](const std::string&) { return std::string("A00"); };
    changed = otherAppends(11);
    w->bECOClick();
    toldAndReadAgain(changed, QStringLiteral("another program"), 11);
    host_.Messages.clear();
    w->bECOClick();
    EXPECT_TRUE(host_.Messages.size() == 1 && host_.Messages[0].Type != kb::TLwMsgType::Error);
    kb::TMDIPGN::EcoClassifier() = kb::ClassifyByTable;
    int classified = 0;
    for (const std::string& g : kbtest::GamesOfFile(file))
        classified += kbtest::TagsOf(g)["ECO"] == "A00";
    EXPECT_EQ(classified, 11);

    // The other program appends while the list reads the file (cat >>
    // racing the reading): the delete is refused and said so too, not only
    // said to have failed.
    class TAppendWhileRead : public kb::TPassThroughFileSystem {
    public:
        std::function<void()> Hook;
        class TFileAt : public kb::TPassThroughFile {
        public:
            TFileAt(std::unique_ptr<kb::TFile> F, TAppendWhileRead& Fs)
                : TPassThroughFile(std::move(F)), fs_(Fs) {}
            int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
                const int64_t n = TPassThroughFile::ReadAt(Offset, Buffer, Count);
                auto h = std::move(fs_.Hook);
                fs_.Hook = nullptr;
                if (h) h();
                return n;
            }

        private:
            TAppendWhileRead& fs_;
        };
        std::unique_ptr<kb::TFile> Open(const std::string& Path, kb::TOpenMode Mode) override {
            auto f = Real.Open(Path, Mode);
            if (!f || Mode != kb::TOpenMode::Read) return f;
            return std::make_unique<TFileAt>(std::move(f), *this);
        }
    };
    TAppendWhileRead racing;
    racing.Hook = [&] { changed = otherAppends(12); };
    w->PGN()->SetFileSystem(&racing);
    w->ReadFileAgain();
    ASSERT_FALSE(racing.Hook);
    host_.Messages.clear();
    kbtest::SelectRows(*w, {0});
    w->sbDeleteGameClick();
    toldAndReadAgain(changed, QStringLiteral("another program"), 12);
    kbtest::SelectRows(*w, {0});
    w->sbDeleteGameClick();
    EXPECT_EQ(Ids(kbtest::GamesOfFile(file)), Expected({{1, 2}, {3, 13}}));
    w->PGN()->SetFileSystem(nullptr);
}

TEST_F(ListEdit, KeysDeleteAndClose) {
    auto w = kbtest::OpenWindow(MakePgn("k.pgn", 0, 5));
    w->show();
    w->PGN1->setFocus();
    kbtest::SelectRows(*w, {1});
    QTest::keyClick(w->PGN1, Qt::Key_Delete);
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "k.pgn")), Expected({{0, 1}, {2, 5}}));
    // Del elsewhere in the window is the control's own key.
    w->sbFilter->click();
    kbtest::SelectRows(*w, {0});
    QTest::keyClick(w->cbGewinn, Qt::Key_Delete);
    EXPECT_EQ(kbtest::GamesOfFile(dir_ / "k.pgn").size(), 4u);
    QTest::keyClick(w->PGN1, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(ListEdit, DeletingAPgnFileWaitsForTheWindowToGo) {
    const fs::path file = MakePgn("gone.pgn", 0, 3);
    auto* w = new kb::TMDIPGN;
    w->OpenFile(QString::fromStdString(file.string()));
    kb::ListHost().AddToHistory(QString::fromStdString(file.string()));
    int bound = 1, released = 0;
    kb::ListHost().BoundBoards = [&](kb::TPGN*) { return bound; };
    kb::ListHost().ReleaseBoards = [&](kb::TPGN*) {
        ++released;
        bound = 0;
    };
    // A board holds a game and the user keeps the list: nothing happens.
    host_.Answers = {kb::lbYes, kb::lbNo};
    w->sbDeleteDatabaseClick();
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(released, 0);
    ASSERT_EQ(host_.Messages.size(), 2u);
    EXPECT_TRUE(host_.Messages[1].Text.startsWith(kb::LwText(12).left(20)));

    QPointer<kb::TMDIPGN> alive(w);
    host_.Answers = {kb::lbYes, kb::lbYes};
    w->sbDeleteDatabaseClick();
    EXPECT_GE(released, 1);
    // Closed, not yet destroyed: the file is still there.
    EXPECT_TRUE(fs::exists(file));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
    QCoreApplication::processEvents();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(kb::ListHost().History().isEmpty());
}

TEST_F(ListEdit, DeletingADatabaseAndCompressingIt) {
    const fs::path db = MakeDb("games.kbf", 0, 6);
    auto w = kbtest::OpenWindow(db);
    ASSERT_TRUE(w->PGN()->IsDatabase());
    EXPECT_TRUE(w->bCompress->isEnabled());
    EXPECT_FALSE(w->sbDragInsert->isEnabled());
    kbtest::SelectRows(*w, {1, 4});
    w->sbDeleteGameClick();
    EXPECT_EQ(host_.Messages.back().Type, kb::TLwMsgType::Confirmation);
    // Database rows stay, marked deleted, until the compress.
    EXPECT_EQ(w->PGN()->ItemCount(), 6);
    w->PGN()->ReadHeader(1);
    EXPECT_TRUE(w->PGN()->GameHeader().Deleted);
    w->bCompressClick();
    EXPECT_EQ(w->PGN()->ItemCount(), 4);
    EXPECT_EQ(ListIds(*w->PGN()), Expected({{0, 1}, {2, 4}, {5, 6}}));
    // Nothing left to remove: no error, the games as they are.
    const size_t told = host_.Messages.size();
    w->bCompressClick();
    ASSERT_EQ(host_.Messages.size(), told + 1);
    EXPECT_EQ(host_.Messages.back().Type, kb::TLwMsgType::Confirmation);
    EXPECT_EQ(ListIds(*w->PGN()), Expected({{0, 1}, {2, 4}, {5, 6}}));

    w->sbDeleteDatabaseClick();
    EXPECT_FALSE(fs::exists(db));
    EXPECT_FALSE(fs::exists(db.string() + "idx"));
}

TEST_F(ListEdit, CopiesKeepSourceOrderInEveryDirection) {
    auto pgnA = kbtest::OpenWindow(MakePgn("a.pgn", 0, 10));
    auto pgnB = kbtest::OpenWindow(MakePgn("b.pgn", 10, 20));
    // Insert three games before row 2; they keep their order.
    auto r = kb::copyGames(*pgnA->PGN(), {1, 5, 8}, *pgnB->PGN(), 2);
    EXPECT_EQ(r.Copied, 3);
    auto want = Expected({{10, 12}, {1, 2}, {5, 6}, {8, 9}, {12, 20}});
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "b.pgn")), want);
    EXPECT_EQ(ListIds(*pgnB->PGN()), want);
    // The source is unchanged.
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "a.pgn")), Expected({{0, 10}}));

    // PGN into a database, database into a database (records as stored),
    // database into a PGN file at a row.
    const fs::path db1 = MakeDb("one.kbf", 20, 25);
    auto d1 = kbtest::OpenWindow(db1);
    r = kb::copyGames(*pgnA->PGN(), {0, 9}, *d1->PGN(), 3);
    EXPECT_EQ(r.Copied, 2);
    EXPECT_EQ(ListIds(*d1->PGN()), Expected({{20, 25}, {0, 1}, {9, 10}}));

    auto d2 = kbtest::OpenWindow(dir_ / "two.kbf");
    r = kb::copyGames(*d1->PGN(), {6, 0, 5}, *d2->PGN(), -1);
    EXPECT_EQ(r.Copied, 3);
    EXPECT_EQ(ListIds(*d2->PGN()), Expected({{9, 10}, {20, 21}, {0, 1}}));

    r = kb::copyGames(*d2->PGN(), {0, 1}, *pgnA->PGN(), 0);
    EXPECT_EQ(r.Copied, 2);
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "a.pgn")), Expected({{9, 10}, {20, 21}, {0, 10}}));
    // The database games read back with the same moves.
    auto copied = kbtest::GamesOfFile(dir_ / "a.pgn");
    EXPECT_EQ(Sans(copied[0]), Sans(games_[9]));
    EXPECT_GT(Sans(copied[0]).size(), 20u);
}

TEST_F(ListEdit, StoppedCopyHoldsTheGamesDoneSoFar) {
    auto a = kbtest::OpenWindow(MakePgn("a.pgn", 0, 10));
    auto b = kbtest::OpenWindow(MakePgn("b.pgn", 10, 12));
    kb::TCopyOptions stopAfterTwo;
    stopAfterTwo.Progress = [](int, int Done, int) { return Done < 2; };
    auto r = kb::copyGames(*a->PGN(), {0, 1, 2, 3, 4}, *b->PGN(), -1, stopAfterTwo);
    EXPECT_TRUE(r.Stopped);
    EXPECT_EQ(r.Copied, 2);
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "b.pgn")), Expected({{10, 12}, {0, 2}}));

    auto db = kbtest::OpenWindow(MakeDb("d.kbf", 20, 21));
    r = kb::copyGames(*a->PGN(), {0, 1, 2, 3, 4}, *db->PGN(), -1, stopAfterTwo);
    EXPECT_EQ(r.Copied, 2);
    db.reset();
    auto again = kbtest::OpenWindow(dir_ / "d.kbf");
    EXPECT_EQ(ListIds(*again->PGN()), Expected({{20, 21}, {0, 2}}));
}

TEST_F(ListEdit, DropsBetweenWindows) {
    auto a = kbtest::OpenWindow(MakePgn("a.pgn", 0, 6));
    auto b = kbtest::OpenWindow(MakePgn("b.pgn", 6, 10));
    kbtest::SelectRows(*a, {4, 2});
    // Insert button up: appended.
    b->DropFrom(a.get(), 1);
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "b.pgn")), Expected({{6, 10}, {2, 3}, {4, 5}}));
    // The copied rows are no longer selected.
    EXPECT_EQ(a->SelectedRows().size(), 0u);

    // Insert button down: at the drop row, in source order.
    kbtest::SelectRows(*a, {0, 5});
    b->sbDragInsert->setChecked(true);
    b->DropFrom(a.get(), 1);
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "b.pgn")),
              Expected({{6, 7}, {0, 1}, {5, 6}, {7, 10}, {2, 3}, {4, 5}}));

    // Onto its own list: nothing.
    kbtest::SelectRows(*a, {0});
    auto r = a->DropFrom(a.get(), 0);
    EXPECT_EQ(r.Copied, 0);
    EXPECT_EQ(kbtest::GamesOfFile(dir_ / "a.pgn").size(), 6u);

    // The mouse part: a drop event with our MIME data lands at the row under
    // the point (the copy runs queued, after the drag has ended).
    b->resize(600, 400);
    b->show();
    kbtest::SelectRows(*a, {3});
    auto* mime = new QMimeData;
    mime->setData(kb::kGamesMimeType, kb::EncodeGamesDrag(a->PGN(), {3}));
    const QRect row0 = b->PGN1->visualRect(b->PGN1->model()->index(0, 0));
    QDragEnterEvent enter(row0.center(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b->PGN1->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(row0.center(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b->PGN1->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(row0.center()), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b->PGN1->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    QCoreApplication::processEvents();
    EXPECT_EQ(Ids(kbtest::GamesOfFile(dir_ / "b.pgn")),
              Expected({{3, 4}, {6, 7}, {0, 1}, {5, 6}, {7, 10}, {2, 3}, {4, 5}}));
    delete mime;

    // A drag naming a list that is not open is refused.
    const kb::TPGN* source = nullptr;
    std::vector<int> rows;
    ASSERT_TRUE(kb::DecodeGamesDrag(kb::EncodeGamesDrag(a->PGN(), {1, 2}), source, rows));
    EXPECT_EQ(source, a->PGN());
    EXPECT_EQ(rows, (std::vector<int>{1, 2}));
    EXPECT_EQ(kb::TMDIPGN::FromList(reinterpret_cast<const kb::TPGN*>(&rows)), nullptr);
}

// A file the list cannot show is named with the reason, and stays as it was
// without companions; a new file the user declined is no error.
TEST_F(ListEdit, FilesThatCannotBeOpenedAreNamed) {
    const std::string games = kbtest::ReadFile(MakePgn("games.pgn", 0, 3));
    const fs::path notes = dir_ / "notes.pgn", text = dir_ / "games.txt";
    kbtest::WriteFile(notes, "Shopping list\r\nbread\r\n");
    kbtest::WriteFile(text, games);
    const fs::path held = MakeDb("held.kbf", 0, 3);
    kb::TChessDatabase holder;
    ASSERT_TRUE(holder.Open(held.string()));
    std::set<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir_.path()))
        files.insert(e.path());

    auto refused = [&](const fs::path& File, const QString& Says) {
        host_.Messages.clear();
        auto w = kbtest::OpenWindow(File);
        EXPECT_TRUE(w->PGN()->FileName().empty()) << File;
        ASSERT_EQ(host_.Messages.size(), 1u) << File;
        EXPECT_EQ(host_.Messages[0].Type, kb::TLwMsgType::Error);
        EXPECT_TRUE(host_.Messages[0].Text.contains(QString::fromStdString(File.string())))
            << host_.Messages[0].Text.toStdString();
        EXPECT_TRUE(host_.Messages[0].Text.contains(Says)) << host_.Messages[0].Text.toStdString();
    };
    refused(notes, QStringLiteral("keine PGN-Partien"));
    refused(text, QStringLiteral("weder eine PGN-Datei noch eine Datenbank"));
    refused(held, QStringLiteral("anderen Programm"));
    kb::LwSetLanguageColumn(1);
    refused(text, QStringLiteral("neither a PGN file nor a database"));
    refused(held, QStringLiteral("another program"));

    std::set<fs::path> after;
    for (const auto& e : fs::directory_iterator(dir_.path()))
        after.insert(e.path());
    EXPECT_EQ(after, files);
    EXPECT_EQ(kbtest::ReadFile(text), games);
    EXPECT_EQ(kbtest::ReadFile(notes), "Shopping list\r\nbread\r\n");

    // Free again, the database opens without a word.
    holder.Close();
    host_.Messages.clear();
    auto w = kbtest::OpenWindow(held);
    EXPECT_EQ(w->PGN()->ItemCount(), 3);
    EXPECT_TRUE(host_.Messages.empty());
}

TEST_F(ListEdit, NewFileQuestion) {
    host_.Answers = {kb::lbNo};
    auto w = kbtest::OpenWindow(dir_ / "new.pgn");
    EXPECT_FALSE(fs::exists(dir_ / "new.pgn"));
    EXPECT_TRUE(w->PGN()->FileName().empty());
    // The answer No is the only word about it.
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text,
              QStringLiteral("Soll die Datei \"%1\" neu angelegt werden?")
                  .arg(QString::fromStdString((dir_ / "new.pgn").string())));
    kb::LwSetLanguageColumn(1);
    auto w2 = kbtest::OpenWindow(dir_ / "new.pgn");
    EXPECT_TRUE(fs::exists(dir_ / "new.pgn"));
    EXPECT_EQ(host_.Messages[1].Text,
              QStringLiteral("Create new file \"%1\"?")
                  .arg(QString::fromStdString((dir_ / "new.pgn").string())));
}

} // namespace
