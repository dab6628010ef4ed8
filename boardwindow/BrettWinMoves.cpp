// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: events, user moves, the notation's events, navigation, keys,
// the games of the source list, new game, setup and FEN, training text.
#include "BrettWin.h"

#include "BrettWinFrame.h"
#include "DialogsLng.h"
#include "NotationWidgetText.h"
#include "PGNList.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>

using namespace kb;

namespace {

// The list face that holds a game list, found among the application's widgets.
TPGNList* ListOf(const TPGN* PGN) {
    if (!PGN) return nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* l = qobject_cast<TPGNList*>(top); l && &l->PGN() == PGN) return l;
        for (TPGNList* l : top->findChildren<TPGNList*>())
            if (&l->PGN() == PGN) return l;
    }
    return nullptr;
}

} // namespace

void TMDIBrett::ConnectEvents() {
    Brett1->OnMoveTry = [this](TBrett* s, bool& legal) { Brett1MoveTry(s, legal); };
    Brett1->OnMovePart = [this](TBrett* s, uint8_t t, uint8_t& z) { Brett1MovePart(s, t, z); };
    Brett1->OnMoveDone = [this](TBrett* s) { Brett1MoveDone(s); };
    Brett1->OnNewPosition = [this](TBrett* s, const TSchachbrett& st, const TZug& z, int n) {
        Brett1NewPosition(s, st, z, n);
    };
    Brett1->ModalRunner = [](QDialog& d) { return ExecDialog(d); };
    // The notation's questions go to the program's answerer too, when one
    // is installed: it answers from inside the dialog's loop.
    Notation1->Dialogs().OnOpen = [](QDialog* d) {
        if (!Answerer().Dialog) return;
        QMetaObject::invokeMethod(
            d, [d] { d->done(Answerer().Dialog(*d)); }, Qt::QueuedConnection);
    };
    Brett1->installEventFilter(this);
    pBoard->OnMouseMove = [this] { ClearEngineMarks(); };

    TNotation& n = Notation1->Notation();
    n.OnMoveChange = [this](TNotation* s, TZug z, TSchachbrett st, bool next) {
        Notation1MoveChange(s, z, st, next);
    };
    n.OnFischerInfo = [this](TNotation* s, TFischerInfo f) { Notation1FischerInfo(s, f); };
    n.OnError = [this](TNotation* s, const std::string& t) { Notation1Error(s, t); };
    n.On3Repetition = [this](TNotation* s) { Notation13Repetition(s); };
    n.On50MovesRule = [this](TNotation* s) { Notation150MovesRule(s); };
    n.OnGameChanged = [this](TNotation* s) { Notation1GameChanged(s); };

    // Context menus.
    Brett1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Brett1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { puBrett->exec(Brett1->mapToGlobal(p)); });
    Notation1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Notation1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { puNotation->exec(Notation1->mapToGlobal(p)); });
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { puMiniMax->exec(Memo1->mapToGlobal(p)); });

    auto click = [this](QToolButton* b, void (TMDIBrett::*f)()) {
        connect(b, &QToolButton::clicked, this, [this, f] { (this->*f)(); });
    };
    click(sbReplace, &TMDIBrett::sbReplaceClick);
    click(sbSave, &TMDIBrett::sbSaveClick);
    click(mGameData, &TMDIBrett::mGameDataClick);
    click(bNew, &TMDIBrett::bNewClick);
    click(bPrev, &TMDIBrett::bPrevClick);
    click(bNext, &TMDIBrett::bNextClick);
    click(bUndo, &TMDIBrett::bUndoClick);
    click(bCut, &TMDIBrett::bCutClick);
    click(bDelete, &TMDIBrett::bDeleteClick);
    click(mAufwerten, &TMDIBrett::mAufwertenClick);
    click(bComment, &TMDIBrett::bCommentClick);
    click(sbPlay, &TMDIBrett::sbPlayClick);
    click(sbAnalyse, &TMDIBrett::sbAnalyseClick);
    click(bAutoplay, &TMDIBrett::bAutoplayClick);
    click(sbPrev, &TMDIBrett::sbPrevClick);
    click(sbBack, &TMDIBrett::sbBackClick);
    click(sbAhead, &TMDIBrett::sbAheadClick);
    click(bNextMain, &TMDIBrett::bNextMainClick);
    click(sbNext, &TMDIBrett::sbNextClick);

    auto trig = [this](QAction* a, void (TMDIBrett::*f)()) {
        connect(a, &QAction::triggered, this, [this, f] { (this->*f)(); });
    };
    trig(mDiaCopy, &TMDIBrett::mDiaCopyClick);
    trig(mFENCopy, &TMDIBrett::mFENCopyClick);
    trig(mPrint, &TMDIBrett::mPrintClick);
    trig(mAufbauen, &TMDIBrett::mAufbauenClick);
    trig(mInsertFEN, &TMDIBrett::mInsertFENClick);
    trig(mDrehen, &TMDIBrett::mDrehenClick);
    trig(mMessages, &TMDIBrett::mMessagesClick);
    trig(Blind1, &TMDIBrett::Blind1Click);
    trig(mPGNCopy1, &TMDIBrett::mPGNCopy1Click);
    trig(mPGNInsert, &TMDIBrett::mPGNInsertClick);
    trig(mPrev, &TMDIBrett::mPrevClick);
    trig(mNext, &TMDIBrett::mNextClick);
    trig(mStop, &TMDIBrett::mStopClick);

    connect(Splitter1, &QSplitter::splitterMoved, this, [this](int Pos, int) {
        FBrettWidth = Pos;
        Splitter1Moved();
    });
    ConnectEngineEvents();
}

