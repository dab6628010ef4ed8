// SPDX-License-Identifier: GPL-3.0-or-later
#include "WBInfo.h"

#include "IniFile.h"

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

bool ReadEngineSection(const kb::IniFile& Ini, TWBInfo& Info) {
    constexpr const char* Sec = "Engine";
    SetEngineDefaults(Info);
    bool fromIni = false;
    auto take = [&](const char* Key, std::string& Field, bool Lines, bool LineEnd) {
        const std::string v = Ini.ReadString(Sec, Key, "");
        if (v.empty()) return;
        Field = Lines ? SpacesToLines(v) : v;
        if (LineEnd) Field += "\r\n";
        fromIni = true;
    };
    take("Parameter", Info.Parameter, false, false);
    take("Init", Info.Init, true, true);
    take("SetPosition", Info.SetPosition, true, false);
    Info.SetPositionGiven = !Ini.ReadString(Sec, "SetPosition", "").empty();
    take("StartAnalyze", Info.StartAnalyze, true, true);
    take("StopAnalyze", Info.StopAnalyze, true, true);
    take("Quit", Info.Quit, true, true);
    take("GetState", Info.GetState, true, true);
    Info.NoParseOutput = Ini.ReadBool(Sec, "NoParseOutput", false);
    return fromIni;
}
