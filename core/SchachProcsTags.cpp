// SPDX-License-Identifier: GPL-3.0-or-later
// The game header: PGN tag lines into typed fields, and small PGN file helpers.
#include "SchachProcs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace kb {
namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto cb = static_cast<unsigned char>(UpperAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool TagListLess(const std::string& a, const std::string& b) {
    const int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

// The tag name of a stored line: from after "[" up to the first blank.
std::string_view TagListName(std::string_view Line) {
    if (!Line.empty() && Line[0] == '[') Line.remove_prefix(1);
    return Line.substr(0, std::min(Line.size(), Line.find_first_of(" \t")));
}

// A decimal integer with optional leading blanks and sign, clamped into a
// 16-bit field; 0 when the text is not a number.
uint16_t TagNumber(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return 0;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return 0;
        if (v <= 65535) v = v * 10 + (t[i] - '0');
    }
    if (negative) return 0;
    return static_cast<uint16_t>(std::min<long long>(v, 65535));
}

// Characters From..From+Count-1 (1-based), cut at the end of the text.
std::string_view Sub(std::string_view t, size_t From, size_t Count) {
    if (From < 1 || From > t.size()) return {};
    return t.substr(From - 1, Count);
}

// "base+increment"; a text without "+" leaves both numbers as they were.
void TimeControlNumbers(std::string_view v, uint16_t& Base, uint16_t& Increment) {
    const size_t p = v.find('+');
    if (p == std::string_view::npos) return;
    Base = TagNumber(TrimBlanks(v.substr(0, p)));
    Increment = TagNumber(TrimBlanks(v.substr(p + 1)));
}

void SetDate(std::string_view v, uint16_t& Year, uint16_t& Month, uint16_t& Day) {
    Year = TagNumber(Sub(v, 1, 4));
    Month = TagNumber(Sub(v, 6, 2));
    Day = TagNumber(Sub(v, 9, 2));
}

std::string QuestionMarkEmpty(std::string v) {
    return v == "?" ? std::string() : v;
}

} // namespace

void TTagList::Add(const std::string& Line) {
    if (ByName) {
        if (Unique && !seen_.insert(Line).second) return;
        // After every line of the same name: those keep the order read.
        const auto it = std::upper_bound(
            Lines.begin(), Lines.end(), Line, [](const std::string& a, const std::string& b) {
                return CompareNoCase(TagListName(a), TagListName(b)) < 0;
            });
        Lines.insert(it, Line);
        return;
    }
    if (!Sorted) {
        if (Unique && !seen_.insert(Line).second) return;
        Lines.push_back(Line);
        return;
    }
    auto it = std::lower_bound(Lines.begin(), Lines.end(), Line, TagListLess);
    if (it != Lines.end() && *it == Line) return;
    Lines.insert(it, Line);
}

void ClearEventData(TEventData& E) {
    E.White = "N.N.";
    E.Black = "N.N.";
    E.Result = "*";
    for (std::string* t :
         {&E.Event, &E.Annotator, &E.Site, &E.ECO, &E.FEN, &E.MetaDescription, &E.MetaKeywords,
          &E.WhiteClubId, &E.BlackClubId, &E.Movetext, &E.WhiteDifferenceToGMT,
          &E.BlackDifferenceToGMT, &E.DateTimeFormat, &E.GameId})
        t->clear();
    for (uint16_t* w :
         {&E.Year, &E.Month, &E.Day, &E.Round, &E.WhiteElo, &E.BlackElo, &E.MoveCount, &E.EventYear,
          &E.EventMonth, &E.EventDay, &E.TimeControlBase, &E.TimeControlIncrement})
        *w = 0;
    E.RoundText.clear();
    E.TimeControlText.clear();
    if (E.Tags) E.Tags->Clear();
}

