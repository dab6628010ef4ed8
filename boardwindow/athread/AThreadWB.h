// SPDX-License-Identifier: GPL-3.0-or-later
// TAnalyseThreadWB: drives one external xboard engine for a board window.
// Two owned threads: the writer drains the one command queue (each command
// one write, so the window never writes to the pipe), the reader splits the
// engine's output into lines and turns them into memo texts. The window
// hands a snapshot of the position with every restart; nothing here reads
// the window.
#pragma once

#include "EnginePosition.h"
#include "EngineProcess.h"
#include "SchachProcs.h"
#include "WBInfo.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kb {

// Command set of the general column and of engines named like CRAFTY.
void SetGeneralEngineCommands(TWBInfo& Info);
void SetCraftyEngineCommands(TWBInfo& Info);
bool IsCraftyEngine(const std::string& Path);
// The command set a window uses for the engine at Path: Template as read
// from the settings (FromIni), else the general column; the CRAFTY column
// for engines named so. Only CRAFTY gets the default command-line words;
// other engines get Parameter words only when the settings gave them.
TWBInfo EngineCommandsFor(const std::string& Path, const TWBInfo& Template, bool FromIni,
                          const std::string& DefaultParameter);
// "game.001", "game.002", ... in Folder: the first one created here
// (exclusively, so two windows or two copies never share one); empty when
// none could be created.
std::string CraftyGameFile(const std::string& Folder);

// The writes that put Pos on the engine and start it thinking. Fixed gets
// how many of Pos.Moves the engine cannot take back with "undo": those it
// was not told as moves.
// With Trailing, for an engine that has analysed before (some refuse moves
// of a game told in force mode after an analysis): an engine without FEN is
// given the position itself in edit mode, or the last position of the game
// before it that edit mode states exactly; Trailing gets the moves from
// there, to be played while it analyses.
bool IsFenMode(const TWBInfo& Info);
std::vector<std::string> PositionCommands(const TWBInfo& Info, const TEnginePosition& Pos,
                                          size_t* Fixed = nullptr,
                                          std::vector<std::string>* Trailing = nullptr);
// The moves an engine in analysis mode on Told (whose first Fixed moves it
// cannot take back) is sent to reach Pos: "undo" back to where the two
// games part, then Pos's moves from there, as a user steps through a game.
// Empty when Pos is not reached so (another start, a Chess960 game, a move
// it cannot take back, an "undo" when Undo is false, more than MaxSteps
// steps): that position is told anew. An engine in analysis thinks about
// every position on the way, and some lose their way (or stop answering)
// when many of them come at once.
std::vector<std::string> WalkCommands(const TEnginePosition& Told, size_t Fixed,
                                      const TEnginePosition& Pos, bool Undo = true,
                                      size_t MaxSteps = SIZE_MAX);
// Info analyses with "analyze" and stops with "exit", so that an engine
// on a position takes moves and "undo" while it thinks.
bool WalksInAnalysis(const TWBInfo& Info);
// CR LF ends become LF; anything else is sent as it stands.
std::string ToLf(const std::string& Text);

// One line of engine output as the memo shows it; MoveNo is the number of
// the next move of the analysed position. With Pos, a line about another
// position gives an empty text (it is not shown): one with a move that
// cannot be played in its turn there, or a check mark on a move that gives
// no check. The moves are cut before the first word that is no move.
std::string ParseOutput(const std::string& Line, int MoveNo, bool NoParseOutput,
                        const TEnginePosition* Pos = nullptr);

// The memo's word for an engine whose output ended, in the program's
// language.
const char* EngineTerminatedText(bool English);

// A line of thinking output: ply, score, time and nodes as numbers (the ply
// may carry one mark such as "." or "&"), then the moves.
bool IsThinkingLine(const std::string& Line);
// The engine refused a command: "Error (...): COMMAND", "Illegal move...",
// "tellusererror ...". Position is set when the refused command was one of
// those that put a position on the engine (its thinking then belongs to
// another position).
bool IsErrorLine(const std::string& Line, bool* Position = nullptr);
// The answer a line of engine output holds, trimmed. An engine that shows a
// prompt ("White (1) : ") writes it without a line end, so what it says
// next (a pong, a thinking line, an error, a move, a feature, a result)
// comes behind one prompt or more ("White (1) : White (1) : pong 5"): the
// answer is found after the colon that ends them, and the prompts standing
// before any other line are taken off it.
std::string Answer(const std::string& Line);
// The NAME=VALUE pairs of a "feature" line, values without their quotes.
std::vector<std::pair<std::string, std::string>> ParseFeatures(const std::string& Line);

