// SPDX-License-Identifier: GPL-3.0-or-later
// The database window: the file list (never index or lock files), new file
// names, opening from the history, and games dropped onto history entries.
#include "ExploreWin.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Id(const std::string& Game) {
    auto t = kbtest::TagsOf(Game);
    return t["White"] + "|" + t["Black"] + "|" + t["Event"] + "|" + t["Round"];
}

class DatabaseWindow : public ::testing::Test {
protected:
    void SetUp() override {
        games_ = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
        games_.resize(20);
        kb::ListHost().OpenListWindow = [this](const QString& F) { opened_.push_back(F); };
    }
    fs::path MakePgn(const std::string& Name, int From, int To) {
        return kbtest::WriteGames(dir_ / Name, games_, From, To);
    }
    std::vector<std::string> Want(std::initializer_list<int> Games) {
        std::vector<std::string> out;
        for (int g : Games)
            out.push_back(Id(games_[static_cast<size_t>(g)]));
        return out;
    }
    static std::vector<std::string> IdsOf(kb::TPGN& P) {
        std::vector<std::string> out;
        for (int r = 0; r < P.ItemCount(); ++r) {
            bool deleted = false;
            std::string text;
            P.ReadGameText(P.GameIndex(r), deleted, text);
            out.push_back(Id(text));
        }
        return out;
    }

    kbtest::THostScope host_;
    kbtest::TempDir dir_;
    std::vector<std::string> games_;
    std::vector<QString> opened_;
};

QStringList Names(const QStringList& Paths) {
    QStringList out;
    for (const auto& p : Paths)
        out << QFileInfo(p).fileName();
    out.sort();
    return out;
}

TEST_F(DatabaseWindow, FileListNeverShowsIndexOrLockFiles) {
    for (const char* n : {"a.pgn", "b.kbf", "b.kbfidx", "b.kbftmp", "c.txt", "D.KBFIDX"})
        kbtest::WriteFile(dir_ / n, "x");
    kb::TMDIDatabase w;
    QSignalSpy loaded(&w, &kb::TMDIDatabase::FilesLoaded);
    const QString folder = QString::fromStdString(dir_.path().string());
    w.SetFolder(folder);
    // The home folder may finish loading first.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& args : loaded)
                if (args.at(0).toString() == folder) return true;
            return false;
        },
        5000));
    EXPECT_EQ(Names(w.ListedFiles()), (QStringList{"a.pgn", "b.kbf"}));
    w.FilterComboBox1->setCurrentIndex(1);
    emit w.FilterComboBox1->activated(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ListedFiles().size() == 3; }, 5000));
    EXPECT_EQ(Names(w.ListedFiles()), (QStringList{"a.pgn", "b.kbf", "c.txt"}));
    // A mask typed into the edit.
    w.FileEdit->setText(QStringLiteral("*.txt"));
    QTest::keyClick(w.FileEdit, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ListedFiles().size() == 1; }, 5000));

    // Enter on a listed file opens it.
    w.SetMask(QStringLiteral("*.pgn"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Names(w.ListedFiles()) == QStringList{"a.pgn"}; }, 5000));
    w.FileListBox1->setCurrentIndex(
        w.FileListBox1->model()->index(0, 0, w.FileListBox1->rootIndex()));
    QTest::keyClick(w.FileListBox1, Qt::Key_Return);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(QFileInfo(opened_[0]).fileName(), QStringLiteral("a.pgn"));
}

TEST_F(DatabaseWindow, NewFileNames) {
    kb::TMDIDatabase w;
    w.SetFolder(QString::fromStdString(dir_.path().string()));
    const QString folder = QString::fromStdString(dir_.path().string());
    host_.Inputs = {"games.txt", "base.pgn", "Base.KBF"};
    EXPECT_EQ(w.NewFile(".pgn"), folder + "/games.txt.pgn");
    EXPECT_EQ(w.NewFile(".kbf"), folder + "/base.pgn");
    EXPECT_EQ(w.NewFile(".pgn"), folder + "/Base.KBF");
    EXPECT_EQ(opened_.size(), 3u);
    EXPECT_TRUE(host_.Messages.empty());
    // Refused with a message: empty names and names with a folder.
    for (const char* bad : {"", "  ", "sub/x", "/etc/passwd", ".."}) {
        host_.Inputs = {QString::fromUtf8(bad)};
        EXPECT_TRUE(w.NewFile(".pgn").isEmpty()) << bad;
    }
    EXPECT_EQ(host_.Messages.size(), 5u);
    EXPECT_EQ(opened_.size(), 3u);
    // Cancelled.
    host_.Inputs = {std::nullopt};
    EXPECT_TRUE(w.NewFile(".pgn").isEmpty());
    EXPECT_EQ(opened_.size(), 3u);
}

