// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: the board window. One game on a board beside its notation, with
// the toolbar, navigation, annotation menus, clipboard, saving into an open
// game list, clocks and the engine hooks.
//
// The handlers are split by concern: BrettWin.cpp (creation, layout, board
// size, closing), BrettWinMoves.cpp (moves, navigation, keys, games of the
// list, new game, setup), BrettWinEdit.cpp (annotations, comment, clipboard,
// menus), BrettWinSave.cpp (saving), BrettWinEngines.cpp (analysis, play,
// clocks, autoplay, engine menu).
#pragma once

#include "AThread.h"
#include "AThreadWB.h"
#include "Brett.h"
#include "MdiWindows.h"
#include "MiniMax.h"
#include "NotationWidget.h"
#include "PGNList.h"
#include "TimeLabel.h"

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QToolButton;
class QFrame;

namespace kb {
class TPGNList;
}

class TMDIBrett;
struct TMemoBox;

// The panel that carries the board and its coordinate border.
class TBoardPanel : public QWidget {
    Q_OBJECT
public:
    TBoardPanel(QWidget* Parent, int Bevel, int Border);
    int BevelWidth() const { return bevel_; }
    int BorderWidth() const { return border_; }
    std::function<void()> OnMouseMove;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;

private:
    int bevel_;
    int border_;
};

class TMDIBrett : public QWidget, public TBoardWindowIntf {
    Q_OBJECT

public:
    explicit TMDIBrett(QWidget* Parent = nullptr);
    ~TMDIBrett() override;

    // --- the frame's view ---------------------------------------------------
    QWidget* Window() override { return this; }
    kb::TPGN* SourcePGN() const override;
    int GameNumber() const override { return FSourceIndex; }
    void BuildEnginesMenu() override;
    void StartGame(kb::TPGN* PGN, const std::string& Text, int GameNo, bool FRC,
                   bool Training) override;
    void SuspendThreads() override;
    void ResumeThreads() override;
    void ApplyNotationSettings() override;
    void ApplyBoardSettings() override;
    QRect InitialGeometry() const override;
    bool InitiallyMaximized() const override { return FInitialMaximized; }
    void ReleaseList() override;
    bool CloseQuery() override;
    void CloseAgreed() override;

    // Runs the window's modal dialogs (through the program's answerer).
    int RunModal(QDialog& Dialog);

    // --- components ---------------------------------------------------------
    QWidget* pButtonLeiste = nullptr;
    QWidget* pButtons = nullptr;
    QToolButton* sbReplace = nullptr;
    QToolButton* sbSave = nullptr;
    QToolButton* mGameData = nullptr;
    QToolButton* bNew = nullptr;
    QToolButton* bPrev = nullptr;
    QToolButton* bNext = nullptr;
    QToolButton* bUndo = nullptr;
    QToolButton* bCut = nullptr;
    QLabel* lFRC = nullptr;
    QWidget* pPu = nullptr;
    QToolButton* bDelete = nullptr;
    QToolButton* mAufwerten = nullptr;
    QToolButton* bComment = nullptr;
    QToolButton* sbPlay = nullptr;
    QWidget* pEngines = nullptr;
    QToolButton* sbAnalyse = nullptr;

    QSplitter* Splitter1 = nullptr;
    QWidget* pBrett = nullptr;
    TBoardPanel* pBoard = nullptr;
    kb::TBrett* Brett1 = nullptr;
    QWidget* pNavigation = nullptr;
    QToolButton* bAutoplay = nullptr;
    QToolButton* sbPrev = nullptr;
    QToolButton* sbBack = nullptr;
    QToolButton* sbAhead = nullptr;
    QToolButton* bNextMain = nullptr;
    QToolButton* sbNext = nullptr;

    QWidget* pNotation = nullptr;
    QWidget* pTime = nullptr;
    kb::TTimeLabel* tlWhite = nullptr;
    kb::TTimeLabel* tlBlack = nullptr;
    kb::TNotationWidget* Notation1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QFrame* pForderung = nullptr;
    QLabel* lForderung = nullptr;

    QMenu* puBrett = nullptr;
    QAction *mDiaCopy = nullptr, *mFENCopy = nullptr, *mPrint = nullptr, *mAufbauen = nullptr,
            *mInsertFEN = nullptr, *mDrehen = nullptr, *mMessages = nullptr, *Blind1 = nullptr;
    QMenu* puNotation = nullptr;
    QMenu* mStellungsBewertung = nullptr;
    QAction *mPGNCopy1 = nullptr, *mPGNInsert = nullptr, *Nichts1 = nullptr, *Nichts2 = nullptr;
    QMenu* puCut = nullptr;
    QAction *mPrev = nullptr, *mNext = nullptr;
    QMenu* puMiniMax = nullptr;
    QAction* mStop = nullptr;
    QMenu* puEngines = nullptr;