class TAnalyseThreadWB {
public:
    // Longest line kept from the engine; the rest of a longer line is dropped.
    static constexpr size_t MaxLine = 1024;
    // ... except a feature line, kept up to this length.
    static constexpr size_t MaxFeatureLine = 64 * 1024;
    // How long an engine asked with "protover 2" gets to say "feature done=1"
    // (engines that know no features say nothing), and how long at most one
    // that asked for more time with "done=0".
    static constexpr std::chrono::milliseconds FeatureWait{2000};
    static constexpr std::chrono::milliseconds FeatureLongWait{10000};
    // An engine that has not said a word yet gets one line at a time, each
    // once it has taken the one before (or after LineWait): some engines read
    // their first input through a buffer and drop what is left in it when
    // their second thread comes up, and show nothing before. That thread
    // gets its turn only when a line arrives, so while such an engine stays
    // silent in the handshake it gets a harmless "force" every NudgeWait.
    // An engine that asked for more time with "done=0" and takes "ping" is
    // pinged every PingWait.
    static constexpr std::chrono::milliseconds NudgeWait{30};
    static constexpr std::chrono::milliseconds PingWait{150};
    static constexpr std::chrono::milliseconds LineWait{1000};
    // Steps that go out as moves or "undo" while the engine analyses; a
    // longer way is told anew, after the engine has left its analysis
    // (answered the ping after "exit"), or PongWait has passed.
    static constexpr size_t MaxWalk = 1;
    static constexpr std::chrono::milliseconds PongWait{1000};

    using TStatusEvent = std::function<void(const std::string& Text)>;
    // Process is started; Info is this run's own copy of the command set.
    TAnalyseThreadWB(std::unique_ptr<TEngineProcess> Process, const TWBInfo& Info,
                     TStatusEvent OnStatus);
    ~TAnalyseThreadWB(); // Finish

    // Sends Init and "level", then the position; starts both threads.
    void Start(const TEnginePosition& Pos);
    // The position changed: stop thinking and analyse Pos.
    void Restart(const TEnginePosition& Pos);
    // Stop thinking (GetState, StopAnalyze).
    void StopEngine();
    // Quit, wait up to Grace, then SIGTERM and SIGKILL; both threads joined,
    // the child reaped, the game file deleted. Once only; later calls return
    // the first result.
    TEngineProcess::TEnd Finish(std::chrono::milliseconds Grace = std::chrono::seconds(3));
    // The first step of Finish, which never waits: no more texts, the quit
    // commands queued, a paused engine continued.
    void BeginFinish();
    int ExitStatus() const; // wait status of the reaped engine

    // Pause reasons: the user's and the frame's lock. The engine is stopped
    // with SIGSTOP while any reason holds, continued when none does.
    enum : unsigned { PauseUser = 1, PauseLock = 2 };
    void SetPaused(unsigned Reason, bool On);
    bool Paused() const;

    // For the watchdog: the engine's output ended, or it has not said a word
    // since the last position was sent.
    bool Dead() const;
    bool Answered() const;
    // The last line the engine said that was no thinking line (a message,
    // an error): once it has ended, most often why.
    std::string LastWords() const;
    // Everything the engine wrote has been read: its last words are final.
    // An engine whose input is gone may still be writing them.
    bool OutputEnded() const;
    // The engine has given thinking lines for its position and none of them
    // fits it (nor an error): the memo says so, until a line fits.
    void NoteUnfitLines();
    // Not to be judged yet: the engine is still in its handshake (which
    // may take up to FeatureLongWait), or its position went out less than
    // Grace ago.
    bool Settling(std::chrono::milliseconds Grace) const;
    // The engine's answer to "setboard": 1 it takes FEN, 0 only edit mode;
    // -1 when it said nothing about it.
    int SetboardFeature() const;
    // The command set positions go out with: Info, with the way chosen by
    // the engine's features unless the settings named one.
    TWBInfo PositionInfo() const;
    const TWBInfo& Info() const { return info_; }
    pid_t Pid() const { return process_->Pid(); }

private:
    void Enqueue(std::vector<std::string> Writes);
    void WriterLoop();
    void ReaderLoop();
    void WaitForExit();
    void Line(const std::string& L);
    void Features(const std::string& L);
    // ErrorLine refuses one of the commands that stop thinking.
    bool StopCommand(const std::string& ErrorLine) const;
    // Writes Text (a line at a time while the engine has said nothing, or
    // Paced); false when the engine's input is gone. Lock is released while
    // writing.
    bool Send(std::unique_lock<std::mutex>& Lock, const std::string& Text, bool Paced = false);
    // Waits for the features after "protover 2", nudging an engine that is
    // slow to act on its input; false when a write failed.
    bool Handshake(std::unique_lock<std::mutex>& Lock);
    TWBInfo PositionInfoLocked() const;
    void ShowStatus(const std::string& Text);
    // A text the engine gave about position Gen: shown only while that is
    // the position asked for last.
    void ShowFor(int Gen, const std::string& Text);

