// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardWindowSupport.h"

#include "Local.h"

#include <QApplication>
#include <QSplitter>
#include <QVBoxLayout>

#include <filesystem>

namespace bwtest {

TTestListWindow::TTestListWindow() {
    auto* l = new QVBoxLayout(this);
    List = new kb::TPGNList(this);
    l->addWidget(List);
}

QString TTestListWindow::OpenFile(const QString& FileName) {
    if (!List->PGN().SetFileName(FileName.toStdString())) return {};
    setWindowTitle(FileName);
    show();
    return FileName;
}

int TAnswers::Reply() {
    if (Replies.empty()) return -1;
    const int r = Replies.front();
    Replies.erase(Replies.begin());
    return r;
}

TAnswerScope::TAnswerScope(TAnswers& A) {
    TAnswerer ans;
    ans.Message = [&A](const TMessageRequest& R) {
        A.Messages.push_back(R.Msg);
        const int r = A.Reply();
        if (r >= 0) return r;
        if (R.Buttons.Contains(mbYes)) return mrYes;
        return mrOk;
    };
    ans.Dialog = [&A](QDialog& D) { return A.Dialog ? A.Dialog(D) : static_cast<int>(mrCancel); };
    scope_ = std::make_unique<TAnswererScope>(ans);
}

TMDIBrett* NewWindow() {
    auto* w = new TMDIBrett;
    w->Brett1->Animation = 0;
    w->resize(900, 600);
    w->show();
    w->StartGame(nullptr, {}, -1, false, false);
    return w;
}

TMDIBrett* OpenFromList(TTestListWindow& L, int Row) {
    kb::TPGN& pgn = L.List->PGN();
    int gameNo = -1;
    std::string text;
    pgn.GetGame(pgn.GameIndex(Row), gameNo, text);
    auto* w = new TMDIBrett;
    w->Brett1->Animation = 0;
    w->resize(900, 600);
    w->show();
    w->StartGame(&pgn, text, gameNo, false, false);
    L.List->SetItemIndex(Row);
    return w;
}

void Drag(TMDIBrett& W, const char* From, const char* To, Qt::KeyboardModifiers Mods) {
    kb::TBrett& b = *W.Brett1;
    auto centre = [&b](const char* s) {
        return b.SquareRect((s[0] - 'a') + 8 * (s[1] - '1')).center();
    };
    const QPoint f = centre(From), t = centre(To);
    QTest::mousePress(&b, Qt::LeftButton, Mods, f);
    QTest::mouseMove(&b, (f + t) / 2);
    QTest::mouseMove(&b, t);
    QTest::mouseRelease(&b, Qt::LeftButton, Mods, t);
}

kb::TSchachbrett NotationBoard(TMDIBrett& W) {
    kb::TSchachbrett b;
    kb::TZug z;
    W.Notation1->Notation().PositionAfter(W.Notation1->Notation().CurrentMove, b, z);
    return b;
}

kb::TSchachbrett BoardOf(TMDIBrett& W) {
    kb::TSchachbrett b;
    W.Brett1->GetStellung(b);
    return b;
}

std::vector<std::string> ReadGames(const std::string& Path) {
    kb::TPGN pgn;
    if (!pgn.SetFileName(Path)) return {};
    return ReadGames(pgn);
}

std::vector<std::string> ReadGames(kb::TPGN& pgn) {
    std::vector<std::string> out;
    for (int i = 0; i < pgn.ItemCount(); ++i) {
        int no = -1;
        std::string text;
        pgn.GetGame(pgn.GameIndex(i), no, text);
        out.push_back(text);
    }
    return out;
}

void TWindowTest::SetUp() {
    ResetStringTable();
    LanguageColumn = 1;
    W = NewWindow();
    W->Notation1->Notation().Chooser = &Chooser;
}

void TWindowTest::TearDown() {
    delete W.data();
    QApplication::processEvents();
}

void TFrameTest::SetUp() {
    ResetStringTable();
    WindowFactories() = {};
    RegisterProgramWindows();
    kbtest::WriteFile(Dir / "Kestrelbay.ini", "");
    File = (Dir / "korchnoi.pgn").string();
    std::filesystem::copy_file(kbtest::TestData("pgn/Korchnoi.pgn"), File);
}

void TFrameTest::TearDown() {
    for (TBoardWindowIntf* b : Frame ? Frame->BoardWindows() : std::vector<TBoardWindowIntf*>{})
        static_cast<TMDIBrett*>(b)->Notation1->Notation().SetModified(false);
    Frame.reset();
    WindowFactories() = {};
    ResetStringTable();
}

// Drags the splitter's handle as the user does, by DX pixels.
void DragSplitter(TMDIBrett& B, int DX) {
    QWidget* handle = B.Splitter1->handle(1);
    const QPoint from = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 8; ++step)
        QTest::mouseMove(handle, from + QPoint(DX * step / 8, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, from + QPoint(DX, 0));
    QApplication::processEvents();
}

// The notation has room for a numbered move pair of its own font.
::testing::AssertionResult NotationReadable(TMDIBrett& B) {
    const QFontMetrics fm(B.Notation1->Font0Var().Font);
    const int need = fm.horizontalAdvance(QStringLiteral("99. Qxe8+ Qxe8+"));
    const int has = B.Notation1->Paintbox()->width();
    if (!B.Notation1->isVisible() || has < need)
        return ::testing::AssertionFailure()
               << "notation " << has << " px wide, a move pair needs " << need;
    return ::testing::AssertionSuccess();
}

} // namespace bwtest
