// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: analysis and play, clocks, think time, autoplay, the engine
// menu, external engines and the engine's move.
//
// The workers (AThread.h, AThreadWB.h) get a snapshot of the position with
// every request and never touch the window; what they report comes here as
// queued calls, tagged with the number of the position it belongs to
// (FSearchNo), so an answer for a position no longer shown is dropped.
#include "BrettWin.h"

#include "BrettWinFrame.h"
#include "Main.h"
#include "UTimedlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unistd.h>

using namespace kb;

namespace {

// At most this many external engines get a menu entry (Ctrl+2 .. Ctrl+9).
constexpr int MaxEngines = 8;
// The watchdog gives up after this many restarts in a row.
constexpr int MaxReactivations = 3;

} // namespace

// The latest memo text of one worker, handed to the GUI thread by at most
// one queued call at a time: engines print far faster than a memo needs.
struct TMemoBox {
    std::mutex M;
    QString Text;
    bool Posted = false;
    bool Dead = false; // the worker was stopped: late texts are dropped
};

void TMDIBrett::ConnectEngineEvents() {
    connect(TimerEngineReactivate, &QTimer::timeout, this, &TMDIBrett::TimerEngineReactivateTimer);
    connect(AutoplayTimer, &QTimer::timeout, this, &TMDIBrett::AutoplayTimerTimer);
    connect(Timer1, &QTimer::timeout, this, &TMDIBrett::Timer1Timer);
    tlWhite->Zue = [this](TTimeLabel*) { tlWhiteZue(); };
    tlBlack->Zue = [this](TTimeLabel*) { tlBlackZue(); };
    // Runs on the searching thread: the beep comes queued. The worker sets
    // the engine's trace and stop events itself.
    MiniMax1.OnSchach = [this](TMiniMax*) {
        QMetaObject::invokeMethod(
            this, [] { QApplication::beep(); }, Qt::QueuedConnection);
    };
}

// ---------------------------------------------------------------------------
// Snapshots and memo

TEnginePosition TMDIBrett::EnginePosition() const {
    TEnginePosition p;
    Brett1->GetStellung(p.Brett);
    Brett1->GetZug(p.Zug);
    const TNotation& n = Notation1->Notation();
    p.MoveNo = std::max(1, n.NextMoveNumber());
    p.Fischer = FFischerInfo.Fischer && IsFRC();
    p.English = bw::English();
    // The game's start and the moves to the position shown: an engine that
    // takes no FEN is told the game, so that it knows which castlings and
    // captures en passant are left (the worker checks that they lead here).
    p.HasStart = true;
    p.StartBrett = n.GameData.Stellung;
    p.StartZug = n.GameData.Zug;
    for (const TBaum* b = n.CurrentMove; b; b = TNotation::MoveBefore(b))
        p.Moves.push_back(b->Zug);
    std::reverse(p.Moves.begin(), p.Moves.end());
    return p;
}

TSearchRequest TMDIBrett::SearchRequest() const {
    TSearchRequest r;
    TSchachbrett b;
    Brett1->GetStellung(b);
    r.Brett = b;
    r.PosInfo = ToEngineZug(BoardZug());
    if (FFischerInfo.Fischer && IsFRC()) r.Fischer = ToEngineFischerInfo(FFischerInfo);
    r.SearchNo = FSearchNo;
    r.English = bw::English();
    return r;
}

namespace {

// Called on a worker's thread: keeps the text and posts one update.
void PostMemo(TMDIBrett* W, const std::shared_ptr<TMemoBox>& Box, const QString& Text) {
    std::lock_guard lk(Box->M);
    if (Box->Dead) return;
    Box->Text = Text;
    if (Box->Posted) return;
    Box->Posted = true;
    QMetaObject::invokeMethod(
        W,
        [W, Box] {
            QString text;
            {
                std::lock_guard lk(Box->M);
                Box->Posted = false;
                if (Box->Dead) return;
                text = Box->Text;
            }
            W->EngineStatus(text);
        },
        Qt::QueuedConnection);
}

} // namespace