    std::unique_ptr<TEngineProcess> process_;
    TWBInfo info_;
    TStatusEvent onStatus_;

    // Held while a text goes to the memo, so that none about an earlier
    // position follows "- Initialize ...". Taken before m_.
    std::mutex statusM_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    struct TWrite {
        std::string Text;
        // A position, turned into commands when it is written: by then the
        // engine has said how it takes positions.
        std::optional<TEnginePosition> Pos;
        bool Handshake = false; // "protover 2" went out: wait for the features
        // A line at a time, each once the engine has read the one before:
        // an engine that looks for input only now and then while it thinks
        // reads a batch of commands into its buffer with the first, and
        // then sees nothing more to read until the next write.
        bool Paced = false;
        int Req = 0; // the position's number among those asked for
        // Pos follows a position the engine may be thinking about: the
        // engine steps there with moves, or stops thinking first.
        bool Follows = false;
        bool Stop = false; // stop thinking, when it is thinking
    };
    // Sends GetState and StopAnalyze when the engine thinks about a position
    // (an engine that is not may take "exit" for "quit").
    bool StopThinking(std::unique_lock<std::mutex>& Lock);
    // Puts Pos on the engine (a position write); false when a write failed.
    bool TellPosition(std::unique_lock<std::mutex>& Lock, TWrite& W);
    // The engine refused "undo": the position asked for last is told anew.
    void UndoRefused();
    std::deque<TWrite> queue_;
    std::vector<std::string> replies_; // accepted/rejected for each feature
    bool featuresDone_ = false;
    bool featuresMore_ = false; // "done=0": the engine wants more time
    int featureLines_ = 0;
    bool pingFeature_ = false;
    bool heard_ = false; // the engine has said something
    int setboard_ = -1;
    int errorGen_ = -1;    // an error about the position of that number
    int thinkingGen_ = -1; // a thinking line shown for the position of that number
    int unfitGen_ = -1;    // a thinking line that fits not the position of that number
    int unfitNoted_ = -1;  // the memo said so for that position
    bool english_ = true;  // language of the position asked for last
    bool stopWriter_ = false;
    bool finishing_ = false;
    bool ending_ = false;
    bool finished_ = false;
    bool dead_ = false;
    bool writeFailed_ = false;
    unsigned paused_ = 0;
    int moveNo_ = 1;           // of the position the engine works on
    TEnginePosition position_; // that position, without its moves
    int positionGen_ = 0;
    int requested_ = 0;  // positions asked for (Restart)
    int writtenReq_ = 0; // the last of them written
    int answeredGen_ = 0;
    int unsentGen_ = -1; // a position the engine could not be told exactly
    // The engine thinks about told_ (moves included), of whose moves it
    // cannot take back the first toldFixed_.
    bool thinking_ = false;
    bool analysed_ = false; // it has been thinking about a position
    std::optional<TEnginePosition> told_;
    size_t toldFixed_ = 0;
    std::optional<TEnginePosition> lastPos_; // the position written last
    int lastReq_ = 0;                        // and its number
    bool noUndo_ = false;                    // the engine refused "undo": positions go anew
    int retellGen_ = -1;                     // that position, whose lines are void
    std::string lastWords_;
    // The engine has "ping": each position is fenced with "ping N", and what
    // the engine says before "pong N" answers commands of earlier positions.
    int pingNo_ = 0;
    int fence_ = 0; // the pong awaited, 0 none
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point positionSent_{};
    TEngineProcess::TEnd end_ = TEngineProcess::TEnd::Running;

    int wake_[2] = {-1, -1}; // wakes the reader out of poll
    std::thread writer_;
    std::thread reader_;
};

// Finishes engine runs away from the GUI thread, so that an engine which
// takes its three seconds to leave freezes no window. Each run gets its own
// thread; all are joined in WaitIdle and when the program ends.
class TEngineReaper {
public:
    static TEngineReaper& Instance();
    ~TEngineReaper();
    // Takes the run over: BeginFinish now, Finish on a thread of its own.
    void Adopt(std::unique_ptr<TAnalyseThreadWB> Run);
    // Returns once every adopted run has finished.
    void WaitIdle();

private:
    void JoinDone(std::unique_lock<std::mutex>& Lock);
    std::mutex m_;
    std::condition_variable cv_;
    struct TEntry {
        std::thread Thread;
        bool Done = false;
    };
    std::list<std::unique_ptr<TEntry>> runs_;
};

} // namespace kb
