// SPDX-License-Identifier: GPL-3.0-or-later
// The tactics trainer: puzzles from t1.pgn beside the program, chosen by a
// theme letter and a difficulty digit in each game's Annotator tag. The
// frame's part (menu, click, filter) is in TMainForm; these are its rules.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The ten theme submenus: German caption, English text number, letter ("0": any).
struct TTacticTheme {
    const char* Name; // object name
    const char* German;
    int TextNumber;
    const char* Letter;
};
extern const TTacticTheme TacticThemes[10];
// The four level items: German caption and English text number.
struct TTacticLevel {
    const char* German;
    int TextNumber;
};
extern const TTacticLevel TacticLevels[4];

// Theme and level of an item's Tag: one digit is level only (theme 0),
// two digits are theme and level.
void SplitTacticTag(int Tag, int& Theme, int& Level);

// True when an Annotator text passes ThemeCode and LevelCode.
bool TacticMatches(const std::string& Annotator, const QString& ThemeCode,
                   const QString& LevelCode);

// Up to ten distinct rows of 0..Rows-1 in the order drawn. Random(n)
// answers a number in 0..n-1.
std::vector<int> DrawTacticPicks(int Rows, const std::function<int(int)>& Random);

// The seed of the next drawing; unset, the clock seeds it. Tests fix it.
std::optional<uint32_t>& TacticSeed();

// Gives the old name of the tactics file the new one, never replacing a
// file; when both exist the new one is used. The file to open, or empty.
QString TacticsFile(const QString& ProgramDir);