std::string ExtractTagValue(std::string_view Line) {
    const size_t q = Line.find('"');
    if (q == std::string_view::npos) return {};
    std::string v;
    for (size_t i = q + 1; i < Line.size(); ++i) {
        const char c = Line[i];
        if (c == '"') break;
        if (c == '\\' && i + 1 < Line.size() && (Line[i + 1] == '"' || Line[i + 1] == '\\')) {
            v += Line[++i];
            continue;
        }
        v += c;
    }
    return v;
}

namespace {

bool IsTagNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

bool WellFormedTagLine(std::string_view Line) {
    const size_t open = Line.find_first_not_of(" \t");
    if (open == std::string_view::npos || Line[open] != '[' || Line.back() != ']') return false;
    size_t i = Line.find('"');
    if (i == std::string_view::npos) return false;
    for (++i; i < Line.size(); ++i) {
        if (Line[i] == '"') return i + 2 == Line.size();
        if (Line[i] == '\\' && i + 1 < Line.size() && (Line[i + 1] == '"' || Line[i + 1] == '\\'))
            ++i;
    }
    return false;
}

std::string NormalTagLine(std::string_view Line) {
    if (WellFormedTagLine(Line)) return std::string(Line);
    // The name runs to the first blank, as when the line is read.
    if (Line.empty() || Line[0] != '[') return {};
    const std::string_view name = Line.substr(1, Line.find(' ') - 1);
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsTagNameChar)) return {};
    std::string out = "[";
    out.append(name);
    out += " \"";
    for (const char c : ExtractTagValue(Line)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += "\"]";
    return out;
}

namespace {

// Length of the whole tag at the start of Line: "[", a name, one blank, a
// quoted value (backslash escapes), blanks, "]". 0 when there is none.
size_t WholeTagLength(std::string_view Line) {
    if (Line.empty() || Line[0] != '[') return 0;
    size_t i = 1;
    while (i < Line.size() && IsTagNameChar(Line[i]))
        ++i;
    if (i == 1 || i >= Line.size() || Line[i] != ' ') return 0;
    while (i < Line.size() && Line[i] == ' ')
        ++i;
    if (i >= Line.size() || Line[i] != '"') return 0;
    for (++i; i < Line.size() && Line[i] != '"'; ++i)
        if (Line[i] == '\\' && i + 1 < Line.size() && (Line[i + 1] == '"' || Line[i + 1] == '\\'))
            ++i;
    if (i >= Line.size()) return 0;
    for (++i; i < Line.size() && (Line[i] == ' ' || Line[i] == '\t');)
        ++i;
    return i < Line.size() && Line[i] == ']' ? i + 1 : 0;
}

std::string_view TrimLeftBlanks(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    return t;
}

} // namespace

std::string_view SplitTagLine(std::string_view Line, std::vector<std::string_view>& Tags) {
    Tags.clear();
    if (Line.empty() || Line[0] != '[') return Line;
    std::string_view rest = Line;
    while (!rest.empty() && rest[0] == '[') {
        const size_t n = WholeTagLength(rest);
        if (n == 0 || n == rest.size()) {
            // A tag not whole reads to the end of the line, as a line of its own would.
            Tags.push_back(rest);
            return {};
        }
        Tags.push_back(rest.substr(0, n));
        rest = TrimLeftBlanks(rest.substr(n));
    }
    return rest;
}

