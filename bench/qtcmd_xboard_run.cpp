// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench xboard-run [--ini FILE] [--texts N] SECONDS FEN ENGINE [ARG...]
// kbbench xboard-run [--ini FILE] [--texts N] --game PGNFILE ROW SECONDS ENGINE [ARG...]:
// runs the external-engine worker on FEN (or on the position at the end of
// the main line of the game in ROW of PGNFILE, handed over as a board window
// hands it: the game's start and its moves) for SECONDS with the command set a
// board window would use for ENGINE (the defaults, or the [Engine] section of
// FILE as the settings read it); with --texts the run ends as soon as N memo
// texts were shown, SECONDS being only the upper bound, so that a loaded
// machine gets the same output. Prints every memo text, one per line with its
// CR LF shown as " | ", then how the engine ended and its exit status:
// "end<TAB>quit|terminated|killed<TAB>exit N|signal N".
// kbbench xboard-run [--ini FILE] --game PGNFILE ROW --walk K SECONDS ENGINE [ARG...]:
// the program's own frame on a fresh folder (its ini a copy of FILE), ENGINE
// its only external engine (with ARGs, through a one-line script, as a user
// adds such an engine), the game opened from the command line; the board
// window starts K plies before the end of the game, analyses with the engine
// as its menu starts it, and steps one ply forward with the arrow key every
// SECONDS seconds. Prints, after SECONDS on each position,
// "step<TAB>I<TAB>FEN<TAB>the memo's last line" (I from 0, the start), then
// "restarts<TAB>N": the engine starts beyond the first.
// kbbench xboard-run [--ini FILE] --game PGNFILE ROW --path P1,P2,... SECONDS ENGINE [ARG...]:
// the same window, at the start position with the engine analysing, goes to
// ply P1, P2, ... of the main line (0 the start, "end" its last move) as a
// click on that move does, SECONDS seconds each. Prints after each
// "step<TAB>I<TAB>FEN<TAB>the memo's last line" (I from 1) and
// "wait<TAB>I<TAB>MS": the milliseconds from the jump until the memo first
// showed a line for that position (thinking, or the engine's result), -1
// when none came; then "restarts<TAB>N".
#include "KbBench.h"

#include "AThreadWB.h"
#include "BrettWin.h"
#include "IniFile.h"
#include "KbBenchQt.h"
#include "Main.h"
#include "NotationWidget.h"
#include "PGN.h"
#include "WBInfo.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <sys/wait.h>

namespace {

std::string OneLine(const std::string& Text) {
    std::string out;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') {
            out += " | ";
            ++i;
        } else if (Text[i] == '\n') {
            out += " | ";
        } else {
            out += Text[i];
        }
    }
    return out;
}

// The position a board window on that game shows at the end of its main
// line, as the window hands it to its engine.
bool GamePosition(const std::string& File, int Row, kb::TEnginePosition& Pos) {
    const auto app = kbbench::StartQt(kbbench::Screen::Offscreen);
    kb::TPGN pgn;
    pgn.BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) { Create = false; };
    if (!pgn.SetFileName(File)) {
        std::cerr << "kbbench xboard-run: cannot open " << File << "\n";
        return false;
    }
    int gameNo = -1;
    std::string text;
    pgn.GetGame(pgn.GameIndex(Row), gameNo, text);
    if (text.empty()) {
        std::cerr << "kbbench xboard-run: no game in row " << Row << "\n";
        return false;
    }
    TMDIBrett w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.Brett1->Animation = 0;
    w.StartGame(&pgn, text, gameNo, false, false);
    w.Notation1->Notation().GotoEnd();
    QApplication::processEvents();
    Pos = w.EnginePosition();
    w.Notation1->Notation().SetModified(false);
    return true;
}

// Runs the events for Ms milliseconds; counts the engine runs that replace
// the one before.
void RunFor(TMDIBrett& W, qint64 Ms, pid_t& Pid, int& Restarts) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const pid_t now = W.FEngineThread ? W.FEngineThread->Pid() : 0;
        if (now != 0 && now != Pid) {
            if (Pid != 0) ++Restarts;
            Pid = now;
        }
    } while (clock.elapsed() < Ms);
}

