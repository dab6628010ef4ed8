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

namespace {

bool ByNameLess(const std::string& a, const std::string& b) {
    return CompareNoCase(TagListName(a), TagListName(b)) < 0;
}

} // namespace

void TTagList::Add(const std::string& Line) {
    if ((Unique || (Sorted && !ByName)) && !seen_.insert(Line).second) return;
    lines_.push_back(Line);
    // Lines that arrive in order (as most games hold them) need no sort.
    if (inOrder_ && lines_.size() > 1 && (ByName || Sorted)) {
        const std::string& before = lines_[lines_.size() - 2];
        inOrder_ = ByName ? !ByNameLess(Line, before) : !TagListLess(Line, before);
    }
}

const std::vector<std::string>& TTagList::Lines() const {
    if (!inOrder_) {
        // Stable: lines of one name keep the order they arrived in.
        if (ByName)
            std::stable_sort(lines_.begin(), lines_.end(), ByNameLess);
        else
            std::sort(lines_.begin(), lines_.end(), TagListLess);
        inOrder_ = true;
    }
    return lines_;
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

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeftBlanks(std::string_view t) {
    while (!t.empty() && IsBlank(t.front()))
        t.remove_prefix(1);
    return t;
}

// How far the tag at the start of a text goes. Its tokens are "[", the
// name, the quoted value and "]", with any blanks between them; a line end
// may fall between two tokens, never inside the value.
enum class TTagCut {
    Whole,       // Length is the tag's length
    BeforeName,  // the text ends after "["
    BeforeValue, // ... after the name
    BeforeClose, // ... after the value
    Damaged,     // no tag, or one that no further text can complete
};

struct TTagScan {
    TTagCut Cut;
    size_t Length;
};

TTagScan ScanTag(std::string_view t) {
    if (t.empty() || t[0] != '[') return {TTagCut::Damaged, 0};
    size_t i = 1;
    while (i < t.size() && IsBlank(t[i]))
        ++i;
    if (i == t.size()) return {TTagCut::BeforeName, 0};
    const size_t name = i;
    while (i < t.size() && IsTagNameChar(t[i]))
        ++i;
    if (i == name) return {TTagCut::Damaged, 0};
    while (i < t.size() && IsBlank(t[i]))
        ++i;
    if (i == t.size()) return {TTagCut::BeforeValue, 0};
    if (t[i] != '"') return {TTagCut::Damaged, 0};
    for (++i; i < t.size() && t[i] != '"'; ++i)
        if (t[i] == '\\' && i + 1 < t.size() && (t[i + 1] == '"' || t[i + 1] == '\\')) ++i;
    if (i >= t.size()) return {TTagCut::Damaged, 0};
    for (++i; i < t.size() && IsBlank(t[i]);)
        ++i;
    if (i == t.size()) return {TTagCut::BeforeClose, 0};
    return t[i] == ']' ? TTagScan{TTagCut::Whole, i + 1} : TTagScan{TTagCut::Damaged, 0};
}

} // namespace

bool WellFormedTagLine(std::string_view Line) {
    // "[", the name, a blank, ..., the quoted value, "]".
    if (Line.size() < 5 || Line[0] != '[' || Line.back() != ']') return false;
    size_t i = 1;
    while (i < Line.size() && IsTagNameChar(Line[i]))
        ++i;
    if (i == 1 || Line[i] != ' ') return false;
    i = Line.find('"', i);
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
    Line = TrimLeftBlanks(Line);
    if (Line.empty() || Line[0] != '[') return {};
    // Any blanks around the name; the name is followed by a blank, the
    // value's quote or the line end.
    size_t i = 1;
    while (i < Line.size() && IsBlank(Line[i]))
        ++i;
    const size_t name = i;
    while (i < Line.size() && IsTagNameChar(Line[i]))
        ++i;
    if (i == name || (i < Line.size() && !IsBlank(Line[i]) && Line[i] != '"')) return {};
    std::string out = "[";
    out.append(Line.substr(name, i - name));
    out += " \"";
    for (const char c : ExtractTagValue(Line.substr(i))) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += "\"]";
    return out;
}

std::string_view SplitTagLine(std::string_view Line, std::vector<std::string_view>& Tags) {
    Tags.clear();
    if (Line.empty() || Line[0] != '[') return Line;
    std::string_view rest = Line;
    while (!rest.empty() && rest[0] == '[') {
        const TTagScan s = ScanTag(rest);
        if (s.Cut != TTagCut::Whole || s.Length == rest.size()) {
            // A tag not whole reads to the end of the line, as a line of its own would.
            Tags.push_back(rest);
            return {};
        }
        Tags.push_back(rest.substr(0, s.Length));
        rest = TrimLeftBlanks(rest.substr(s.Length));
    }
    return rest;
}