void TMDIBrett::EngineStatus(const QString& Text) {
    // A paused memo keeps its resume line and the text under it.
    if (mStop->text() != QStringLiteral("Stop")) return;
    if (FEngineThread) {
        if (FEngineOver != 0) return; // the memo says mate or stalemate
        QString t = Text;
        t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Memo1->setPlainText(t);
    } else {
        MiniMax1Trace(Text);
    }
}

void TMDIBrett::MiniMax1Trace(const QString& S) {
    if (sbPlay->isChecked()) {
        // Only the value line while playing; the engine ends lines with LF.
        qsizetype end = 0;
        while (end < S.size() && S[end] != QLatin1Char('\r') && S[end] != QLatin1Char('\n'))
            ++end;
        Memo1->setPlainText(S.left(end));
    } else {
        Memo1->setPlainText(S);
    }
}

// ---------------------------------------------------------------------------
// Analysis

bool TMDIBrett::ThreadRunning() const {
    return FEngineThread || (FAnalyseThread && FAnalyseThread->Searching());
}

void TMDIBrett::AnalysisRestart() {
    if (!sbAnalyse->isChecked()) return;
    // The engine given up keeps its memo; nothing else takes its place.
    if (FEngineGivenUp) return;
    if (FEngineThread) {
        // A dead engine is judged now, not at a tick: positions that come
        // faster than the ticks (autoplay) would never let one come.
        if (FEngineThread->Dead() && !FEngineThread->Paused()) {
            TimerEngineReactivateTimer();
            return;
        }
        // An engine alive that answered its position counts as at a tick.
        if (FEngineThread->Answered()) FReactivations = 0;
        // The watchdog's 2.5 s start again with the new position.
        TimerEngineReactivate->stop();
        if (!EngineOnFinishedPosition()) FEngineThread->Restart(EnginePosition());
        TimerEngineReactivate->start();
        return;
    }
    if (!FAnalyseThread) {
        FMemoBox = std::make_shared<TMemoBox>();
        FAnalyseThread = std::make_unique<TAnalyseThread>(MiniMax1);
        std::shared_ptr<TMemoBox> box = FMemoBox;
        FAnalyseThread->OnTrace = [this, box](const std::string& Text, int) {
            PostMemo(this, box, QString::fromStdString(Text));
        };
        FAnalyseThread->OnMove = [this, box](const TEngineZug& E, uint8_t Status, int SearchNo) {
            {
                std::lock_guard lk(box->M);
                if (box->Dead) return;
            }
            QMetaObject::invokeMethod(
                this,
                [this, E, Status, SearchNo] {
                    TZug z = BoardZug();
                    FromEngineZug(E, z);
                    WMEngineMove(z, Status, SearchNo);
                },
                Qt::QueuedConnection);
        };
        if (FLocked) FAnalyseThread->SetPaused(TAnalyseThread::PauseLock, true);
    }
    // No user moves while the engine thinks about its own.
    if (sbPlay->isChecked()) Brett1->Ziehenmoeglich = false;
    FAnalyseThread->Search(SearchRequest());
}

void TMDIBrett::StopBuiltinSearch() {
    // The search ends without its answer; the worker stays for the restart
    // that follows the new position.
    if (FAnalyseThread) MiniMax1.Stop();
}

void TMDIBrett::StopAnalysis() {
    // Whatever the stopped worker still has on its way is void.
    ++FSearchNo;
    FEngineOver = 0;
    if (FMemoBox) {
        std::lock_guard lk(FMemoBox->M);
        FMemoBox->Dead = true;
    }
    FMemoBox.reset();
    if (FEngineThread) {
        TimerEngineReactivate->stop();
        // The run reports nothing from here on; it quits (or is ended) on
        // a thread of the reaper, which joins it.
        TEngineReaper::Instance().Adopt(std::move(FEngineThread));
        return;
    }
    if (FAnalyseThread) {
        FAnalyseThread->Finish();
        FAnalyseThread.reset();
        if (!FTraining && !AutoplayTimer->isActive()) Brett1->Ziehenmoeglich = true;
    }
}