// ---------------------------------------------------------------------------
// Helpers

TZug TMDIBrett::BoardZug() const {
    TZug z;
    Brett1->GetZug(z);
    return z;
}

TSchachbrett TMDIBrett::BoardStellung() const {
    TSchachbrett b;
    Brett1->GetStellung(b);
    return b;
}

bool TMDIBrett::IsFRC() const {
    return !lFRC->isHidden();
}

void TMDIBrett::PositionChanged() {
    ++FSearchNo;
}

// ---------------------------------------------------------------------------
// User moves

void TMDIBrett::Brett1MoveTry(TBrett*, bool& Legal) {
    Legal = MMCheck.ZugLegal(BoardStellung(), ToEngineZug(BoardZug()));
}

void TMDIBrett::Brett1MovePart(TBrett*, uint8_t Teilfeld, uint8_t& Zugvorschlag) {
    Zugvorschlag = static_cast<uint8_t>(
        MMCheck.Zugvorschlag(BoardStellung(), ToEngineZug(BoardZug()), Teilfeld));
}

void TMDIBrett::Brett1MoveDone(TBrett* Sender) {
    TNotation& n = Notation1->Notation();
    n.NewVariationOnce = Sender->CtrlMove;
    n.OverwriteOnce = Sender->AltMove;
    if (!n.MoveDone(BoardZug())) return; // the notation put the board back
    PositionChanged();
    if (MMCheck.IstMatt(BoardStellung(), ToEngineZug(BoardZug()))) n.MarkMate();
    AnalysisRestart();
    SwitchClocks();
    if (sbPlay->isChecked()) StartThinkTimer();
}

void TMDIBrett::Brett1NewPosition(TBrett*, const TSchachbrett& Stellung, const TZug& Zug, int Z) {
    // A pasted FEN that names a Chess960 position keeps the game Chess960.
    const TFischerInfo& pasted = Brett1->NewFischerInfo;
    Notation1->Notation().SetStartPosition(Stellung, Zug, Z, pasted.Fischer ? &pasted : nullptr);
    PositionChanged();
    if (!sbPlay->isChecked()) AnalysisRestart();
}

// ---------------------------------------------------------------------------
// Notation events