namespace {

// The tag lines with a field of their own, by upper-case name.
enum class TTagName {
    Other,
    Event,
    Site,
    White,
    Black,
    Annotator,
    Result,
    WhiteElo,
    BlackElo,
    PlyCount,
    Date,
    Round,
    ECO,
    FEN,
    MetaKeywords,
    MetaDescription,
    WhiteClubId,
    BlackClubId,
    SetUp,
    EventDate,
    TimeControl,
    WhiteDifferenceToGMT,
    BlackDifferenceToGMT,
    DateTimeFormat,
    GameId,
};

// The name between "[" and the first blank, letter case ignored; a line
// without that blank names no tag of ours. One look-up per line: every
// game read passes each of its tag lines through here.
TTagName TagNameOf(std::string_view Line) {
    if (Line.size() < 3 || Line[0] != '[') return TTagName::Other;
    const size_t blank = Line.find(' ', 1);
    if (blank == std::string_view::npos || blank - 1 > 24) return TTagName::Other;
    char name[24];
    const size_t n = blank - 1;
    for (size_t i = 0; i < n; ++i)
        name[i] = UpperAscii(Line[i + 1]);
    static constexpr std::pair<std::string_view, TTagName> names[] = {
        {"EVENT", TTagName::Event},
        {"SITE", TTagName::Site},
        {"WHITE", TTagName::White},
        {"BLACK", TTagName::Black},
        {"ANNOTATOR", TTagName::Annotator},
        {"RESULT", TTagName::Result},
        {"WHITEELO", TTagName::WhiteElo},
        {"BLACKELO", TTagName::BlackElo},
        {"PLYCOUNT", TTagName::PlyCount},
        {"DATE", TTagName::Date},
        {"ROUND", TTagName::Round},
        {"ECO", TTagName::ECO},
        {"FEN", TTagName::FEN},
        {"METAKEYWORDS", TTagName::MetaKeywords},
        {"METADESCRIPTION", TTagName::MetaDescription},
        {"WHITECLUBID", TTagName::WhiteClubId},
        {"BLACKCLUBID", TTagName::BlackClubId},
        {"SETUP", TTagName::SetUp},
        {"EVENTDATE", TTagName::EventDate},
        {"TIMECONTROL", TTagName::TimeControl},
        {"WHITEDIFFERENCETOGMT", TTagName::WhiteDifferenceToGMT},
        {"BLACKDIFFERENCETOGMT", TTagName::BlackDifferenceToGMT},
        {"DATETIMEFORMAT", TTagName::DateTimeFormat},
        {"GAMEID", TTagName::GameId},
    };
    const std::string_view key(name, n);
    for (const auto& [text, tag] : names)
        if (text.size() == n && text == key) return tag;
    return TTagName::Other;
}

} // namespace

void ParseTagLine(TEventData& E, std::string_view Line) {
    // A damaged line is read, kept and written in its normal form, so that
    // what is written reads back the same.
    std::string normal;
    if (!WellFormedTagLine(Line)) {
        normal = NormalTagLine(Line);
        if (normal.empty()) return;
        Line = normal;
    }
    auto value = [&] { return ExtractTagValue(Line); };
    switch (TagNameOf(Line)) {
    case TTagName::Event:
        E.Event = QuestionMarkEmpty(value());
        break;
    case TTagName::Site:
        E.Site = QuestionMarkEmpty(value());
        break;
    case TTagName::White:
        E.White = QuestionMarkEmpty(value());
        break;
    case TTagName::Black:
        E.Black = QuestionMarkEmpty(value());
        break;
    case TTagName::Annotator:
        E.Annotator = value();
        break;
    case TTagName::Result:
        E.Result = value();
        break;
    case TTagName::WhiteElo:
        E.WhiteElo = TagNumber(value());
        break;
    case TTagName::BlackElo:
        E.BlackElo = TagNumber(value());
        break;
    case TTagName::PlyCount: {
        // Plies to full moves: 80 plies are 40 moves, 81 are 41.
        const unsigned plies = TagNumber(value());
        E.MoveCount = static_cast<uint16_t>((plies + 1) / 2);
        break;
    }
    case TTagName::Date:
        SetDate(value(), E.Year, E.Month, E.Day);
        break;
    case TTagName::Round:
        E.RoundText = value();
        E.Round = TagNumber(E.RoundText);
        break;
    case TTagName::ECO:
        E.ECO = value();
        break;
    case TTagName::FEN:
        E.FEN = value();
        break;
    case TTagName::MetaKeywords:
        E.MetaKeywords += value();
        break;
    case TTagName::MetaDescription:
        E.MetaDescription += value();
        break;
    case TTagName::WhiteClubId:
        E.WhiteClubId += value();
        break;
    case TTagName::BlackClubId:
        E.BlackClubId += value();
        break;
    case TTagName::SetUp:
        break; // the FEN tag alone sets up the position
    case TTagName::EventDate:
        SetDate(value(), E.EventYear, E.EventMonth, E.EventDay);
        break;
    case TTagName::TimeControl:
        E.TimeControlText = value();
        TimeControlNumbers(E.TimeControlText, E.TimeControlBase, E.TimeControlIncrement);
        break;
    case TTagName::WhiteDifferenceToGMT:
        E.WhiteDifferenceToGMT = value();
        break;
    case TTagName::BlackDifferenceToGMT:
        E.BlackDifferenceToGMT = value();
        break;
    case TTagName::DateTimeFormat:
        E.DateTimeFormat = value();
        break;
    case TTagName::GameId:
        E.GameId = value();
        break;
    case TTagName::Other:
        if (E.Tags) E.Tags->Add(std::string(Line));
        break;
    }
}