void TMDIBrett::AnalysisOff() {
    TimerEngineReactivate->stop();
    StopAnalysis();
    FEngineGivenUp = false;
    sbAnalyse->setChecked(false);
    Memo1->setVisible(false);
    sbPlay->setChecked(false);
    Timer1->stop();
    Memo1->clear();
    if (mStop->text() != QStringLiteral("Stop")) {
        // A paused analysis that is switched off leaves nothing paused.
        mStop->setText(QStringLiteral("Stop"));
        for (QWidget* w : {pBrett, static_cast<QWidget*>(Notation1), pButtons})
            w->setEnabled(true);
        Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    }
}

void TMDIBrett::SuspendThreads() {
    FLocked = true;
    if (FAnalyseThread) FAnalyseThread->SetPaused(TAnalyseThread::PauseLock, true);
    if (FEngineThread) FEngineThread->SetPaused(TAnalyseThreadWB::PauseLock, true);
}

void TMDIBrett::ResumeThreads() {
    FLocked = false;
    if (FAnalyseThread) FAnalyseThread->SetPaused(TAnalyseThread::PauseLock, false);
    if (FEngineThread) FEngineThread->SetPaused(TAnalyseThreadWB::PauseLock, false);
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
            const QAction* chosen =
                puEngines->exec(sbAnalyse->mapToGlobal(QPoint(0, sbAnalyse->height())));
            // A menu closed without a choice leaves nothing analysing: the
            // button comes up again instead of showing an analysis that
            // does not run.
            if (!chosen && !FEngineThread && !FAnalyseThread) {
                sbAnalyse->setChecked(false);
                Memo1->setVisible(false);
                sbPlay->setEnabled(false);
            }
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
        // The search for the engine's move, which held the board, is
        // dropped for the analysis: the board is the user's again.
        if (!FTraining && !AutoplayTimer->isActive()) Brett1->Ziehenmoeglich = true;
    }
}

void TMDIBrett::mStopClick() {
    if (FEngineThread || FEngineGivenUp) return; // the built-in engine's pause only
    if (mStop->text() == QStringLiteral("Stop") && FAnalyseThread && FAnalyseThread->Searching()) {
        mStop->setText(bw::Text(5));
        for (QWidget* w : {pBrett, static_cast<QWidget*>(Notation1), pButtons})
            w->setEnabled(false);
        FAnalyseThread->SetPaused(TAnalyseThread::PauseUser, true);
        Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo1->setPlainText(bw::Text(6) + QLatin1Char('\n') + Memo1->toPlainText());
    } else if (mStop->text() != QStringLiteral("Stop")) {
        // Only a paused search has the resume line to take away.
        mStop->setText(QStringLiteral("Stop"));
        for (QWidget* w : {pBrett, static_cast<QWidget*>(Notation1), pButtons})
            w->setEnabled(true);
        if (FAnalyseThread) {
            QString text = Memo1->toPlainText();
            if (!text.isEmpty()) {
                const qsizetype nl = text.indexOf(QLatin1Char('\n'));
                text = nl < 0 ? QString() : text.mid(nl + 1);
                Memo1->setPlainText(text);
            }
            Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            FAnalyseThread->SetPaused(TAnalyseThread::PauseUser, false);
        }
    }
}

// ---------------------------------------------------------------------------
// Engine menu and external engines

void TMDIBrett::BuildEnginesMenu() {
    for (QAction* a : puEngines->actions())
        removeAction(a);
    puEngines->clear();
    auto add = [this](const QString& Caption, int Tag) {
        QAction* a = puEngines->addAction(Caption);
        a->setData(Tag);
        const QString digit = QString::number(Tag + 1).left(1);
        a->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + digit));
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, [this, Tag] { EngineMenuClick(Tag); });
        // The shortcuts work in the window, not only in the open popup.
        addAction(a);
    };
    add(QStringLiteral("MiniMax"), 0);
    const QStringList engines = bw::FrameSettings().WBEngines;
    for (int i = 0; i < engines.size() && i < MaxEngines; ++i)
        add(QFileInfo(engines[i]).fileName(), i + 1);
}