void TMDIBrett::Notation1MoveChange(TNotation*, TZug Zug, TSchachbrett Stellung, bool NextMove) {
    ClearEngineMarks();
    PositionChanged();
    if (!NextMove) {
        Brett1->SetStellung(Stellung, Zug);
    } else {
        Brett1->MakeMove(Zug.From, Zug.To, Zug.CastlingKind == 3 || Zug.CastlingKind == 4,
                         Zug.Promotion);
        // The board works its record out itself; the notation's is the truth.
        if (BoardStellung() != Stellung || BoardZug().Side != Zug.Side)
            Brett1->SetStellung(Stellung, Zug);
    }
    if (!(NextMove && Brett1->Animation != 0)) {
        const TZug z = BoardZug();
        if (z.From != 0) MarkEngineMove(z.From, z.To);
    }
    if (!sbPlay->isChecked()) AnalysisRestart();
}

void TMDIBrett::Notation1FischerInfo(TNotation*, TFischerInfo Info) {
    TNotation& n = Notation1->Notation();
    if (Info.Fischer) {
        FFischerInfo = Info;
        Brett1->FischerInfo = &FFischerInfo;
        n.FischerInfo = &FFischerInfo;
        // The search worker takes the record with each position.
        const TEngineFischerInfo e = ToEngineFischerInfo(FFischerInfo);
        MMCheck.SetFischerInfo(&e);
        lFRC->setVisible(true);
    } else {
        Brett1->FischerInfo = nullptr;
        n.FischerInfo = nullptr;
        MMCheck.SetFischerInfo(nullptr);
        lFRC->setVisible(false);
    }
}

void TMDIBrett::Notation1Error(TNotation*, const std::string& Text) {
    bw::Message(DecodeGameText(Text), bw::TMsgType::Error, bw::mbOK);
}

void TMDIBrett::Notation13Repetition(TNotation*) {
    if (!FMessagesOff) bw::ShowMessage(bw::Text(3));
}

void TMDIBrett::Notation150MovesRule(TNotation*) {
    if (!FMessagesOff) bw::ShowMessage(bw::Text(4));
}

void TMDIBrett::Notation1GameChanged(TNotation*) {
    if (!FTraining) sbReplace->setEnabled(true);
}

void TMDIBrett::MarkEngineMove(int32_t From, int32_t To) {
    if (!bw::ShowLastMove()) return;
    ClearEngineMarks();
    if (IsBoardSquare(To)) Brett1->MarkSquare(To, Brett1->MarkColor);
    if (IsBoardSquare(From)) Brett1->MarkSquare(From, Brett1->MarkColor);
    FMarkFrom = From;
    FMarkTo = To;
}

void TMDIBrett::ClearEngineMarks() {
    for (int32_t* m : {&FMarkFrom, &FMarkTo}) {
        if (*m >= 0) {
            if (IsBoardSquare(*m)) Brett1->RedrawSquare(*m);
            *m = -1;
        }
    }
}

// ---------------------------------------------------------------------------
// Navigation

void TMDIBrett::sbBackClick() {
    Notation1->Notation().MoveBack();
}

void TMDIBrett::sbAheadClick() {
    Notation1->Notation().MoveForward();
}

void TMDIBrett::sbPrevClick() {
    Notation1->Notation().PrevVariationStart();
}

void TMDIBrett::sbNextClick() {
    Notation1->Notation().NextVariationStart();
}

void TMDIBrett::bNextMainClick() {
    TNotation& n = Notation1->Notation();
    const bool exists = n.CurrentMove ? n.CurrentMove->Next != nullptr : n.HasMoves() && !n.Busy();
    if (!exists || n.Busy()) {
        SetAutoplay(false);
        return;
    }
    StopBuiltinSearch();
    uint8_t from = 0, to = 0, promotion = 0, castling = 0;
    if (!n.MoveForwardMain(from, to, promotion, castling) || !n.CurrentMove) {
        SetAutoplay(false);
        return;
    }
    const TZug z = n.CurrentMove->Zug;
    ClearEngineMarks();
    Brett1->MakeMove(z.From, z.To, z.CastlingKind == 3 || z.CastlingKind == 4, z.Promotion);
    if (BoardStellung() != n.WorkBoard) Brett1->SetStellung(n.WorkBoard, n.WorkMove);
    PositionChanged();
    AnalysisRestart();
}