TEST_F(DatabaseWindow, HistoryOpensAndTakesDrops) {
    const fs::path source = MakePgn("source.pgn", 0, 8);
    const fs::path target = MakePgn("target.pgn", 8, 10);
    auto list = kbtest::OpenWindow(source);
    kb::TMDIDatabase w;
    w.SetHistory({kb::LwHistoryEntry(QString::fromStdString(target.string())),
                  kb::LwHistoryEntry(QString::fromStdString(source.string()))});
    w.lbDatabase->setCurrentRow(0);
    QTest::keyClick(w.lbDatabase, Qt::Key_Return);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], QString::fromStdString(target.string()));

    const QString t = QString::fromStdString(target.string());
    // No selection, or the source's own file: nothing, not even a question.
    EXPECT_EQ(w.DropOnto(t, list->PGN()).Appended, 0);
    kbtest::SelectRows(*list, {5, 1, 3});
    EXPECT_EQ(w.DropOnto(QString::fromStdString(source.string()), list->PGN()).Appended, 0);
    EXPECT_TRUE(host_.Messages.empty());

    // The target is open in a window: refused.
    kb::ListHost().WindowOpenFor = [&](const QString& F) { return F == t; };
    EXPECT_EQ(w.DropOnto(t, list->PGN()).Appended, 0);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text, kb::LwText(15) + t + kb::LwText(16));
    kb::ListHost().WindowOpenFor = [](const QString&) { return false; };

    // Appended in source row order, with progress; the source stays as it
    // was.
    std::vector<int> progress;
    kb::ListHost().PGNTrace = [&](kb::TPGN*, int Percent, kb::TCancelMode&) {
        progress.push_back(Percent);
    };
    auto r = w.DropOnto(t, list->PGN());
    EXPECT_EQ(r.Appended, 3);
    EXPECT_EQ(progress, (std::vector<int>{33, 66, 100, 0}));
    EXPECT_EQ(host_.Messages.back().Text, kb::LwText(17) + t + kb::LwText(18));
    std::vector<std::string> got;
    for (const auto& g : kbtest::GamesOfFile(target))
        got.push_back(Id(g));
    EXPECT_EQ(got, Want({8, 9, 1, 3, 5}));
    EXPECT_EQ(kbtest::GamesOfFile(source).size(), 8u);

    // A file that is neither a database nor a PGN file.
    kbtest::WriteFile(dir_ / "notes.txt", "just text\n");
    r = w.DropOnto(QString::fromStdString((dir_ / "notes.txt").string()), list->PGN());
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(host_.Messages.back().Text, kb::LwText(19));
    EXPECT_EQ(kbtest::ReadFile(dir_ / "notes.txt"), "just text\n");
}

// Another copy of the program changes the target meanwhile and holds it:
// the drop is refused with the reason and the counts, and the other's file
// stays as the other left it.
TEST_F(DatabaseWindow, DropOntoAFileAnotherCopyHoldsIsRefused) {
    const fs::path source = MakePgn("source.pgn", 0, 8);
    const fs::path target = MakePgn("target.pgn", 8, 12);
    const std::string before = kbtest::ReadFile(target);
    auto list = kbtest::OpenWindow(source);
    kb::TMDIDatabase w;
    const QString t = QString::fromStdString(target.string());
    w.SetHistory({kb::LwHistoryEntry(t)});
    kbtest::SelectRows(*list, {1, 3});
    kbtest::TOtherCopyHolds other(target);
    ASSERT_TRUE(other.Held());
    w.LockWait = std::chrono::milliseconds(100);
    auto r = w.DropOnto(t, list->PGN());
    other.Release();
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(r.NotAppended, 2);
    // How many went in and how many did not, and why.
    EXPECT_EQ(host_.Messages.back().Text,
              "0 Partien wurden kopiert, 2 nicht: ein anderes Programm hält die Datei oder hat "
              "sie geändert.");
    EXPECT_EQ(kbtest::ReadFile(target), before);

    // Once the other copy is done, the same drop goes in.
    r = w.DropOnto(t, list->PGN());
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Appended, 2);
    EXPECT_EQ(kbtest::GamesOfFile(target).size(), 6u);
}