std::string RoundTagValue(const TEventData& E) {
    // Once the number is changed the text no longer says what the user set.
    if (!E.RoundText.empty() && TagNumber(E.RoundText) == E.Round) return E.RoundText;
    return E.Round == 0 ? std::string("-") : std::to_string(E.Round);
}

std::string TimeControlTagValue(const TEventData& E) {
    if (!E.TimeControlText.empty()) {
        uint16_t base = 0, increment = 0;
        TimeControlNumbers(E.TimeControlText, base, increment);
        if (base == E.TimeControlBase && increment == E.TimeControlIncrement)
            return E.TimeControlText;
    }
    if (E.TimeControlBase == 0) return {};
    return std::to_string(E.TimeControlBase) + "+" + std::to_string(E.TimeControlIncrement);
}

bool IsPGNFile(const std::string& FileName) {
    // A PGN file shows its first tag line early; a file without line ends
    // (binary data) must not be read whole.
    constexpr int MaxLines = 1000;
    constexpr size_t MaxBytes = 4u << 20;
    // A tag line shows what it is within its first bytes.
    constexpr size_t KeepOfLine = 4096;

    std::error_code ec;
    if (!std::filesystem::is_regular_file(FileName, ec)) return false;
    std::ifstream in(FileName, std::ios::binary);
    if (!in) return false;

    int lines = 0; // lines finished so far
    bool allEmpty = true;
    std::string line; // the start of the current line
    bool lineHasText = false;
    bool lastWasCR = false;
    size_t total = 0;
    char buf[65536];
    while (lines < MaxLines && total < MaxBytes) {
        in.read(buf, sizeof buf);
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        // A UTF-8 byte order mark at the start is no text of the file.
        const std::streamsize from =
            total == 0 && got >= 3 && std::string_view(buf, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        total += static_cast<size_t>(got);
        for (std::streamsize i = from; i < got; ++i) {
            const char c = buf[i];
            if (c == '\n' && lastWasCR) {
                lastWasCR = false;
                continue;
            }
            lastWasCR = c == '\r';
            if (c == '\r' || c == '\n') {
                if (lineHasText) allEmpty = false;
                if (IsTagLine(line)) return true;
                line.clear();
                lineHasText = false;
                if (++lines >= MaxLines) break;
                continue;
            }
            lineHasText = true;
            if (line.size() < KeepOfLine) line += c;
        }
        if (in.bad()) return false;
        if (in.eof()) break;
    }
    if (lines < MaxLines && IsTagLine(line)) return true;
    if (lineHasText) allEmpty = false;
    return allEmpty;
}

bool OpenGameFile(std::ifstream& F, const std::string& FileName) {
    if (F.is_open()) F.close();
    F.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(FileName, ec)) return false;
    F.open(FileName, std::ios::in | std::ios::binary);
    return F.is_open() && F.good();
}

} // namespace kb
