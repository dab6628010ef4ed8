// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: analysis and play hooks, clocks, think time, autoplay, the
// engine menu and the engine's move.
//
// The search workers (built-in and external engines) plug in here: they
// start from AnalysisRestart, end in StopAnalysis, pause through
// SuspendThreads/mStopClick, and hand their move to WMEngineMove together
// with the number of the position they searched (FSearchNo at their start).
#include "BrettWin.h"

#include "BrettWinFrame.h"
#include "UTimedlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>

using namespace kb;

void TMDIBrett::ConnectEngineEvents() {
    connect(TimerEngineReactivate, &QTimer::timeout, this, &TMDIBrett::TimerEngineReactivateTimer);
    connect(AutoplayTimer, &QTimer::timeout, this, &TMDIBrett::AutoplayTimerTimer);
    connect(Timer1, &QTimer::timeout, this, &TMDIBrett::Timer1Timer);
    tlWhite->Zue = [this](TTimeLabel*) { tlWhiteZue(); };
    tlBlack->Zue = [this](TTimeLabel*) { tlBlackZue(); };
}

// ---------------------------------------------------------------------------
// Analysis

void TMDIBrett::AnalysisRestart() {
    if (!sbAnalyse->isChecked()) return;
    // No search worker is built in yet: the analysis button only shows the
    // memo and enables play.
}

void TMDIBrett::StopBuiltinSearch() {
    if (MiniMax1.Busy()) MiniMax1.Stop();
}

void TMDIBrett::StopAnalysis() {
    StopBuiltinSearch();
    FThreadRunning = false;
}

void TMDIBrett::AnalysisOff() {
    TimerEngineReactivate->stop();
    StopAnalysis();
    sbAnalyse->setChecked(false);
    Memo1->setVisible(false);
    sbPlay->setChecked(false);
    Timer1->stop();
    Memo1->clear();
}

void TMDIBrett::SuspendThreads() {
    if (FThreadRunning && !MiniMax1.Paused()) MiniMax1.Pause();
}

void TMDIBrett::ResumeThreads() {
    if (MiniMax1.Paused()) MiniMax1.Resume();
}

void TMDIBrett::sbAnalyseClick() {
    const bool down = sbAnalyse->isChecked();
    Memo1->setVisible(down);
    if (!FTraining) sbPlay->setEnabled(down);
    if (down) {
        if (bw::FrameSettings().WBEngines.isEmpty()) {
            mStop->setEnabled(true);
            AnalysisRestart();
        } else {
            BuildEnginesMenu();
            puEngines->exec(sbAnalyse->mapToGlobal(QPoint(0, sbAnalyse->height())));
        }
    } else {
        AnalysisOff();
        StopClocks();
        pTime->setVisible(false);
        if (!FTraining) EnableControls(true);
    }
}

void TMDIBrett::sbPlayClick() {
    const bool down = sbPlay->isChecked();
    pTime->setVisible(down);
    if (down) {
        StopAnalysis();
        Memo1->clear();
        EnableControls(false);
        Brett1->ZugVorschlagen = false;
        if (tlWhite->Remaining() <= 0 || tlBlack->Remaining() <= 0) {
            const bw::TFrameSettings s = bw::FrameSettings();
            for (TTimeLabel* t : {tlWhite, tlBlack}) {
                t->SetSecTotal(s.GameTime * 60);
                t->SecPerMove = s.MoveTime;
            }
        }
        SwitchClocks();
    } else {
        AnalysisRestart();
        StopClocks();
        EnableControls(true);
        Brett1->ZugVorschlagen = true;
    }
}

void TMDIBrett::mStopClick() {
    if (mStop->text() == QStringLiteral("Stop") && FThreadRunning) {
        mStop->setText(bw::Text(5));
        for (QWidget* w : {pBrett, static_cast<QWidget*>(Notation1), pButtons})
            w->setEnabled(false);
        MiniMax1.Pause();
        Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo1->setPlainText(bw::Text(6) + QLatin1Char('\n') + Memo1->toPlainText());
    } else {
        mStop->setText(QStringLiteral("Stop"));
        for (QWidget* w : {pBrett, static_cast<QWidget*>(Notation1), pButtons})
            w->setEnabled(true);
        if (FThreadRunning) {
            QString text = Memo1->toPlainText();
            const qsizetype nl = text.indexOf(QLatin1Char('\n'));
            text = nl < 0 ? QString() : text.mid(nl + 1);
            Memo1->setPlainText(text);
            Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            if (MiniMax1.Paused()) MiniMax1.Resume();
        }
    }
}