    QTimer* TimerEngineReactivate = nullptr;
    QTimer* AutoplayTimer = nullptr;
    QTimer* Timer1 = nullptr;

    kb::TMiniMax MiniMax1;
    kb::TMiniMax MMCheck;

    // --- own state ----------------------------------------------------------
    bool FMessagesOff = false;
    // The engine's next answer is to be played also in analysis (Space).
    bool FMoveNow = false;
    // The workers: at most one of them exists. Both are joined before the
    // window is freed.
    std::unique_ptr<kb::TAnalyseThread> FAnalyseThread;
    std::unique_ptr<kb::TAnalyseThreadWB> FEngineThread;
    // The external engine the watchdog restarts (its entry in the engines
    // list, which may change meanwhile), and how often it has done so in a row.
    QString FReactivateEngine;
    int FReactivations = 0;
    // The watchdog gave the external engine up and stopped it: the memo
    // says why until another choice or analysis off.
    bool FEngineGivenUp = false;
    // The position shown is mate or stalemate (StatusMated, StatusStalemate),
    // which the memo says instead of the external engine; 0 otherwise.
    int FEngineOver = 0;
    // The memo texts of the current worker.
    std::shared_ptr<TMemoBox> FMemoBox;
    // LockBoards holds the workers.
    bool FLocked = false;
    // The evaluation the think-time control reads (tests put their own).
    std::function<double()> FEngineValue;
    QStringList FDatabases;
    std::vector<int> FTickValues;
    int32_t FMarkFrom = -1;
    int32_t FMarkTo = -1;
    int FSourceIndex = -1;
    kb::TFischerInfo FFischerInfo{};
    std::array<std::array<QLabel*, 16>, 2> FRankFileLabels{};
    int FMargin = 0;
    bool FTraining = false;
    // Number of the position the engine searches; an answer for an older
    // one is dropped.
    int FSearchNo = 0;

    // --- operations (names as the handlers of the form) ----------------------
    void Splitter1Moved();
    // Puts the splitter at Width (the board pane's width) and sizes the board,
    // as a drag of the splitter does.
    void SetBoardPaneWidth(int Width);
    int BoardPaneWidth() const { return FBrettWidth; }
    void SetBoardSize(int S);
    static int SquareSizeForWidth(int Width);
    // Height of the board pane that shows a board of square size S whole,
    // with the navigation buttons below it.
    int PaneHeightFor(int S) const;
    // The square size the pane's width gives, capped by what the laid-out
    // pane shows whole.
    int FittingSquareSize() const;
    // Grows the window (inside the work area) until the pane is PaneHeight high.
    void GrowForBoard(int PaneHeight);
    // The notation pane's least width: a numbered move pair in its font.
    void KeepNotationReadable();
    // Cascade sizes windows by it: the whole board and room for the notation.
    QSize sizeHint() const override;
    static kb::TFigurenset FigurenForSize(int S);
    void PlaceCoordinateLabels(bool Visible);
    void mDrehenClick();
    void SetCaptionFromGame();
    QString ForderungText();
    // Lays pForderung over the whole notation.
    void CoverNotation();
    bool IsTraining() const { return FTraining; }

    // Moves and notation events.
    void Brett1MoveTry(kb::TBrett* Sender, bool& Legal);
    void Brett1MovePart(kb::TBrett* Sender, uint8_t Teilfeld, uint8_t& Zugvorschlag);
    void Brett1MoveDone(kb::TBrett* Sender);
    void Brett1NewPosition(kb::TBrett* Sender, const kb::TSchachbrett& Stellung,
                           const kb::TZug& Zug, int Z);
    void Notation1MoveChange(kb::TNotation* Sender, kb::TZug Zug, kb::TSchachbrett Stellung,
                             bool NextMove);
    void Notation1FischerInfo(kb::TNotation* Sender, kb::TFischerInfo Info);
    void Notation1Error(kb::TNotation* Sender, const std::string& Text);
    void Notation13Repetition(kb::TNotation* Sender);
    void Notation150MovesRule(kb::TNotation* Sender);
    void Notation1GameChanged(kb::TNotation* Sender);
    void MarkEngineMove(int32_t From, int32_t To);
    void ClearEngineMarks();

    // Navigation and games of the list.
    void sbBackClick();
    void sbAheadClick();
    void sbPrevClick();
    void sbNextClick();
    void bNextMainClick();
    void bPrevClick();
    void bNextClick();
    void bNewClick();
    void mAufbauenClick();
    void mInsertFENClick();