// A source game that would not read back as one game (its comment never
// closes, so it would take the games behind it) is not appended to a PGN
// file, as a copy between lists refuses it: the copy ends there and says so.
TEST_F(DatabaseWindow, DropOntoAPgnFileRefusesAGameThatIsNotOneGame) {
    const fs::path source = dir_ / "source.pgn";
    kbtest::WriteFile(source, games_[0] + "\r\n\r\n" + games_[1] + " {never closed\r\n\r\n" +
                                  games_[2] + "\r\n");
    const fs::path target = MakePgn("target.pgn", 8, 10);
    auto list = kbtest::OpenWindow(source);
    ASSERT_EQ(list->PGN()->ItemCount(), 3);
    kb::TMDIDatabase w;
    const QString t = QString::fromStdString(target.string());
    w.SetHistory({kb::LwHistoryEntry(t)});
    kbtest::SelectRows(*list, {0, 1, 2});
    const auto r = w.DropOnto(t, list->PGN());
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(r.Appended, 1);
    EXPECT_EQ(r.NotAppended, 2);
    EXPECT_EQ(host_.Messages.back().Text,
              "1 Partie wurde kopiert, 2 nicht: eine Partie ließ sich nicht als eigene Partie "
              "übernehmen.");
    auto after = kbtest::OpenWindow(target);
    EXPECT_EQ(IdsOf(*after->PGN()), Want({8, 9, 0}));
    for (int row = 0; row < after->PGN()->ItemCount(); ++row) {
        bool deleted = false;
        std::string text;
        after->PGN()->ReadGameText(after->PGN()->GameIndex(row), deleted, text);
        EXPECT_TRUE(kb::TPGN::IsGameText(text)) << row;
    }
}

TEST_F(DatabaseWindow, HistoryEntryWithQuoteInNameOpensThatFile) {
    // A double quote in the file name must not cut the path short: opening
    // or dropping onto the entry would reach some other file.
    const fs::path target = MakePgn("a\"b.pgn", 0, 1);
    const QString t = QString::fromStdString(target.string());
    EXPECT_EQ(kb::LwHistoryEntryPath(kb::LwHistoryEntry(t)), t);
    kb::TMDIDatabase w;
    w.SetHistory({kb::LwHistoryEntry(t)});
    w.lbDatabase->setCurrentRow(0);
    QTest::keyClick(w.lbDatabase, Qt::Key_Return);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], t);
    // An entry without a quote names no file.
    EXPECT_TRUE(kb::LwHistoryEntryPath(QStringLiteral("plain")).isEmpty());
}