void TMDIBrett::TimerEngineReactivateTimer() {
    // The external-engine watchdog lives with the external engines.
}

void TMDIBrett::MiniMax1Trace(const QString& S) {
    if (sbPlay->isChecked()) {
        const qsizetype cr = S.indexOf(QLatin1Char('\r'));
        Memo1->setPlainText(cr < 0 ? S : S.left(cr));
    } else {
        Memo1->setPlainText(S);
    }
}

// ---------------------------------------------------------------------------
// Engine menu

void TMDIBrett::BuildEnginesMenu() {
    puEngines->clear();
    auto add = [this](const QString& Caption, int Tag) {
        QAction* a = puEngines->addAction(Caption);
        a->setData(Tag);
        const QString digit = QString::number(Tag + 1).left(1);
        a->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + digit));
        connect(a, &QAction::triggered, this, [this, Tag] { EngineMenuClick(Tag); });
    };
    add(QStringLiteral("MiniMax"), 0);
    const QStringList engines = bw::FrameSettings().WBEngines;
    for (int i = 0; i < engines.size(); ++i)
        add(QFileInfo(engines[i]).fileName(), i + 1);
}

void TMDIBrett::EngineMenuClick(int Tag) {
    if (Tag == 0) {
        mStop->setEnabled(true);
        Memo1->setToolTip(QStringLiteral("Raruzoz 1.0"));
        AnalysisRestart();
        return;
    }
    // External engines are started by their own driver; without it the
    // choice ends as a failed start does.
    mStop->setEnabled(false);
    sbAnalyse->setChecked(false);
    Memo1->setVisible(false);
    sbPlay->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Controls, clocks, think time

void TMDIBrett::EnableControls(bool E) {
    Notation1->setEnabled(E);
    pNavigation->setEnabled(E);
    for (QAction* a : {mAufbauen, mPGNInsert, mInsertFEN})
        a->setEnabled(E);
    for (QToolButton* b : {bCut, bPrev, bNext, bDelete, bNew, bUndo})
        b->setEnabled(E);
    if (E && !SourcePGN()) {
        bPrev->setEnabled(false);
        bNext->setEnabled(false);
    }
    if (E && FTraining) {
        for (QToolButton* b : {bCut, bDelete, bNew, bUndo})
            b->setEnabled(false);
    }
}

void TMDIBrett::SwitchClocks() {
    if (!sbPlay->isChecked()) return;
    if (!tlWhite->Running() && !tlBlack->Running()) {
        (Brett1->WhiteToMove() ? tlWhite : tlBlack)->Start();
    } else {
        tlWhite->Press();
        tlBlack->Press();
    }
}

void TMDIBrett::StopClocks() {
    tlWhite->Stop();
    tlBlack->Stop();
    Timer1->stop();
}

void TMDIBrett::StartThinkTimer() {
    FTickValues.clear();
    Timer1->start();
}

bool TMDIBrett::ValuesStable(int N) const {
    if (N < 1 || static_cast<int>(FTickValues.size()) < N + 1) return false;
    const int newest = FTickValues.back();
    for (int i = 1; i <= N; ++i)
        if (FTickValues[FTickValues.size() - 1 - static_cast<size_t>(i)] != newest) return false;
    return true;
}

void TMDIBrett::Timer1Timer() {
    if (!sbPlay->isChecked()) return;
    TTimeLabel* clock = Brett1->WhiteToMove() ? tlWhite : tlBlack;
    const int64_t secs = clock->Remaining() / 1000;
    FTickValues.push_back(static_cast<int>(std::lround(MiniMax1.Bewertung() * 100)));
    const int64_t limit = secs / 20;
    if (static_cast<int64_t>(FTickValues.size()) >= limit || ValuesStable(10))
        MiniMax1.SetStopFlag();
}

void TMDIBrett::tlWhiteClick() {
    ClockClick(tlWhite);
}

void TMDIBrett::tlBlackClick() {
    ClockClick(tlBlack);
}

void TMDIBrett::ClockClick(TTimeLabel* Clicked) {
    const bw::TFrameSettings s = bw::FrameSettings();
    TTimeDlg dlg(this);
    dlg.SpinEdit1->setValue(s.GameTime);
    dlg.SpinEdit2->setValue(s.MoveTime);
    if (RunModal(dlg) != QDialog::Accepted) return;
    const int minutes = dlg.SpinEdit1->value();
    const int seconds = dlg.SpinEdit2->value();
    Clicked->SetSecTotal(minutes * 60);
    Clicked->SecPerMove = seconds;
    bw::StoreClockDefaults(minutes, seconds);
    if (!dlg.cbOnlyOneClock->isChecked()) {
        TTimeLabel* other = Clicked == tlWhite ? tlBlack : tlWhite;
        other->SetSecTotal(minutes * 60);
        other->SecPerMove = seconds;
    }
}

void TMDIBrett::tlWhiteZue() {
    StopClocks();
    MiniMax1.SetStopFlag();
    bw::Message(bw::Text(202), bw::TMsgType::Information, bw::mbOK);
}

void TMDIBrett::tlBlackZue() {
    StopClocks();
    MiniMax1.SetStopFlag();
    bw::Message(bw::Text(203), bw::TMsgType::Information, bw::mbOK);
}

void TMDIBrett::MoveNowKey() {
    if (FThreadRunning) {
        if (!sbPlay->isChecked()) FRestart = true;
        FMoveNow = true;
        MiniMax1.SetStopFlag();
    } else {
        AnalysisRestart();
        if (sbPlay->isChecked()) StartThinkTimer();
    }
}

// ---------------------------------------------------------------------------
// Autoplay

void TMDIBrett::SetAutoplay(bool On) {
    bAutoplay->setText(On ? QStringLiteral("S") : QStringLiteral("A"));
    if (On)
        AutoplayTimer->start();
    else
        AutoplayTimer->stop();
    Brett1->Ziehenmoeglich = !On && !FTraining;
}

void TMDIBrett::bAutoplayClick() {
    if (AutoplayTimer->isActive()) {
        SetAutoplay(false);
    } else {
        SetAutoplay(true);
        bNextMainClick();
    }
}

void TMDIBrett::AutoplayTimerTimer() {
    bNextMainClick();
}

// ---------------------------------------------------------------------------
// The engine's move

void TMDIBrett::WMEngineMove(TZug Zug, int Status, int SearchNo) {
    const bool moveNow = FMoveNow;
    FMoveNow = false;
    // An answer for a position that is no longer shown is void.
    if (SearchNo != FSearchNo) return;
    if (!sbPlay->isChecked() && !moveNow) return;
    TNotation& n = Notation1->Notation();
    if (Status == StatusMove || Status == StatusMates || Status == StatusCheck) {
        TEngineZug probe = ToEngineZug(BoardZug());
        probe.From = Zug.From;
        probe.To = Zug.To;
        probe.CastlingKind = Zug.CastlingKind;
        probe.Promotion = Zug.Promotion;
        TSchachbrett board;
        Brett1->GetStellung(board);
        if (IsBoardSquare(Zug.From) && IsBoardSquare(Zug.To) && MMCheck.ZugLegal(board, probe) &&
            n.MoveDone(Zug)) {
            Brett1->DoZug(Zug);
            PositionChanged();
            MarkEngineMove(Zug.From, Zug.To);
            Brett1->Ton = false;
            if (Status == StatusCheck && sbPlay->isChecked()) QApplication::beep();
            SwitchClocks();
            if (sbPlay->isChecked()) Timer1->stop();
            if (Status == StatusMates) n.MarkMate();
        }
    }
    if (Status == StatusMated || Status == StatusStalemate || Status == StatusMates) StopClocks();
    Memo1->clear();
}
