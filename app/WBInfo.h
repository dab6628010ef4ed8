// SPDX-License-Identifier: GPL-3.0-or-later
// TWBInfo: the command set and the process of one external engine run. The
// main window holds one as the template read from the ini; a board window
// fills in the process when it starts an engine and hands a copy to its
// worker.
#pragma once

#include <string>
#include <sys/types.h>

namespace kb {
class IniFile;
}

struct TWBInfo {
    pid_t hProcess = 0; // the engine process, 0 when none runs
    pid_t dwProcessId = 0;
    int hWrite = -1;         // our end of the engine's standard input
    int hRead = -1;          // our end of the engine's standard output and error
    std::string Parameter;   // arguments after the executable, split at blanks
    std::string Init;        // sent once after the start
    std::string SetPosition; // "setboard" (any case): FEN mode, else the edit command
    std::string StartAnalyze;
    std::string StopAnalyze;
    std::string Quit;
    std::string GetState;
    bool NoParseOutput = false; // show the engine's output unchanged
    std::string GameFile;       // deleted when the run ends; empty for none
    // The user's settings named the way positions go out: the engine's own
    // feature answers do not change it.
    bool SetPositionGiven = false;
};

// The command set used when the ini has no [Engine] section: CRAFTY's. Inline
// so that the engine workers, which use only this header, share it.
inline void SetEngineDefaults(TWBInfo& Info) {
    Info.Parameter = "log=off hash=1000000";
    Info.Init = "xboard\r\npost\r\nforce\r\n";
    Info.SetPosition = "setboard";
    Info.StartAnalyze = "post\r\nanalyze\r\n";
    Info.StopAnalyze = "exit\r\n";
    Info.Quit = "quit\r\n";
    Info.GetState = ".\r\n";
    Info.NoParseOutput = false;
}

// Text without leading and trailing blanks and control characters, each run
// of spaces inside it turned into one CR LF: "xboard   post" -> "xboard\r\npost".
std::string SpacesToLines(const std::string& Text);

// The defaults, then the ini's [Engine] keys over them. True when one of the
// command keys (all but NoParseOutput) gave a value.
bool ReadEngineSection(const kb::IniFile& Ini, TWBInfo& Info);
