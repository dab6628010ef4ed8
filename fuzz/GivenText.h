// SPDX-License-Identifier: GPL-3.0-or-later
// What a fuzzed game text holds, read here by simple rules of our own and
// not by the notation, so that a load can be checked against its input.
#pragma once

#include "SchachProcs.h"

#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzzgiven {

inline std::vector<std::string_view> Lines(std::string_view t) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < t.size()) {
        size_t j = i;
        while (j < t.size() && t[j] != '\r' && t[j] != '\n')
            ++j;
        out.push_back(t.substr(i, j - i));
        if (j + 1 < t.size() && t[j] == '\r' && t[j + 1] == '\n') ++j;
        i = j + 1;
    }
    return out;
}

// Control characters count as blanks, as for the readers.
inline std::string_view Trim(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ')
        t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ')
        t.remove_suffix(1);
    return t;
}

// Exactly one tag: "[Name "value"]".
inline bool PlainTag(std::string_view t, std::string& Name) {
    if (t.size() < 5 || t[0] != '[' || t.back() != ']') return false;
    size_t i = 1;
    while (i < t.size() && (std::isalnum(static_cast<unsigned char>(t[i])) || t[i] == '_'))
        ++i;
    if (i == 1 || t.substr(i, 2) != " \"") return false;
    for (i += 2; i < t.size(); ++i) {
        if (t[i] == '\\' && i + 1 < t.size() && (t[i + 1] == '"' || t[i + 1] == '\\'))
            ++i;
        else if (t[i] == '"')
            break;
    }
    if (i + 2 != t.size()) return false;
    Name.assign(t.substr(1, t.find(' ') - 1));
    return true;
}

// The tag section and the move text of a game text: the tags start at the
// first line that begins with "[" (all of it is move text without one);
// empty lines and "%" lines among them do not end them.
struct TGame {
    std::vector<std::string_view> Tags; // lines of exactly one plain tag
    bool TagsWhole = true;              // every tag line was one plain tag
    std::vector<std::string_view> Moves;
};

inline TGame Read(std::string_view Text) {
    if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
    TGame g;
    const std::vector<std::string_view> lines = Lines(Text);
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).substr(0, 1) != "[")
        ++i;
    if (i == lines.size()) i = 0;
    std::string name;
    for (; i < lines.size(); ++i) {
        const std::string_view t = Trim(lines[i]);
        if (t.empty() || lines[i][0] == '%') continue;
        if (t[0] != '[') break;
        if (PlainTag(t, name))
            g.Tags.push_back(t);
        else
            g.TagsWhole = false;
    }
    for (; i < lines.size(); ++i)
        if (lines[i].substr(0, 1) != "%") g.Moves.push_back(lines[i]);
    return g;
}

// A move number and a move in English algebraic notation ("1. e4",
// "12...Nxf3", "3.O-O") in the move text of a game whose tag lines are
// plain, outside comments and NAGs, and
// before anything that ends the moves ("*", "-"), opens a variation or
// that a reader may take otherwise (quotes, brackets).
inline bool HoldsMoves(std::string_view Text) {
    const TGame g = Read(Text);
    // Move text may follow tags on their line: not judged here.
    if (!g.TagsWhole) return false;
    bool brace = false;
    for (const std::string_view line : g.Moves) {
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (brace) {
                brace = c != '}';
                continue;
            }
            if (c == '{') {
                brace = true;
                continue;
            }
            if (c == ';') break;
            if (c == '$') {
                while (i + 1 < line.size() && line[i + 1] != ' ' && line[i + 1] != ')')
                    ++i;
                continue;
            }
            if (std::string_view("*-()\"[]").find(c) != std::string_view::npos) return false;
            const bool wordStart = i == 0 || !std::isalnum(static_cast<unsigned char>(line[i - 1]));
            if (!wordStart || !std::isdigit(static_cast<unsigned char>(c))) continue;
            size_t j = i;
            while (j < line.size() && std::isdigit(static_cast<unsigned char>(line[j])))
                ++j;
            if (j == line.size() || line[j] != '.') continue;
            while (j < line.size() && line[j] == '.')
                ++j;
            while (j < line.size() && line[j] == ' ')
                ++j;
            // The move: castling, or [piece][from file][from rank][x]square.
            size_t k = j;
            if (line.substr(k, 5) == "O-O-O")
                k += 5;
            else if (line.substr(k, 3) == "O-O")
                k += 3;
            else {
                if (k < line.size() &&
                    std::string_view("KQRBN").find(line[k]) != std::string_view::npos)
                    ++k;
                const size_t from = k;
                while (k < line.size() && k - from < 5 &&
                       ((line[k] >= 'a' && line[k] <= 'h') || (line[k] >= '1' && line[k] <= '8') ||
                        line[k] == 'x'))
                    ++k;
                const std::string_view body = line.substr(from, k - from);
                if (body.size() < 2 || body.back() < '1' || body.back() > '8' ||
                    body[body.size() - 2] < 'a' || body[body.size() - 2] > 'h')
                    continue;
            }
            if (k == line.size() ||
                std::string_view(" \t+#!?").find(line[k]) != std::string_view::npos)
                return true;
        }
    }
    return false;
}

// The tags whose values the export writes as read: every plain tag of the
// tag section that no field turns into something else, by the name the
// export gives it, with its value. Empty when the section holds a tag line
// of another shape (then what it means is not judged here).
inline std::vector<std::pair<std::string, std::string>> KeptTags(std::string_view Text) {
    const TGame g = Read(Text);
    std::vector<std::pair<std::string, std::string>> out;
    if (!g.TagsWhole) return out;
    // Fields with values of their own making, and the tags the export writes itself.
    static const char* const changed[] = {
        "EVENT",      "SITE",     "DATE",     "ROUND",        "WHITE",           "BLACK",
        "RESULT",     "WHITEELO", "BLACKELO", "PLYCOUNT",     "EVENTDATE",       "TIMECONTROL",
        "FEN",        "SETUP",    "VARIANT",  "METAKEYWORDS", "METADESCRIPTION", "WHITECLUBID",
        "BLACKCLUBID"};
    static const char* const asRead[] = {
        "Annotator",      "ECO",   "WhiteDifferenceToGMT", "BlackDifferenceToGMT",
        "DateTimeFormat", "GameId"};
    std::string name;
    for (const std::string_view t : g.Tags) {
        PlainTag(t, name);
        std::string upper = name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        bool skip = false;
        for (const char* c : changed)
            skip = skip || upper == c;
        if (skip) continue;
        std::string value = kb::ExtractTagValue(t);
        for (const char* f : asRead) {
            std::string u = f;
            for (char& c : u)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (u == upper) name = f;
        }
        // A field keeps the last value read; an empty one writes no tag.
        bool field = false;
        for (const char* f : asRead)
            field = field || name == f;
        if (field) {
            for (auto it = out.begin(); it != out.end();)
                it = it->first == name ? out.erase(it) : it + 1;
            if (value.empty()) continue;
        }
        out.emplace_back(name, std::move(value));
    }
    return out;
}

// Whether the export's tag section holds the tag Name with the value Value.
inline bool ExportHasTag(std::string_view Export, const std::string& Name,
                         const std::string& Value) {
    for (const std::string_view line : Lines(Export)) {
        if (line.empty()) break;
        std::string name;
        if (PlainTag(line, name) && name == Name && kb::ExtractTagValue(line) == Value) return true;
    }
    return false;
}

} // namespace fuzzgiven
