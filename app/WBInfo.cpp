// SPDX-License-Identifier: GPL-3.0-or-later
#include "WBInfo.h"

void SetEngineDefaults(TWBInfo& Info) {
    Info.Parameter = "log=off hash=1000000";
    Info.Init = "xboard\r\npost\r\nforce\r\n";
    Info.SetPosition = "setboard";
    Info.StartAnalyze = "post\r\nanalyze\r\n";
    Info.StopAnalyze = "exit\r\n";
    Info.Quit = "quit\r\n";
    Info.GetState = ".\r\n";
    Info.NoParseOutput = false;
}

std::string SpacesToLines(const std::string& Text) {
    // Blanks and control characters are everything up to the space.
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t b = 0, e = Text.size();
    while (b < e && blank(Text[b]))
        ++b;
    while (e > b && blank(Text[e - 1]))
        --e;
    std::string out;
    out.reserve(e - b + 8);
    for (size_t i = b; i < e; ++i) {
        if (Text[i] == ' ') {
            while (i + 1 < e && Text[i + 1] == ' ')
                ++i;
            out += "\r\n";
        } else {
            out += Text[i];
        }
    }
    return out;
}