void TMDIBrett::EngineMenuClick(int Tag) {
    const QStringList engines = bw::FrameSettings().WBEngines;
    if (Tag < 0 || Tag > MaxEngines || Tag > engines.size()) return;
    if (sbPlay->isChecked()) return; // play is the built-in engine's
    // A shortcut may choose an engine with analysis off: it switches it on.
    if (!sbAnalyse->isChecked()) {
        sbAnalyse->setChecked(true);
        Memo1->setVisible(true);
        if (!FTraining) sbPlay->setEnabled(true);
    }
    // Whatever analyses now makes way for the choice.
    StopAnalysis();
    FReactivations = 0;
    FEngineGivenUp = false;
    if (Tag == 0) {
        mStop->setEnabled(true);
        Memo1->setToolTip(QStringLiteral("Raruzoz 1.0"));
        if (!FTraining) sbPlay->setEnabled(true);
        AnalysisRestart();
        return;
    }
    mStop->setEnabled(false);
    if (!StartEngine(engines[Tag - 1])) {
        sbAnalyse->setChecked(false);
        Memo1->setVisible(false);
        sbPlay->setEnabled(false);
        return;
    }
    FReactivateEngine = engines[Tag - 1];
}

QString TMDIBrett::CraftyGameFile() const {
    const TMainForm* f = MainForm();
    const QString dir =
        f && !f->ProgramDir.isEmpty() ? f->ProgramDir : QCoreApplication::applicationDirPath();
    return QString::fromStdString(kb::CraftyGameFile(dir.toStdString()));
}

std::unique_ptr<TEngineProcess> TMDIBrett::StartEngineProcess(const QString& Path,
                                                              const TWBInfo& Info) {
    if (!QFileInfo(Path).isFile()) return nullptr;
    std::vector<std::string> argv{Path.toStdString()};
    for (const std::string& w : SplitWords(Info.Parameter))
        argv.push_back(w);
    auto p = std::make_unique<TEngineProcess>();
    std::string error;
    if (!p->Start(argv, error)) {
        bw::Log(QStringLiteral("Engine: ") + QString::fromStdString(error));
        return nullptr;
    }
    return p;
}

bool TMDIBrett::StartEngine(const QString& Path) {
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    const TMainForm* f = MainForm();
    const TWBInfo& tmpl = f ? f->EngineInfo : defaults;
    TWBInfo info =
        EngineCommandsFor(Path.toStdString(), tmpl, f && f->EngineFromIni, defaults.Parameter);
    if (IsCraftyEngine(Path.toStdString())) info.GameFile = CraftyGameFile().toStdString();
    std::unique_ptr<TEngineProcess> process = StartEngineProcess(Path, info);
    if (!process) {
        if (!info.GameFile.empty()) ::unlink(info.GameFile.c_str());
        return false;
    }
    sbPlay->setEnabled(false);
    Memo1->setToolTip(QFileInfo(Path).fileName());
    FMemoBox = std::make_shared<TMemoBox>();
    std::shared_ptr<TMemoBox> box = FMemoBox;
    FEngineThread = std::make_unique<TAnalyseThreadWB>(
        std::move(process), info, [this, box](const std::string& Text) {
            PostMemo(this, box, QString::fromStdString(Text));
        });
    if (FLocked) FEngineThread->SetPaused(TAnalyseThreadWB::PauseLock, true);
    FEngineThread->Start(EnginePosition());
    EngineOnFinishedPosition();
    TimerEngineReactivate->start();
    return true;
}

bool TMDIBrett::EngineOnFinishedPosition() {
    const bool mated = MMCheck.IstMatt(BoardStellung(), ToEngineZug(BoardZug()));
    FEngineOver = mated ? StatusMated : MMCheck.Status() == StatusStalemate ? StatusStalemate : 0;
    if (FEngineOver == 0) return false;
    // Engines in such a position greet, report settings or think about
    // nothing; some say the result, each in its own words.
    FEngineThread->StopEngine();
    const bool english = bw::English();
    Memo1->setPlainText(
        FEngineOver == StatusMated
            ? (english ? QStringLiteral("Checkmate.") : QStringLiteral("Schachmatt."))
            : (english ? QStringLiteral("Stalemate.") : QStringLiteral("Patt.")));
    return true;
}