bool TMDIBrett::FormKeyDown(int Key) {
    switch (Key) {
    case Qt::Key_Escape:
        CloseWindow();
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down: {
        if (!Notation1->isEnabled()) return true;
        QKeyEvent k(QEvent::KeyPress, Key, Qt::NoModifier);
        QApplication::sendEvent(Notation1, &k);
        return true;
    }
    case Qt::Key_Space:
        MoveNowKey();
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Games of the source list

void TMDIBrett::bPrevClick() {
    StepListGame(-1);
}

void TMDIBrett::bNextClick() {
    StepListGame(+1);
}

void TMDIBrett::StepListGame(int Dir) {
    TPGN* pgn = SourcePGN();
    if (!pgn || pgn->ItemCount() <= 0) return;
    int row = -1;
    if (FSourceTactic) {
        const std::vector<int> picks = bw::TacticPicks();
        const int count = static_cast<int>(picks.size());
        if (count == 0) return;
        int k = FSourceIndex;
        if (Dir < 0) {
            if (k < 1) {
                QApplication::beep();
                k = count;
            }
            k = k - 1;
        } else if (k >= count - 1) {
            QApplication::beep();
            k = 0;
        } else {
            k = k + 1;
        }
        row = picks[static_cast<size_t>(k)];
        ShowListGame(row, k);
        return;
    }
    TPGNList* list = SourceList();
    if (!list) return;
    if (!AskSaveGame()) return;
    const int n = list->ItemCount();
    if (n <= 0) return;
    const int cur = list->ItemIndex();
    if (Dir < 0) {
        if (cur == -1)
            row = n - 1;
        else if (cur == 0) {
            QApplication::beep();
            row = n - 1;
        } else
            row = cur - 1;
    } else {
        if (cur == -1)
            row = 0;
        else if (cur >= n - 1) {
            QApplication::beep();
            row = 0;
        } else
            row = cur + 1;
    }
    if (cur >= 0) list->SetSelected(cur, false);
    list->SetSelected(row, true);
    list->SetItemIndex(row);
    ShowListGame(row, -1);
}

void TMDIBrett::ShowListGame(int Row, int Pick) {
    TPGN* pgn = SourcePGN();
    if (!pgn) return;
    int gameNo = -1;
    std::string text;
    pgn->GetGame(pgn->GameIndex(Row), gameNo, text);
    if (text.empty()) return; // nothing read: the window stays as it was
    Brett1->UpdateLock = true;
    Notation1->Notation().LoadPGN(text);
    Brett1->UpdateLock = false;
    Brett1->RedrawAll();
    Notation1->Notation().SetModified(false);
    sbReplace->setEnabled(false);
    SetCaptionFromGame();
    if (FSourceTactic) {
        FSourceIndex = Pick;
        lForderung->setText(ForderungText());
        CoverNotation();
        pForderung->setVisible(true);
    } else {
        FSourceIndex = gameNo;
    }
}

// ---------------------------------------------------------------------------
// New game, setup, FEN

void TMDIBrett::bNewClick() {
    if (FTraining) return;
    if (!AskSaveGame()) return;
    const bool frc = IsFRC();
    TNotation& n = Notation1->Notation();
    n.NewGame();
    if (frc) NewFischerStart();
    n.SetModified(false);
    sbReplace->setEnabled(false);
    SetCaptionFromGame();
    FSourceIndex = -1;
    FSourceList = nullptr;
    bPrev->setEnabled(false);
    bNext->setEnabled(false);
    PositionChanged();
}

void TMDIBrett::NewFischerStart() {
    TZug zug = BoardZug();
    zug = TZug{};
    zug.CastlingRights = AllCastlingRights;
    zug.Side = 1;
    Brett1->SetStellung(RandomFischerStellung(), zug);
    const TSchachbrett board = BoardStellung();
    FischerInfoFromStellung(&FFischerInfo, board);
    Notation1FischerInfo(&Notation1->Notation(), FFischerInfo);
    Notation1->Notation().SetStartPosition(board, BoardZug(), 1);
}

void TMDIBrett::mAufbauenClick() {
    Brett1->Aufbauen(false);
}

void TMDIBrett::mInsertFENClick() {
    if (!AskSaveGame()) return;
    if (!Brett1->FENInsert()) return;
    // A text that names a Chess960 position says its castlings itself.
    if (!IsFRC() || Brett1->NewFischerInfo.Fischer) return;
    const int answer = bw::Message(bw::Text(0), bw::TMsgType::Confirmation, bw::mbYes | bw::mbNo);
    TZug zug = BoardZug();
    if (answer == bw::mrYes) {
        FischerInfoFromStellung(&FFischerInfo, BoardStellung());
        Notation1FischerInfo(&Notation1->Notation(), FFischerInfo);
        zug.CastlingRights = AllCastlingRights;
    } else {
        zug.CastlingRights = 0;
    }
    const TSchachbrett board = BoardStellung();
    Brett1->SetStellung(board, zug);
    TNotation& n = Notation1->Notation();
    n.SetStartPosition(board, zug, -1);
    // The notation grants a Chess960 start array all rights; the answer No
    // takes them away again.
    n.GameData.Zug.CastlingRights = zug.CastlingRights;
    n.WorkMove.CastlingRights = zug.CastlingRights;
    PositionChanged();
}

// ---------------------------------------------------------------------------
// Start from the frame

void TMDIBrett::StartGame(TPGN* PGN, const std::string& Text, int GameNo, bool FRC, bool Training) {
    FTraining = Training || (PGN && PGN == bw::TacticPGN());
    Brett1->UpdateLock = true;
    if (FTraining) {
        FSourceTactic = PGN;
        FSourceList = nullptr;
    } else {
        FSourceTactic = nullptr;
        FSourceList = ListOf(PGN);
    }
    FSourceIndex = GameNo;
    TNotation& n = Notation1->Notation();
    if (!Text.empty()) {
        n.LoadPGN(Text);
        n.SetModified(false);
        bPrev->setEnabled(PGN != nullptr);
        bNext->setEnabled(PGN != nullptr);
    } else if (FRC) {
        Brett1->UpdateLock = false;
        NewFischerStart();
        Brett1->UpdateLock = true;
        n.SetModified(false);
        sbReplace->setEnabled(false);
    }
    Brett1->UpdateLock = false;
    Brett1->RedrawAll();
    PositionChanged();
    SetCaptionFromGame();
    Splitter1Moved();

    if (FTraining) {
        for (QWidget* w : std::initializer_list<QWidget*>{sbReplace, sbSave, bUndo, bCut, bDelete,
                                                          mAufwerten, bComment, bNew})
            w->setEnabled(false);
        Brett1->setContextMenuPolicy(Qt::NoContextMenu);
        Notation1->setContextMenuPolicy(Qt::NoContextMenu);
        Brett1->Ziehenmoeglich = false;
        lForderung->setText(ForderungText());
        CoverNotation();
        pForderung->setVisible(true);
        // In training the list position is the pick of the trainer.
        const std::vector<int> picks = bw::TacticPicks();
        FSourceIndex = -1;
        for (size_t k = 0; k < picks.size(); ++k) {
            if (PGN && PGN->GameIndex(picks[k]) == GameNo) {
                FSourceIndex = static_cast<int>(k);
                break;
            }
        }
    }
}

QString TMDIBrett::ForderungText() {
    const TPartiedaten& g = Notation1->Notation().GameData;
    const std::string& a = g.EventData.Annotator;
    if (a.empty() || a[0] != 'T') return {};
    const QString first = bw::Text(g.Zug.Side == 1 ? 204 : 205);
    QString second;
    if (a.find('+') != std::string::npos)
        second = bw::Text(208);
    else if (a.find('!') != std::string::npos)
        second = bw::Text(209);
    else if (a.find('=') != std::string::npos)
        second = bw::Text(210);
    else if (a.size() > 1 && ((a[1] >= '1' && a[1] <= '5') || a[1] == 'V' || a[1] == 'v'))
        second = bw::Text(g.EventData.Result == "1/2-1/2" ? 206 : 207);
    else
        return {};
    return first + QLatin1Char(' ') + second;
}