TEST_F(DatabaseWindow, DropsIntoDatabases) {
    const fs::path source = MakePgn("source.pgn", 0, 8);
    auto list = kbtest::OpenWindow(source);
    kbtest::SelectRows(*list, {2, 6});
    kb::TMDIDatabase w;
    // A new database (made empty by a list that is then closed).
    { auto make = kbtest::OpenWindow(dir_ / "base.kbf"); }
    const QString base = QString::fromStdString((dir_ / "base.kbf").string());
    auto r = w.DropOnto(base, list->PGN());
    EXPECT_EQ(r.Appended, 2);
    EXPECT_FALSE(r.Failed);

    // Database to database, records as stored.
    auto baseList = kbtest::OpenWindow(dir_ / "base.kbf");
    EXPECT_EQ(IdsOf(*baseList->PGN()), Want({2, 6}));
    kbtest::SelectRows(*baseList, {1, 0});
    { auto make = kbtest::OpenWindow(dir_ / "other.kbf"); }
    const QString other = QString::fromStdString((dir_ / "other.kbf").string());
    EXPECT_EQ(w.DropOnto(other, baseList->PGN()).Appended, 2);
    auto otherList = kbtest::OpenWindow(dir_ / "other.kbf");
    EXPECT_EQ(IdsOf(*otherList->PGN()), Want({2, 6}));
    otherList.reset();

    // A database another list holds open is written by nobody else: the
    // failure is reported and nothing is counted.
    {
        auto holder = kbtest::OpenWindow(dir_ / "other.kbf");
        kbtest::SelectRows(*list, {3});
        const size_t before = host_.Messages.size();
        r = w.DropOnto(other, list->PGN());
        EXPECT_TRUE(r.Failed);
        EXPECT_EQ(r.Appended, 0);
        ASSERT_GT(host_.Messages.size(), before + 1);
        EXPECT_EQ(host_.Messages.back().Text, kb::LwText(19));
    }
    {
        auto check = kbtest::OpenWindow(dir_ / "other.kbf");
        EXPECT_EQ(IdsOf(*check->PGN()), Want({2, 6}));
    }

    // A damaged index is announced, rebuilt, and the games go in.
    baseList.reset();
    // The last slot points past the end of the main file.
    std::string index = kbtest::ReadFile(dir_ / "base.kbfidx");
    const int64_t beyond = static_cast<int64_t>(fs::file_size(dir_ / "base.kbf")) + 1;
    ASSERT_EQ(index.size(), (8u + 2u) * 8u);
    for (int i = 0; i < 8; ++i)
        index[(8 + 1) * 8 + static_cast<size_t>(i)] = static_cast<char>((beyond >> (8 * i)) & 0xff);
    kbtest::WriteFile(dir_ / "base.kbfidx", index);
    const size_t before = host_.Messages.size();
    kbtest::SelectRows(*list, {0});
    r = w.DropOnto(base, list->PGN());
    EXPECT_EQ(r.Appended, 1);
    ASSERT_GE(host_.Messages.size(), before + 2);
    EXPECT_EQ(host_.Messages[before + 1].Text, kb::LwText(228));
    auto again = kbtest::OpenWindow(dir_ / "base.kbf");
    EXPECT_EQ(IdsOf(*again->PGN()), Want({2, 6, 0}));
}

TEST_F(DatabaseWindow, TreeOpensAtTheStoredFolder) {
    // Deep enough that the folder lies below the first screenful of the tree.
    const fs::path deep = dir_ / "a" / "b" / "c";
    fs::create_directories(deep);
    const QString folder = QString::fromStdString(deep.string());
    kb::ListHost().DatabaseFolder = [&] { return folder; };
    // Inside an MDI area as in the frame, shown after the tree has started
    // reading its folders.
    QMdiArea area;
    area.resize(900, 700);
    auto* db = new kb::TMDIDatabase;
    kb::TMDIDatabase& w = *db;
    QTest::qWait(200);
    area.addSubWindow(db)->resize(620, 420);
    area.show();
    auto inView = [&] {
        const QModelIndex i = w.DirectoryListBox1->currentIndex();
        return i.isValid() && w.Folders->filePath(i) == folder &&
               w.DirectoryListBox1->viewport()->rect().contains(
                   w.DirectoryListBox1->visualRect(i).center());
    };
    EXPECT_TRUE(QTest::qWaitFor(inView, 5000));
    EXPECT_EQ(w.CurrentFolder(), folder);

    // The tree sorts its folders when it has read them, which moves the
    // folder: the tree follows it while the user has not moved the tree.
    for (Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder}) {
        w.DirectoryListBox1->sortByColumn(0, order);
        QTest::qWait(50);
        EXPECT_TRUE(QTest::qWaitFor(inView, 5000)) << order;
    }

    // Closing while the program is busy is refused, but keeps the folder.
    QString stored;
    kb::ListHost().SetDatabaseFolder = [&](const QString& F) { stored = F; };
    kb::ListHost().Busy = [] { return true; };
    EXPECT_FALSE(w.close());
    EXPECT_EQ(stored, folder);
    kb::ListHost().Busy = [] { return false; };

    // Once the user scrolled, the tree stays where he put it.
    w.DirectoryListBox1->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    w.DirectoryListBox1->sortByColumn(0, Qt::DescendingOrder);
    QTest::qWait(100);
    EXPECT_EQ(w.DirectoryListBox1->verticalScrollBar()->value(), 0);
    EXPECT_EQ(w.CurrentFolder(), folder);
}

} // namespace