    // Editing, annotations, clipboard, menus.
    void bDeleteClick();
    void mAufwertenClick();
    void bUndoClick();
    void bCutClick();
    void mPrevClick();
    void mNextClick();
    void bCommentClick();
    void mPGNCopy1Click();
    void mPGNInsertClick();
    void mFENCopyClick();
    void mDiaCopyClick();
    void mMessagesClick();
    void Blind1Click();
    void mPrintClick();
    void SetMoveGlyph(const char* Glyph);
    void SetPositionGlyph(uint8_t Nag);

    // Saving.
    bool SelectDatabases();
    void sbSaveClick();
    void mGameDataClick();
    void EditGameData(bool Save);
    void sbReplaceClick();
    // False when the caller must abandon what it was about to do.
    bool AskSaveGame();

    // Engines, play, clocks, autoplay (BrettWinEngines.cpp).
    void AnalysisRestart();
    void StopAnalysis();
    void AnalysisOff();
    void sbAnalyseClick();
    void sbPlayClick();
    void mStopClick();
    void EngineMenuClick(int Tag);
    void Timer1Timer();
    void TimerEngineReactivateTimer();
    void StartThinkTimer();
    void SwitchClocks();
    void StopClocks();
    void EnableControls(bool E);
    void SetAutoplay(bool On);
    void bAutoplayClick();
    void AutoplayTimerTimer();
    bool ValuesStable(int N) const;
    void tlWhiteClick();
    void tlBlackClick();
    void ClockClick(kb::TTimeLabel* Clicked);
    void tlWhiteZue();
    void tlBlackZue();
    void MoveNowKey();
    // A worker searches or an external engine runs.
    bool ThreadRunning() const;
    bool StartEngine(const QString& Path);
    // Mate and stalemate are the board's to tell: the external engine stops
    // thinking and the memo says which. False when the game goes on.
    bool EngineOnFinishedPosition();
    // The started process, or null (the file is missing or cannot be run).
    std::unique_ptr<kb::TEngineProcess> StartEngineProcess(const QString& Path,
                                                           const TWBInfo& Info);
    QString CraftyGameFile() const;
    // Snapshots of the shown position for the workers.
    kb::TEnginePosition EnginePosition() const;
    kb::TSearchRequest SearchRequest() const;
    void EngineStatus(const QString& Text);
    // The engine's move for search SearchNo, on the GUI thread.
    void WMEngineMove(kb::TZug Zug, int Status, int SearchNo);
    void MiniMax1Trace(const QString& S);

    // Captions of the current language.
    void ApplyLanguage() override;
    // Chooses the language (0 German, 1 the other, -1 as it is) and applies it.
    void SetLanguage(int Column);
    // Status-line hint of the item under the mouse, for the frame.
    std::function<void(const QString& Hint)> OnHint;

    // Closes the window (its MDI sub-window when it has one).
    void CloseWindow();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildToolbar();
    void BuildBoardPane();
    void BuildNotationPane();
    void BuildMenus();
    void BuildNotationMenu();
    void RegisterCaptions();
    void ConnectEvents();
    void ApplySettings();
    void InstallKeyPreview(QWidget* W);
    bool FormKeyDown(int Key);
    // Loads a game fetched from the source list (previous / next).
    void ShowListGame(int Row, int Pick);
    void StepListGame(int Dir);
    void NewFischerStart();
    bool IsFRC() const;
    // The shown position changed: engine answers for the old one are void.
    void PositionChanged();
    void ConnectEngineEvents();
    // Ends a running built-in search without its answer.
    void StopBuiltinSearch();
    kb::TPGNList* SourceList() const;
    kb::TZug BoardZug() const;
    kb::TSchachbrett BoardStellung() const;
    void BindFischer(const kb::TFischerInfo* Info);
    bool FormCloseQuery();
    // The close after the question: timers, worker, geometry back to the frame.
    void FinishClose();
    void StoreGeometryBack();

    // Registers an item's German caption or hint with the string table
    // (a number below 0: the German text in every language).
    void Caption(QObject* O, const QString& German, int Number);
    void Hint(QObject* O, const QString& German, int Number);

    // The list the game came from; null when none or when its window closed.
    QPointer<kb::TPGNList> FSourceList;
    kb::TPGN* FSourceTactic = nullptr;
    bool FClosing = false;
    // The frame's close: every window agreed, so this one closes unasked.
    bool FCloseAgreed = false;
    bool FShownOnce = false;
    bool FInKey = false;
    int FBrettWidth = 0;
    QRect FInitialRect;
    bool FInitialMaximized = false;
};