void TMDIBrett::TimerEngineReactivateTimer() {
    if (!sbAnalyse->isChecked() || !FEngineThread || FEngineThread->Paused()) return;
    const bool dead = FEngineThread->Dead();
    // On a finished game a live engine has nothing to answer.
    if (FEngineOver != 0 && !dead) return;
    // Its lines came, and fit none of the position's moves: the memo says
    // so rather than "- Initialize ..." for ever.
    if (!dead) FEngineThread->NoteUnfitLines();
    // An engine in its handshake, or one that got its position only a
    // moment ago, is not judged yet.
    if (FEngineThread->Settling(std::chrono::milliseconds(TimerEngineReactivate->interval())))
        return;
    // Restart only an engine that died or never answered its position (a
    // long silence while it thinks is no reason), and not forever.
    if (!dead && FEngineThread->Answered()) {
        FReactivations = 0;
        return;
    }
    if (FReactivations >= MaxReactivations) {
        // An engine whose input is gone may still be writing why: its words
        // are read to the end before it is judged, for a few ticks at most.
        if (FEngineThread->Dead() && !FEngineThread->OutputEnded() &&
            FReactivations++ < MaxReactivations + 3)
            return;
        // Given up: the memo says so instead of "Starting ..." for ever,
        // and the engine is stopped (one that never answers may be busy).
        TimerEngineReactivate->stop();
        QString why;
        if (FEngineThread->Dead()) {
            // It answered, and ended: what it said last tells the user why.
            const std::string words = FEngineThread->LastWords();
            why = QString::fromStdString(words.empty() ? words : words + "\n") +
                  QString::fromUtf8(EngineTerminatedText(bw::English()));
        } else {
            why = bw::English() ? QStringLiteral("The engine does not answer.")
                                : QStringLiteral("Die Engine antwortet nicht.");
        }
        StopAnalysis();
        FEngineGivenUp = true;
        Memo1->setPlainText(why);
        return;
    }
    ++FReactivations;
    StopAnalysis();
    // The engine the user chose, not whatever stands at its place in the
    // list today; one taken off the list is not started again.
    const bool listed = bw::FrameSettings().WBEngines.contains(FReactivateEngine);
    if (!listed || !StartEngine(FReactivateEngine)) {
        sbAnalyse->setChecked(false);
        Memo1->setVisible(false);
        sbPlay->setEnabled(false);
        if (!listed) {
            const QString name = QFileInfo(FReactivateEngine).fileName();
            bw::Message(bw::English()
                            ? QStringLiteral("The engine %1 has stopped and is no longer in the "
                                             "list of engines: it is not started again.")
                                  .arg(name)
                            : QStringLiteral("Die Engine %1 hat aufgehört und steht nicht "
                                             "mehr in der Liste der Engines: sie wird nicht neu "
                                             "gestartet.")
                                  .arg(name),
                        bw::TMsgType::Information, bw::mbOK);
        }
    }
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
    const double value = FEngineValue ? FEngineValue() : MiniMax1.Bewertung();
    FTickValues.push_back(static_cast<int>(std::lround(std::clamp(value, -1e6, 1e6) * 100)));
    const int64_t limit = secs / 20;
    // Through the worker: a stop asked for just as its search begins is
    // not lost.
    if (static_cast<int64_t>(FTickValues.size()) >= limit || ValuesStable(10))
        if (FAnalyseThread) FAnalyseThread->MoveNow();
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
    if (FAnalyseThread) FAnalyseThread->MoveNow();
    bw::Message(bw::Text(202), bw::TMsgType::Information, bw::mbOK);
}

void TMDIBrett::tlBlackZue() {
    StopClocks();
    if (FAnalyseThread) FAnalyseThread->MoveNow();
    bw::Message(bw::Text(203), bw::TMsgType::Information, bw::mbOK);
}

void TMDIBrett::MoveNowKey() {
    if (FEngineThread || FEngineGivenUp) return; // the built-in engine's key only
    if (FAnalyseThread && FAnalyseThread->MoveNow()) {
        // In analysis the move is played and the new position analysed.
        FMoveNow = true;
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
    if (sbPlay->isChecked()) {
        if (!FTraining && !AutoplayTimer->isActive()) Brett1->Ziehenmoeglich = true;
    } else if (moveNow) {
        AnalysisRestart(); // analysis goes on from the move just played
    }
}