std::string JoinCutTag(std::string_view Line, std::string_view Next) {
    // A line that ends in "]" ends with a whole tag or inside a value.
    if (Line.empty() || Line.back() == ']' || Line[0] != '[') return {};
    size_t last = 0; // where the line's last tag starts
    TTagScan s = ScanTag(Line);
    while (s.Cut == TTagCut::Whole) {
        const std::string_view rest = TrimLeftBlanks(Line.substr(last + s.Length));
        if (rest.empty() || rest[0] != '[') return {}; // move text follows the tags
        last = Line.size() - rest.size();
        s = ScanTag(rest);
    }
    Next = TrimLeftBlanks(Next);
    if (Next.empty()) return {};
    const bool goesOn = (s.Cut == TTagCut::BeforeName && IsTagNameChar(Next[0])) ||
                        (s.Cut == TTagCut::BeforeValue && Next[0] == '"') ||
                        (s.Cut == TTagCut::BeforeClose && Next[0] == ']');
    if (!goesOn) return {};
    std::string joined(Line);
    joined += ' ';
    joined.append(Next);
    // The next line must not leave the tag damaged: then it is no part of it.
    if (ScanTag(std::string_view(joined).substr(last)).Cut == TTagCut::Damaged) return {};
    return joined;
}

namespace {

// One line of a text: [Begin, End) without its line end, Next behind it.
struct TTextLine {
    size_t Begin = 0, End = 0, Next = 0;
};

bool LineAt(std::string_view Text, size_t Pos, TTextLine& L) {
    if (Pos >= Text.size()) return false;
    size_t e = Pos;
    while (e < Text.size() && Text[e] != '\r' && Text[e] != '\n')
        ++e;
    size_t n = e;
    if (n < Text.size()) n += Text.compare(n, 2, "\r\n") == 0 ? 2 : 1;
    L = {Pos, e, n};
    return true;
}

} // namespace

size_t ReadTagSection(std::string_view Text, const std::function<void(const TTagInText&)>& Tag) {
    auto trimmed = [&](const TTextLine& L) {
        return TrimBlanks(Text.substr(L.Begin, L.End - L.Begin));
    };
    TTextLine l;
    size_t pos = 0;
    while (LineAt(Text, pos, l) && !trimmed(l).starts_with('['))
        pos = l.Next;
    if (pos >= Text.size()) return 0; // no tags: all of it is moves
    std::string joined;               // a tag cut by line ends, whole again
    // Where the pieces of a joined line stand: offset in it, offset in Text.
    // Kept for the next game: every game read comes through here.
    thread_local std::vector<std::pair<size_t, size_t>> pieces;
    thread_local std::vector<std::string_view> tags;
    while (LineAt(Text, pos, l)) {
        std::string_view line = trimmed(l);
        if (line.starts_with('[')) {
            pieces.assign(1, {0, static_cast<size_t>(line.data() - Text.data())});
            TTextLine next;
            // A line that ends in "]" ends with a whole tag (or inside a value).
            while (line.back() != ']' && LineAt(Text, l.Next, next)) {
                const std::string_view more = trimmed(next);
                std::string j = JoinCutTag(line, more);
                if (j.empty()) break;
                pieces.emplace_back(line.size() + 1,
                                    static_cast<size_t>(more.data() - Text.data()));
                joined = std::move(j);
                line = joined;
                l = next;
            }
            auto inText = [&](size_t At) {
                auto p = pieces.begin();
                for (auto q = p; q != pieces.end() && q->first <= At; ++q)
                    p = q;
                return p->second + (At - p->first);
            };
            const std::string_view rest = SplitTagLine(line, tags);
            for (const std::string_view t : tags) {
                const auto at = static_cast<size_t>(t.data() - line.data());
                Tag({inText(at), t.empty() ? inText(at) : inText(at + t.size() - 1) + 1, t});
            }
            if (!rest.empty()) return inText(static_cast<size_t>(rest.data() - line.data()));
            pos = l.Next;
            continue;
        }
        // An escaped line is no text of the game, here as in the moves.
        if (Text[l.Begin] == '%' && l.End > l.Begin) {
            pos = l.Next;
            continue;
        }
        if (line.empty()) {
            // An empty line inside the tags does not end them.
            TTextLine j = l;
            while (LineAt(Text, j.Next, j) && trimmed(j).empty()) {
            }
            if (j.Begin > l.Begin && j.Begin < Text.size() && trimmed(j).starts_with('[')) {
                pos = j.Begin;
                continue;
            }
        }
        return l.Begin;
    }
    return Text.size();
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
                if (IsTagLine(line) || IsMovesLine(line)) return true;
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
    if (lines < MaxLines && (IsTagLine(line) || IsMovesLine(line))) return true;
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