std::string Quoted(const std::string& S) {
    std::string q = "'";
    for (char c : S)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A memo that shows thinking, or the engine's result.
bool ShowsLine(const QString& Memo) {
    static const QRegularExpression result(QStringLiteral("^(1-0|0-1|1/2-1/2)(\\s|$)"));
    return Memo.startsWith(QStringLiteral("Depth: ")) || result.match(Memo).hasMatch();
}

// The main line's move at Ply (1 the first), nil for the start and beyond
// the end.
const kb::TBaum* MainLineMove(const kb::TNotation& N, int Ply) {
    const kb::TBaum* b = N.RootLine ? N.RootLine->Erster : nullptr;
    for (int i = 1; b && i < Ply; ++i)
        b = b->Next;
    return Ply > 0 ? b : nullptr;
}

int MainLinePlies(const kb::TNotation& N) {
    int n = 0;
    for (const kb::TBaum* b = N.RootLine ? N.RootLine->Erster : nullptr; b; b = b->Next)
        ++n;
    return n;
}

// Plies walks that many plies before the end of the game, one at a time;
// otherwise the window jumps along Path (-1 the end).
int Walk(const std::string& Ini, const std::string& Game, int Row, int Plies,
         const std::vector<int>& Path, double Seconds, const std::vector<std::string>& Engine) {
    QTemporaryDir dir;
    const auto app = kbbench::StartProgram(dir);
    if (!dir.isValid()) return 1;
    const QString ini = dir.filePath(QStringLiteral("Kestrelbay.ini"));
    if (!Ini.empty() ? !QFile::copy(QString::fromStdString(Ini), ini)
                     : !QFile(ini).open(QIODevice::WriteOnly)) {
        std::cerr << "kbbench xboard-run: cannot set up the ini\n";
        return 1;
    }
    QString engine = QString::fromStdString(Engine[0]);
    if (!engine.contains(QLatin1Char('/'))) engine = QStandardPaths::findExecutable(engine);
    if (engine.isEmpty() || !QFileInfo(engine).isExecutable()) {
        std::cerr << "kbbench xboard-run: no engine " << Engine[0] << "\n";
        return 1;
    }
    engine = QFileInfo(engine).absoluteFilePath();
    if (Engine.size() > 1) {
        std::string line = "#!/bin/sh\nexec " + Quoted(engine.toStdString());
        for (size_t i = 1; i < Engine.size(); ++i)
            line += " " + Quoted(Engine[i]);
        QFile script(dir.filePath(QFileInfo(engine).fileName()));
        if (!script.open(QIODevice::WriteOnly) ||
            script.write(QByteArray::fromStdString(line + " \"$@\"\n")) < 0 ||
            !script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            std::cerr << "kbbench xboard-run: cannot write the engine script\n";
            return 1;
        }
        engine = script.fileName();
    }

    TMainForm frame(dir.path(), {QString::fromStdString(Game), QString::number(Row)});
    QElapsedTimer clock;
    clock.start();
    while (!frame.StartupDone() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    frame.WBEngines = {engine};
    TMDIBrett* w = nullptr;
    for (TBoardWindowIntf* b : frame.BoardWindows())
        if ((w = dynamic_cast<TMDIBrett*>(b))) break;
    if (!w) {
        std::cerr << "kbbench xboard-run: no game in row " << Row << "\n";
        return 1;
    }
    w->Brett1->Animation = 0;
    auto key = [w](int Key) {
        QKeyEvent k(QEvent::KeyPress, Key, Qt::NoModifier);
        QApplication::sendEvent(w, &k);
        QCoreApplication::processEvents();
    };
    if (Path.empty()) {
        key(Qt::Key_End);
        for (int i = 0; i < Plies; ++i)
            key(Qt::Key_Left);
    } else {
        key(Qt::Key_Home);
    }
    // As the engine menu starts it (its first entry after MiniMax).
    w->BuildEnginesMenu();
    w->sbAnalyse->setChecked(true);
    w->Memo1->setVisible(true);
    QElapsedTimer started;
    started.start();
    w->EngineMenuClick(1);
    if (!w->FEngineThread) {
        std::cerr << "kbbench xboard-run: cannot start " << engine.toStdString() << "\n";
        return 1;
    }
    pid_t pid = 0;
    int restarts = 0;
    const auto ms = static_cast<qint64>(Seconds * 1000);
    auto printStep = [w](size_t I) {
        const kb::TEnginePosition p = w->EnginePosition();
        const QStringList memo = w->Memo1->toPlainText().split(QLatin1Char('\n'));
        std::cout << "step\t" << I << "\t" << kb::StellungToFEN(p.Brett, p.Zug, p.MoveNo, p.Fischer)
                  << "\t" << memo.constLast().toStdString() << "\n"
                  << std::flush;
    };
    if (Path.empty()) {
        for (int i = 0; i <= Plies; ++i) {
            if (i > 0) key(Qt::Key_Right);
            RunFor(*w, ms, pid, restarts);
            printStep(static_cast<size_t>(i));
        }
    } else {
        kb::TNotation& n = w->Notation1->Notation();
        const int last = MainLinePlies(n);
        // The first line the memo shows for the position jumped to.
        QElapsedTimer sinceJump;
        qint64 waited = -1;
        bool waiting = false;
        QObject::connect(w->Memo1, &QPlainTextEdit::textChanged, w, [&] {
            if (waiting && ShowsLine(w->Memo1->toPlainText())) {
                waited = sinceJump.elapsed();
                waiting = false;
            }
        });
        for (size_t i = 0; i < Path.size(); ++i) {
            const int ply = Path[i] < 0 ? last : std::min(Path[i], last);
            const std::vector<kb::TZug> before = w->EnginePosition().Moves;
            waited = -1;
            waiting = true;
            sinceJump.start();
            if (const kb::TBaum* b = MainLineMove(n, ply)) {
                kb::TSchachbrett board;
                w->Notation1->PositionAt(b->TextPos, board);
            } else {
                n.GotoStart();
            }
            // Still on the position it stood on: its line counts.
            const std::vector<kb::TZug> after = w->EnginePosition().Moves;
            const bool same = std::equal(before.begin(), before.end(), after.begin(), after.end(),
                                         [](const kb::TZug& A, const kb::TZug& B) {
                                             return A.From == B.From && A.To == B.To &&
                                                    A.Promotion == B.Promotion;
                                         });
            // The first stop on the start position waits from the engine's
            // start.
            if (same && i == 0) sinceJump = started;
            if (same && ShowsLine(w->Memo1->toPlainText())) {
                waited = sinceJump.elapsed();
                waiting = false;
            }
            RunFor(*w, ms, pid, restarts);
            waiting = false;
            printStep(i + 1);
            std::cout << "wait\t" << i + 1 << "\t" << waited << "\n" << std::flush;
        }
    }
    std::cout << "restarts\t" << restarts << "\n" << std::flush;
    w->Notation1->Notation().SetModified(false);
    w->AnalysisOff();
    kb::TEngineReaper::Instance().WaitIdle();
    return 0;
}

int RunXboard(const kbbench::Args& args) {
    size_t a = 0;
    std::string ini;
    std::string game;
    int row = 0;
    size_t texts = 0;      // 0: run for SECONDS
    int walk = -1;         // plies to walk
    std::vector<int> path; // plies to jump to, -1 the end
    for (;;) {
        if (a < args.size() && args[a] == "--ini") {
            if (a + 1 >= args.size()) return kbbench::UsageError("--ini needs a file");
            ini = args[a + 1];
            a += 2;
        } else if (a < args.size() && args[a] == "--game") {
            if (a + 2 >= args.size() || !kbbench::ParseInt(args[a + 2], 0, 100000000, row))
                return kbbench::UsageError("--game needs a PGN file and a row >= 0");
            game = args[a + 1];
            a += 3;
        } else if (a < args.size() && args[a] == "--walk") {
            if (a + 1 >= args.size() || !kbbench::ParseInt(args[a + 1], 0, 10000, walk))
                return kbbench::UsageError("--walk needs a number of plies");
            a += 2;
        } else if (a < args.size() && args[a] == "--path") {
            if (a + 1 >= args.size()) return kbbench::UsageError("--path needs plies");
            std::string list = args[a + 1];
            for (size_t from = 0; from <= list.size();) {
                size_t comma = list.find(',', from);
                if (comma == std::string::npos) comma = list.size();
                const std::string p = list.substr(from, comma - from);
                int ply = -1;
                if (p != "end" && !kbbench::ParseInt(p, 0, 100000, ply))
                    return kbbench::UsageError("--path needs plies: 0, 12, end, ...");
                path.push_back(ply);
                from = comma + 1;
            }
            a += 2;
        } else if (a < args.size() && args[a] == "--texts") {
            if (a + 1 >= args.size()) return kbbench::UsageError("--texts needs a number");
            const std::string& n = args[a + 1];
            if (std::from_chars(n.data(), n.data() + n.size(), texts).ec != std::errc() ||
                texts == 0)
                return kbbench::UsageError("bad --texts");
            a += 2;
        } else {
            break;
        }
    }
    const size_t need = game.empty() ? 3 : 2; // SECONDS [FEN] ENGINE
    if (args.size() < a + need)
        return kbbench::UsageError(game.empty() ? "SECONDS FEN ENGINE expected"
                                                : "SECONDS ENGINE expected");
    double seconds = 0;
    const std::string& secText = args[a];
    if (std::from_chars(secText.data(), secText.data() + secText.size(), seconds).ec !=
            std::errc() ||
        seconds < 0 || seconds > 3600)
        return kbbench::UsageError("bad SECONDS");
    if (walk >= 0 || !path.empty()) {
        if (game.empty() || texts != 0 || (walk >= 0 && !path.empty()))
            return kbbench::UsageError("--walk or --path needs --game and no --texts");
        return Walk(ini, game, row, walk, path, seconds, {args.begin() + a + 1, args.end()});
    }
    kb::TEnginePosition pos;
    if (game.empty()) {
        uint16_t moveNo = 1;
        kb::TFischerInfo fischer;
        if (!kb::FENToStellung(args[a + 1], pos.Brett, pos.Zug, moveNo, &fischer))
            return kbbench::UsageError("bad FEN");
        pos.MoveNo = moveNo;
        pos.Fischer = fischer.Fischer;
    } else if (!GamePosition(game, row, pos)) {
        return 1;
    }
    const size_t e = a + need - 1; // the engine, then its words
    const std::string engine = args[e];

    TWBInfo tmpl;
    bool fromIni = false;
    if (!ini.empty()) {
        kb::IniFile file(ini);
        if (file.ReadFailed()) return kbbench::UsageError("cannot read " + ini);
        fromIni = ReadEngineSection(file, tmpl);
    } else {
        SetEngineDefaults(tmpl);
    }
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    TWBInfo info = kb::EngineCommandsFor(engine, tmpl, fromIni, defaults.Parameter);

    std::vector<std::string> argv{engine};
    for (size_t i = e + 1; i < args.size(); ++i)
        argv.push_back(args[i]);
    for (const std::string& w : kb::SplitWords(info.Parameter))
        argv.push_back(w);
    auto process = std::make_unique<kb::TEngineProcess>();
    std::string error;
    if (!process->Start(argv, error)) {
        std::cerr << "kbbench xboard-run: " << error << "\n";
        return 1;
    }
    std::mutex m;
    std::condition_variable cv;
    bool done = false; // the engine ended, or the texts wanted were shown
    size_t shown = 0;
    kb::TAnalyseThreadWB worker(std::move(process), info, [&](const std::string& Text) {
        std::lock_guard lk(m);
        // Texts past the wanted number are not printed: the output does not
        // depend on how fast the run is stopped.
        if (texts != 0 && shown >= texts) return;
        std::cout << OneLine(Text) << "\n";
        ++shown;
        if (Text == kb::EngineTerminatedText(pos.English) || (texts != 0 && shown >= texts)) {
            done = true;
            cv.notify_all();
        }
    });
    worker.Start(pos);
    {
        std::unique_lock lk(m);
        cv.wait_for(lk, std::chrono::duration<double>(seconds), [&] { return done; });
    }
    const kb::TEngineProcess::TEnd end = worker.Finish();
    const int st = worker.ExitStatus();
    const char* how = end == kb::TEngineProcess::TEnd::Quit         ? "quit"
                      : end == kb::TEngineProcess::TEnd::Terminated ? "terminated"
                                                                    : "killed";
    std::cout << "end\t" << how << "\t";
    if (WIFEXITED(st))
        std::cout << "exit " << WEXITSTATUS(st) << "\n";
    else if (WIFSIGNALED(st))
        std::cout << "signal " << WTERMSIG(st) << "\n";
    else
        std::cout << "status " << st << "\n";
    std::cout.flush();
    return 0;
}

const kbbench::Command command{"xboard-run",
                               "[--ini FILE] [--texts N] SECONDS FEN ENGINE [ARG...], or with "
                               "--game PGNFILE ROW in place of FEN; [--ini FILE] --game PGNFILE "
                               "ROW --walk K|--path P1,P2,... SECONDS ENGINE [ARG...]",
                               &RunXboard};

} // namespace
