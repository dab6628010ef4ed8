// SPDX-License-Identifier: GPL-3.0-or-later
// Small board, list and database windows that stand in for the real ones,
// and a fixture that builds the frame on a fresh program folder.
#pragma once

#include "DialogsLng.h"
#include "Local.h"
#include "Main.h"
#include "MdiWindows.h"
#include "PGN.h"
#include "TestSupport.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace frametest {

class TTestBoardWindow : public QWidget, public TBoardWindowIntf {
public:
    QWidget* Window() override { return this; }
    kb::TPGN* SourcePGN() const override { return Pgn; }
    int GameNumber() const override { return GameNo; }
    void BuildEnginesMenu() override { ++EngineMenus; }
    void StartGame(kb::TPGN* PGN, const std::string& Text, int No, bool FRC,
                   bool Training) override {
        Pgn = PGN;
        GameText = Text;
        GameNo = No;
        Chess960 = FRC;
        TrainingMode = Training;
        setWindowTitle(QString("Board %1").arg(No));
    }
    QRect InitialGeometry() const override { return Geometry; }
    void SuspendThreads() override { ++Suspends; }
    void ResumeThreads() override { ++Resumes; }
    void ApplyNotationSettings() override { ++NotationApplied; }
    void ApplyBoardSettings() override { ++BoardApplied; }

    static inline QRect Geometry; // where new test boards ask to go
    kb::TPGN* Pgn = nullptr;
    std::string GameText;
    int GameNo = -1;
    bool Chess960 = false;
    bool TrainingMode = false;
    bool RefuseClose = false;
    int EngineMenus = 0, Suspends = 0, Resumes = 0, NotationApplied = 0, BoardApplied = 0;

protected:
    void closeEvent(QCloseEvent* Event) override {
        if (RefuseClose || MainForm()->Busy())
            Event->ignore();
        else
            Event->accept();
    }
};

class TTestListWindow : public QWidget, public TListWindowIntf {
public:
    TTestListWindow() {
        // A hidden button (the real one's for other kinds of list) first, then the list.
        auto* button = new QWidget(this);
        button->setFocusPolicy(Qt::TabFocus);
        button->hide();
        (new QWidget(this))->setFocusPolicy(Qt::StrongFocus);
        List.OnPGNTrace = [](kb::TPGN* Sender, int Percent, kb::TCancelMode& Mode) {
            MainForm()->PGNTrace(Sender, Percent, Mode);
        };
        // A missing file is not created: the user answered no.
        List.BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) {
            Create = false;
        };
    }
    QWidget* Window() override { return this; }
    QString OpenFile(const QString& FileName) override {
        ++Opens;
        if (!List.SetFileName(FileName.toStdString())) return {};
        return QString::fromStdString(List.FileName());
    }
    kb::TPGN* PGN() override { return &List; }
    void SetupForKind(bool IsDatabase) override {
        SetUp = true;
        Database = IsDatabase;
    }

    kb::TPGN List;
    int Opens = 0;
    bool SetUp = false;
    bool Database = false;

protected:
    void closeEvent(QCloseEvent* Event) override {
        if (MainForm()->Busy())
            Event->ignore();
        else
            Event->accept();
    }
};

class TTestDatabaseWindow : public QWidget, public TDatabaseWindowIntf {
public:
    // Like the real one's folder list, something in it takes the focus.
    TTestDatabaseWindow() { (new QWidget(this))->setFocusPolicy(Qt::StrongFocus); }
    QWidget* Window() override { return this; }
    void SetHistory(const QStringList& H) override {
        History = H;
        ++Updates;
    }
    QStringList History;
    int Updates = 0;
};

// Runs waiting events, the deletes of closed windows too.
inline void Flush() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Runs events until Done() or the time is up.
template <typename F> bool WaitFor(F Done, int Ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!Done() && t.elapsed() < Ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return Done();
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStringTable();
        auto& f = WindowFactories();
        f = {};
        f.NewBoardWindow = [this]() -> TBoardWindowIntf* {
            auto* w = new TTestBoardWindow;
            Boards.push_back(w);
            return w;
        };
        f.NewListWindow = [this]() -> TListWindowIntf* {
            auto* w = new TTestListWindow;
            Lists.push_back(w);
            return w;
        };
        f.NewDatabaseWindow = [this]() -> TDatabaseWindowIntf* {
            auto* w = new TTestDatabaseWindow;
            Databases.push_back(w);
            return w;
        };
        // Every message is recorded and answered with OK.
        Answers =
            std::make_unique<TAnswererScope>(TAnswerer{.Message = [this](const TMessageRequest& R) {
                Messages.push_back(R.Msg);
                return mrOk;
            }});
    }
    void TearDown() override {
        TTestBoardWindow::Geometry = {};
        Frame.reset();
        WindowFactories() = {};
        Answers.reset();
        ResetStringTable();
    }

    std::filesystem::path Dir() const { return Folder.path(); }
    QString DirQ() const { return QString::fromStdString(Folder.path().string()); }
    void WriteIni(const std::string& Text) { kbtest::WriteFile(Folder / "Kestrelbay.ini", Text); }
    std::string IniText() const { return kbtest::ReadFile(Folder / "Kestrelbay.ini"); }

    // Builds the frame and runs its deferred start-up.
    TMainForm& Start(const QStringList& Args = {}) {
        Boards.clear();
        Lists.clear();
        Databases.clear();
        Frame = std::make_unique<TMainForm>(DirQ(), Args);
        EXPECT_TRUE(WaitFor([&] { return Frame->StartupDone(); }));
        return *Frame;
    }
    // Closes the frame as the user would; true when it agreed.
    bool Close() {
        const bool closed = Frame->close();
        Flush();
        return closed;
    }

    kbtest::TempDir Folder;
    std::unique_ptr<TMainForm> Frame;
    std::vector<QPointer<TTestBoardWindow>> Boards;
    std::vector<QPointer<TTestListWindow>> Lists;
    std::vector<QPointer<TTestDatabaseWindow>> Databases;
    std::unique_ptr<TAnswererScope> Answers;
    std::vector<QString> Messages;
};

// PGN text of Count short games, White "W<i>", Black "B<i>".
inline std::string Games(int Count) {
    std::string s;
    for (int i = 0; i < Count; ++i) {
        s += "[Event \"E\"]\r\n[Site \"S\"]\r\n[Date \"2000.01.01\"]\r\n[Round \"1\"]\r\n";
        s += "[White \"W" + std::to_string(i) + "\"]\r\n[Black \"B" + std::to_string(i) +
             "\"]\r\n[Result \"*\"]\r\n\r\n1. e4 e5 *\r\n\r\n";
    }
    return s;
}

} // namespace frametest
