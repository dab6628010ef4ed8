// SPDX-License-Identifier: GPL-3.0-or-later
#include "AThreadWB.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <unistd.h>

namespace kb {

// ---------------------------------------------------------------------------
// Command sets

void SetGeneralEngineCommands(TWBInfo& Info) {
    // "hash=1000000" belongs to CRAFTY's command line; other engines refuse
    // it or take it for a file name, so they get no words unless the
    // settings give some.
    Info.Parameter.clear();
    Info.Init = "xboard\r\nforce\r\n";
    Info.SetPosition = "edit";
    // Analysis, not "go": with "go" an engine plays a move for the side to
    // move and stops, and some read no input until then, so "?" and every
    // later position would wait unread.
    Info.StartAnalyze = "post\r\nanalyze\r\n";
    Info.StopAnalyze = "exit\r\n";
    Info.Quit = "quit\r\n";
    Info.GetState = ".\r\n";
    Info.NoParseOutput = false;
    Info.GameFile.clear();
}

void SetCraftyEngineCommands(TWBInfo& Info) {
    SetEngineDefaults(Info);
    Info.SetPositionGiven = false;
}

namespace {

std::string Upper(std::string S) {
    for (char& c : S)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return S;
}

std::string FileNameOf(const std::string& Path) {
    const size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string Trim(const std::string& S) {
    return std::string(TrimBlanks(S));
}

// A whole token as a 32-bit integer; anything else, a number too large
// among it, does not convert.
bool ToNumber(const std::string& T, long long& Value) {
    const char* b = T.data();
    const char* e = b + T.size();
    if (b != e && *b == '+') ++b;
    if (b == e) return false;
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(b, e, v);
    if (end != e || ec != std::errc()) return false;
    Value = v;
    return true;
}

bool IsNumberToken(const std::string& T, bool Mark) {
    size_t i = 0;
    if (!Mark && i < T.size() && (T[i] == '+' || T[i] == '-')) ++i;
    const size_t digits = i;
    while (i < T.size() && IsDigit(T[i]))
        ++i;
    if (i == digits) return false;
    if (Mark && i + 1 == T.size() && !IsLetter(T[i])) return true;
    return i == T.size();
}

std::vector<std::string> Words(const std::string& S, size_t Max) {
    std::vector<std::string> w;
    size_t i = 0;
    while (w.size() < Max) {
        while (i < S.size() && static_cast<unsigned char>(S[i]) <= ' ')
            ++i;
        if (i >= S.size()) break;
        size_t j = i;
        while (j < S.size() && static_cast<unsigned char>(S[j]) > ' ')
            ++j;
        w.push_back(S.substr(i, j - i));
        i = j;
    }
    return w;
}

// The part of a line the parser looks at: after the first TAB, trimmed.
std::string Cleaned(const std::string& Line) {
    std::string s = Line;
    const size_t tab = s.find('\t');
    if (tab != std::string::npos) s.erase(0, tab + 1);
    return Trim(s);
}

std::string Centipawns(long long V) {
    const long long a = V < 0 ? -V : V;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%02lld", V < 0 ? "-" : "", a / 100, a % 100);
    std::string s = buf;
    if (s.size() < 3) s.insert(0, 3 - s.size(), ' ');
    return s;
}

} // namespace

bool IsCraftyEngine(const std::string& Path) {
    return Upper(FileNameOf(Path)).find("CRAFTY") != std::string::npos;
}

TWBInfo EngineCommandsFor(const std::string& Path, const TWBInfo& Template, bool FromIni,
                          const std::string& DefaultParameter) {
    TWBInfo r = Template; // each run its own copy: the template stays as read
    r.hProcess = r.dwProcessId = 0;
    r.hRead = r.hWrite = -1;
    r.GameFile.clear();
    if (IsCraftyEngine(Path)) {
        SetCraftyEngineCommands(r);
    } else if (!FromIni) {
        SetGeneralEngineCommands(r);
    } else if (r.Parameter == DefaultParameter) {
        r.Parameter.clear(); // the default words are CRAFTY's
    }
    return r;
}

std::string CraftyGameFile(const std::string& Folder) {
    std::string dir = Folder;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (int n = 1; n <= 9999; ++n) {
        char num[16];
        std::snprintf(num, sizeof num, "%03d", n);
        const std::string name = dir + "game." + num;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

// ---------------------------------------------------------------------------
// Position commands

bool IsFenMode(const TWBInfo& Info) {
    return Upper(Info.SetPosition) == "SETBOARD";
}

std::string ToLf(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') continue;
        out += Text[i];
    }
    return out;
}

namespace {

// Edit mode's writes for P, up to "." (the start of analysis follows).
std::vector<std::string> EditCommands(const TWBInfo& Info, const TStellung& P) {
    std::vector<std::string> w;
    w.push_back("new\r\nforce\r\n");
    if (P.Zug.Side < 0) w.push_back("a2a3\r\n");
    w.push_back(Info.SetPosition + "\r\n#\r\n");
    static const char Letters[] = "PRBNQK";
    auto pieces = [&](int Colour) {
        std::string s;
        for (int sq = 0; sq < 64; ++sq) {
            const int32_t p = P.Brett[Index64To120(static_cast<uint8_t>(sq))] * Colour;
            if (p >= 1 && p <= 6) {
                s += Letters[p - 1];
                s += FeldNamen[static_cast<size_t>(sq)];
                s += "\r\n";
            }
        }
        return s;
    };
    w.push_back(pieces(1));
    w.push_back("c\r\n");
    w.push_back(pieces(-1));
    w.push_back(".\r\n");
    return w;
}

bool IsStandardStart(const TStellung& P) {
    return IsStandardStartPosition(P.Brett) &&
           (P.Zug.CastlingRights & AllCastlingRights) == AllCastlingRights && P.Zug.Side > 0;
}

// Plies since the last capture or pawn move, so that an engine told the
// position by FEN keeps the fifty-move count it had when told the moves.
// Counted from the game's start, whose own count the game does not keep.
int HalfMoveClock(const TEnginePosition& Pos) {
    TStellung s;
    s.Brett = Pos.StartBrett;
    s.Zug = Pos.StartZug;
    if (!Pos.HasStart || !MovesLeadTo(s, Pos.Moves, Pos)) return 0;
    int clock = 0;
    for (const TZug& m : Pos.Moves) {
        const int32_t piece = s.Brett[static_cast<size_t>(m.From)];
        const int32_t target = s.Brett[static_cast<size_t>(m.To)];
        const bool resets =
            std::abs(piece) == Bauer || (target != 0 && (target > 0) != (piece > 0));
        clock = resets ? 0 : clock + 1;
        TZug z;
        z.From = m.From;
        z.To = m.To;
        z.Promotion = std::abs(m.Promotion) * s.Zug.Side;
        PlayMove(s, z);
    }
    return clock;
}

std::string EngineFen(const TEnginePosition& Pos) {
    std::string fen = StellungToFEN(Pos.Brett, Pos.Zug, std::max(1, Pos.MoveNo), false);
    const size_t moveNo = fen.rfind(' ');
    const size_t clock = fen.rfind(' ', moveNo - 1) + 1;
    return fen.replace(clock, moveNo - clock, std::to_string(HalfMoveClock(Pos)));
}

} // namespace

std::vector<std::string> PositionCommands(const TWBInfo& Info, const TEnginePosition& Pos,
                                          size_t* Fixed, std::vector<std::string>* Trailing) {
    size_t fixedMoves = Pos.Moves.size();
    if (!Fixed) Fixed = &fixedMoves;
    *Fixed = Pos.Moves.size();
    if (Trailing) Trailing->clear();
    if (Trailing && !IsFenMode(Info) && !Pos.Fischer) {
        // The position itself, else the last one before it that edit mode
        // states exactly, then the moves from there.
        std::vector<TStellung> line;
        TStellung start;
        start.Brett = Pos.StartBrett;
        start.Zug = Pos.StartZug;
        if (Pos.HasStart && MovesLeadTo(start, Pos.Moves, Pos)) {
            line.push_back(start);
            for (const TZug& m : Pos.Moves) {
                TStellung next = line.back();
                TZug z;
                z.From = m.From;
                z.To = m.To;
                z.Promotion = std::abs(m.Promotion) * next.Zug.Side;
                PlayMove(next, z);
                line.push_back(next);
            }
        } else {
            line.push_back(Pos);
        }
        const size_t first = Pos.Moves.size() + 1 - line.size(); // of line[0]
        for (size_t k = line.size(); k-- > 0;) {
            std::vector<std::string> w;
            if (IsStandardStart(line[k])) {
                w.push_back("new\r\nforce\r\n");
            } else if (EditModeExact(line[k])) {
                w = EditCommands(Info, line[k]);
            } else {
                continue;
            }
            w.push_back(Info.StartAnalyze);
            *Fixed = first + k;
            for (size_t i = first + k; i < Pos.Moves.size(); ++i)
                Trailing->push_back(CoordinateMove(Pos.Moves[i]) + "\r\n");
            return w;
        }
    }
    if (IsFenMode(Info)) {
        // Plain FEN cannot say which rooks castle in Chess960.
        if (Pos.Fischer && (Pos.Zug.CastlingRights & AllCastlingRights) != 0) return {};
        // The engine gets plain FEN: no Chess960 marker, it would not know it.
        return {Info.SetPosition + " " + EngineFen(Pos) + "\r\n" + Info.StartAnalyze};
    }
    // Edit mode says where the pieces stand, not which castlings are left
    // nor whether a pawn may take en passant. So the engine gets the game's
    // start and the moves that lead here, in force mode, as a game is told
    // to it; the position alone only where edit mode says all of it.
    TStellung start;
    std::string moves;
    start.Brett = Pos.StartBrett;
    start.Zug = Pos.StartZug;
    if (!Pos.Fischer && Pos.HasStart && MovesLeadTo(start, Pos.Moves, Pos)) {
        for (const TZug& m : Pos.Moves)
            moves += CoordinateMove(m) + "\r\n";
        if (IsStandardStartPosition(start.Brett) &&
            (start.Zug.CastlingRights & AllCastlingRights) == AllCastlingRights &&
            start.Zug.Side > 0) {
            *Fixed = 0;
            return {"new\r\nforce\r\n", moves + Info.StartAnalyze};
        }
        if (!EditModeExact(start)) moves.clear();
        if (!moves.empty()) *Fixed = 0;
    }
    if (moves.empty()) {
        start = Pos;
        if (!EditModeExact(start)) return {};
    }
    std::vector<std::string> w = EditCommands(Info, start);
    w.back() += moves + Info.StartAnalyze;
    return w;
}

bool WalksInAnalysis(const TWBInfo& Info) {
    const std::vector<std::string> start = Words(Info.StartAnalyze, 16);
    const std::vector<std::string> stop = Words(Info.StopAnalyze, 16);
    return !start.empty() && start.back() == "analyze" && stop.size() == 1 && stop[0] == "exit";
}

std::vector<std::string> WalkCommands(const TEnginePosition& Told, size_t Fixed,
                                      const TEnginePosition& Pos, bool Undo, size_t MaxSteps) {
    const auto sameStart = [](const TEnginePosition& A, const TEnginePosition& B) {
        return A.StartBrett == B.StartBrett && A.StartZug.Side == B.StartZug.Side &&
               A.StartZug.CastlingRights == B.StartZug.CastlingRights &&
               A.StartZug.EnPassant == B.StartZug.EnPassant;
    };
    if (!Told.HasStart || !Pos.HasStart || Told.Fischer || Pos.Fischer || !sameStart(Told, Pos))
        return {};
    const std::vector<TZug>& a = Told.Moves;
    const std::vector<TZug>& b = Pos.Moves;
    size_t common = 0;
    while (common < a.size() && common < b.size() && a[common].From == b[common].From &&
           a[common].To == b[common].To && a[common].Promotion == b[common].Promotion)
        ++common;
    const size_t back = a.size() - common, ahead = b.size() - common;
    if (common < Fixed || back + ahead == 0 || back + ahead > MaxSteps || (back > 0 && !Undo))
        return {};
    std::vector<std::string> w(back, "undo\r\n");
    for (size_t i = common; i < b.size(); ++i) {
        const std::string move = CoordinateMove(b[i]);
        if (move.empty()) return {};
        w.push_back(move + "\r\n");
    }
    return w;
}

// ---------------------------------------------------------------------------
// Output parsing

namespace {

// A word that can begin a line of moves: a move in SAN or coordinates
// (with marks such as "<e4>"), castling, or none at all.
bool LooksLikeMove(std::string T) {
    while (!T.empty() && (T[0] == '<' || T[0] == '('))
        T.erase(0, 1);
    if (T.rfind("O-O", 0) == 0 || T.rfind("0-0", 0) == 0) return true;
    if (T.empty() || std::string_view("KQRBNPabcdefgh").find(T[0]) == std::string_view::npos)
        return false;
    for (size_t i = 1; i < T.size() && i < 7; ++i)
        if (T[i] >= '1' && T[i] <= '8' && T[i - 1] >= 'a' && T[i - 1] <= 'h') return true;
    return false;
}

// The part of a line of moves that is about P (LegalPart's cut), none when
// the line is about another position: a move in it that cannot be played
// in its turn, or a check mark on a move that gives no check. Lines that
// agree on their first move, as those of two positions of one game may,
// part at a later one.
std::optional<std::string> FittingPart(const std::string& Pv, const TStellung& P) {
    std::optional<std::string> legal = LegalPart(Pv, P);
    if (!legal) return std::nullopt;
    const size_t open = Pv.find_first_not_of(" \t");
    if (open != std::string::npos && Pv[open] == '(' && Pv.compare(open, 3, "(+)") != 0 &&
        Pv.compare(open, 3, "(-)") != 0)
        return legal; // moves to choose from, not a line
    TStellung pos = P;
    for (size_t i = 0; i < Pv.size();) {
        if (Pv[i] == ' ' || Pv[i] == '\t') {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < Pv.size() && Pv[j] != ' ' && Pv[j] != '\t')
            ++j;
        std::string word = Pv.substr(i, j - i);
        i = j;
        size_t digits = 0;
        while (digits < word.size() && IsDigit(word[digits]))
            ++digits;
        if (digits < word.size() && word[digits] == '.') {
            while (digits < word.size() && word[digits] == '.')
                ++digits;
            word.erase(0, digits);
        }
        if (word.empty() || word.find_first_not_of("()+-!?=#") == std::string::npos) continue;
        const std::optional<TZug> m = ParseMove(pos, word);
        if (!m) {
            if (LooksLikeMove(word)) return std::nullopt;
            break;
        }
        PlayMove(pos, *m);
        std::string marks = word;
        while (!marks.empty() && (marks.back() == '!' || marks.back() == '?'))
            marks.pop_back();
        if (!marks.empty() && (marks.back() == '+' || marks.back() == '#')) {
            const int side = pos.Zug.Side;
            if (!IsSquareAttacked(FindKing(side > 0, pos.Brett), side, pos.Brett))
                return std::nullopt;
        }
    }
    return legal;
}

} // namespace

std::string ParseOutput(const std::string& Line, int MoveNo, bool NoParseOutput,
                        const TEnginePosition* Pos) {
    std::string s =
        Line.size() > TAnalyseThreadWB::MaxLine ? Line.substr(0, TAnalyseThreadWB::MaxLine) : Line;
    if (NoParseOutput) return s;
    const size_t tab = s.find('\t');
    if (tab != std::string::npos) s.erase(0, tab + 1);
    s = Trim(s);
    const size_t cr = s.find('\r');
    if (cr != std::string::npos) s.erase(cr);

    // End of the head: before the first move number, else before the first
    // move (a letter that is not the last character).
    size_t p = 0; // a length, like the positions counted from 1
    const size_t dot = s.find('.');
    if (dot != std::string::npos) {
        p = dot + 1;
    } else {
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (IsLetter(s[i])) {
                p = i;
                break;
            }
    }
    if (p == 0) return s;
    while (p > 0 && s[p - 1] != ' ')
        --p;
    const std::string head = s.substr(0, p);
    std::string pv = s.substr(p);
    if (Pos) {
        // Only lines about this position are shown, up to their last move.
        std::optional<std::string> legal = FittingPart(pv, *Pos);
        if (!legal) return {};
        pv = std::move(*legal);
    }

    size_t i = 0;
    while (i < head.size() && !IsDigit(head[i]))
        ++i;
    size_t j = head.find(' ', i);
    if (j == std::string::npos) j = head.size();
    const std::string depth = head.substr(std::min(i, head.size()), j - std::min(i, head.size()));
    while (j < head.size() && head[j] == ' ')
        ++j;
    size_t k = head.find(' ', j);
    if (k == std::string::npos) k = head.size();
    const std::string scoreText =
        head.substr(std::min(j, head.size()), k - std::min(j, head.size()));
    long long score = 0;
    const std::string value = ToNumber(scoreText, score) ? Centipawns(score) : std::string();

    // Move numbers of a line counted from 1 are shifted to the game's move;
    // a line that already counts from the position's move stays as it is.
    struct TRun {
        size_t Pos, Len;
        long long N;
    };
    std::vector<TRun> runs;
    for (size_t a = 0; a < pv.size();) {
        if (!IsDigit(pv[a])) {
            ++a;
            continue;
        }
        size_t b = a;
        while (b < pv.size() && IsDigit(pv[b]))
            ++b;
        if (b < pv.size() && pv[b] == '.') {
            long long n = 0;
            const auto [end, ec] = std::from_chars(pv.data() + a, pv.data() + b, n);
            runs.push_back({a, b - a, ec == std::errc() && end == pv.data() + b ? n : -1});
        }
        a = b;
    }
    if (!runs.empty() && runs.front().N == 1 && MoveNo > 1) {
        for (auto r = runs.rbegin(); r != runs.rend(); ++r)
            if (r->N >= 0 && r->N <= INT_MAX)
                pv.replace(r->Pos, r->Len, std::to_string(r->N + MoveNo - 1));
    }
    return "Depth: " + depth + "  Value: " + value + "\r\n" + pv;
}

const char* EngineTerminatedText(bool English) {
    return English ? "engine terminated" : "Engine beendet";
}

bool IsThinkingLine(const std::string& Line) {
    const std::vector<std::string> w = Words(Cleaned(Line), 12);
    if (w.size() < 4 || !IsNumberToken(w[0], true) || !IsNumberToken(w[1], false) ||
        !IsNumberToken(w[2], false) || !IsNumberToken(w[3], false))
        return false;
    // Some engines pass other text in the same shape ("1 0 0 0 NNUE ...").
    for (size_t i = 4; i < w.size(); ++i) {
        const std::string& t = w[i];
        if (t == "(+)" || t == "(-)" ||
            (t.find('.') != std::string::npos &&
             t.find_first_not_of("0123456789.") == std::string::npos))
            continue;
        return LooksLikeMove(t);
    }
    return true;
}

bool IsErrorLine(const std::string& Line, bool* Position) {
    const std::string s = Cleaned(Line);
    if (Position) *Position = false;
    if (s.rfind("Illegal move", 0) == 0) {
        // Our only move is the one that hands the move to Black.
        if (Position) *Position = true;
        return true;
    }
    if (s.rfind("tellusererror", 0) == 0) return true;
    if (s.rfind("Error", 0) != 0) return false;
    if (Position) {
        const size_t colon = s.find(':');
        const std::vector<std::string> w =
            colon == std::string::npos ? std::vector<std::string>{} : Words(s.substr(colon + 1), 1);
        if (!w.empty()) {
            const std::string c = w[0];
            static const char* const PositionWords[] = {"setboard", "edit", "new", "force",
                                                        "a2a3",     "#",    "c"};
            for (const char* p : PositionWords)
                if (c == p) *Position = true;
            // A piece put on a square in edit mode.
            if (c.size() == 3 && std::string_view("PRBNQKx").find(c[0]) != std::string::npos &&
                c[1] >= 'a' && c[1] <= 'h' && c[2] >= '1' && c[2] <= '8')
                *Position = true;
        }
    }
    return true;
}

namespace {

// A line the worker reads for what it says, or a message of the protocol.
bool IsAnswer(const std::string& S) {
    for (const char* k : {"feature ", "pong ", "move ", "telluser"})
        if (S.rfind(k, 0) == 0) return true;
    return IsErrorLine(S) || IsThinkingLine(S);
}

} // namespace

namespace {

// Length of the prompt at the start of S ("White (12) : ", "Black(3):"), 0
// when none stands there.
size_t PromptLength(const std::string& S) {
    size_t i = 0;
    while (i < S.size() && IsLetter(S[i]))
        ++i;
    if (i == 0) return 0;
    if (i < S.size() && S[i] == ' ') ++i;
    if (i >= S.size() || S[i] != '(') return 0;
    const size_t digits = ++i;
    while (i < S.size() && IsDigit(S[i]))
        ++i;
    if (i == digits || i >= S.size() || S[i] != ')') return 0;
    ++i;
    if (i < S.size() && S[i] == ' ') ++i;
    if (i >= S.size() || S[i] != ':') return 0;
    ++i;
    while (i < S.size() && S[i] == ' ')
        ++i;
    return i;
}

} // namespace

std::string Answer(const std::string& Line) {
    std::string t = Trim(Line);
    for (size_t n; (n = PromptLength(t)) > 0;)
        t.erase(0, n);
    if (IsAnswer(t)) return t;
    // A prompt names the side and the move: "White (1) : ", "Black(12): ".
    // Status lines such as "stat01: 5 6 7 8" are no prompts.
    for (size_t colon = t.find(':'); colon != std::string::npos; colon = t.find(':', colon + 1)) {
        const size_t before = t.find_last_not_of(' ', colon == 0 ? 0 : colon - 1);
        if (colon == 0 || before == std::string::npos || t[before] != ')') continue;
        const size_t at = t.find_first_not_of(' ', colon + 1);
        if (at == std::string::npos) break;
        if (at > colon + 1 && IsAnswer(t.substr(at))) return t.substr(at);
    }
    return t;
}

std::vector<std::pair<std::string, std::string>> ParseFeatures(const std::string& Line) {
    std::vector<std::pair<std::string, std::string>> out;
    const std::string s = Trim(Line);
    if (s.rfind("feature", 0) != 0 || (s.size() > 7 && s[7] != ' ')) return out;
    size_t i = 7;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ')
            ++i;
        const size_t eq = s.find('=', i);
        if (eq == std::string::npos) break;
        std::string name = Trim(s.substr(i, eq - i));
        std::string value;
        i = eq + 1;
        if (i < s.size() && s[i] == '"') {
            const size_t close = s.find('"', i + 1);
            const size_t e = close == std::string::npos ? s.size() : close;
            value = s.substr(i + 1, e - i - 1);
            i = e + 1;
        } else {
            const size_t e = std::min(s.find(' ', i), s.size());
            value = s.substr(i, e - i);
            i = e;
        }
        if (!name.empty() && name.find(' ') == std::string::npos)
            out.emplace_back(std::move(name), std::move(value));
    }
    return out;
}

// ---------------------------------------------------------------------------
// The worker

TAnalyseThreadWB::TAnalyseThreadWB(std::unique_ptr<TEngineProcess> Process, const TWBInfo& Info,
                                   TStatusEvent OnStatus)
    : process_(std::move(Process)), info_(Info), onStatus_(std::move(OnStatus)) {
    info_.hProcess = info_.dwProcessId = process_->Pid();
    info_.hRead = process_->ReadFd();
    info_.hWrite = process_->WriteFd();
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    ShowStatus("Starting ...");
}

TAnalyseThreadWB::~TAnalyseThreadWB() {
    Finish();
    for (int& fd : wake_)
        if (fd >= 0) ::close(fd);
}

void TAnalyseThreadWB::Start(const TEnginePosition& Pos) {
    if (writer_.joinable()) return;
    {
        std::lock_guard lk(m_);
        started_ = std::chrono::steady_clock::now();
        english_ = Pos.English;
        // An Init that opens with "xboard" gets "protover 2" after it: the
        // engine then says which commands it takes, before it gets any more.
        const std::string init = ToLf(info_.Init);
        const size_t nl = init.find('\n');
        const std::string first = Upper(Trim(init.substr(0, nl)));
        if (first == "XBOARD") {
            queue_.push_back({init.substr(0, nl) + "\nprotover 2\n", std::nullopt, true});
            if (nl != std::string::npos && nl + 1 < init.size())
                queue_.push_back({init.substr(nl + 1), std::nullopt, false});
        } else {
            queue_.push_back({init, std::nullopt, false});
        }
        queue_.push_back({"level 10 10000 0\n", std::nullopt, false});
        queue_.push_back({std::string(), Pos, false});
    }
    writer_ = std::thread([this] { WriterLoop(); });
    reader_ = std::thread([this] { ReaderLoop(); });
}

void TAnalyseThreadWB::Enqueue(std::vector<std::string> Writes) {
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
        for (std::string& w : Writes)
            queue_.push_back({ToLf(w), std::nullopt, false, true});
    }
    cv_.notify_all();
}

void TAnalyseThreadWB::StopEngine() {
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
        TWrite w;
        w.Stop = true;
        queue_.push_back(std::move(w));
    }
    cv_.notify_all();
}

bool TAnalyseThreadWB::StopThinking(std::unique_lock<std::mutex>& Lock) {
    if (!thinking_) return true;
    thinking_ = false;
    told_.reset();
    for (const std::string* s : {&info_.GetState, &info_.StopAnalyze})
        if (!Send(Lock, ToLf(*s), true)) return false;
    return true;
}

void TAnalyseThreadWB::Restart(const TEnginePosition& Pos) {
    {
        // From here on nothing the engine says about the position before
        // reaches the memo, however late it comes.
        std::lock_guard status(statusM_);
        {
            std::lock_guard lk(m_);
            if (finishing_) return;
            ++requested_;
            english_ = Pos.English;
            TWrite w{std::string(), Pos, false};
            w.Req = requested_;
            w.Follows = true;
            queue_.push_back(std::move(w));
        }
        if (onStatus_) onStatus_("- Initialize ...");
    }
    cv_.notify_all();
}

TWBInfo TAnalyseThreadWB::PositionInfoLocked() const {
    TWBInfo i = info_;
    if (i.SetPositionGiven || setboard_ < 0) return i;
    if (setboard_ == 1)
        i.SetPosition = "setboard";
    else if (IsFenMode(i))
        i.SetPosition = "edit";
    return i;
}

TWBInfo TAnalyseThreadWB::PositionInfo() const {
    std::lock_guard lk(m_);
    return PositionInfoLocked();
}

int TAnalyseThreadWB::SetboardFeature() const {
    std::lock_guard lk(m_);
    return setboard_;
}

bool TAnalyseThreadWB::Send(std::unique_lock<std::mutex>& Lock, const std::string& Text,
                            bool Paced) {
    for (size_t from = 0; from < Text.size();) {
        size_t to = Text.size();
        auto apart = [&] { return Paced || (!heard_ && !finishing_); };
        if (apart()) {
            // Nothing tells when a pipe is read: look every few milliseconds.
            const auto until = std::chrono::steady_clock::now() + LineWait;
            while (apart() && !dead_ && process_->Unread() > 0 &&
                   std::chrono::steady_clock::now() < until)
                cv_.wait_for(Lock, std::chrono::milliseconds(2));
            const size_t nl = Text.find('\n', from);
            if (apart() && nl != std::string::npos) to = nl + 1;
        }
        Lock.unlock();
        const bool ok = process_->Write(Text.substr(from, to - from));
        Lock.lock();
        if (!ok) {
            // The engine's input is gone: nothing more can reach it.
            writeFailed_ = true;
            queue_.clear();
            replies_.clear();
            return false;
        }
        from = to;
    }
    return true;
}

void TAnalyseThreadWB::WriterLoop() {
    std::unique_lock lk(m_);
    for (;;) {
        // Paused engines get nothing until they run again (or are ended).
        cv_.wait(lk, [this] {
            return ((!replies_.empty() || !queue_.empty()) && (paused_ == 0 || finishing_)) ||
                   (stopWriter_ && queue_.empty() && replies_.empty());
        });
        if (!replies_.empty()) {
            std::string text;
            for (const std::string& r : replies_)
                text += r;
            replies_.clear();
            if (!Send(lk, text)) return;
            continue;
        }
        if (queue_.empty()) return;
        TWrite w = std::move(queue_.front());
        queue_.pop_front();
        if (w.Stop) {
            if (!StopThinking(lk)) return;
        } else if (!w.Pos) {
            if (!Send(lk, w.Text, w.Paced)) return;
        } else {
            // Only the newest of the positions waiting is told.
            while (!queue_.empty() && queue_.front().Pos) {
                w = std::move(queue_.front());
                queue_.pop_front();
            }
            if (!TellPosition(lk, w)) return;
        }
        if (w.Handshake && !Handshake(lk)) return;
    }
}

bool TAnalyseThreadWB::TellPosition(std::unique_lock<std::mutex>& Lock, TWrite& W) {
    // A step to the next or the previous position of the game goes out as
    // that move, or "undo", while the engine thinks on. A longer way is told
    // anew once the engine has left its analysis: on the way it would think
    // about every position between (some engines hang when many come at
    // once), and its lines about them would come after any fence.
    const TWBInfo info = PositionInfoLocked();
    std::vector<std::string> walk;
    if (W.Follows && thinking_ && told_ && WalksInAnalysis(info))
        walk = WalkCommands(*told_, toldFixed_, *W.Pos, !noUndo_, MaxWalk);
    const bool wasThinking = thinking_;
    if (walk.empty() && !StopThinking(Lock)) return false;
    size_t fixed = 0;
    std::vector<std::string> trailing;
    const std::vector<std::string> cmds =
        walk.empty() ? PositionCommands(info, *W.Pos, &fixed, analysed_ ? &trailing : nullptr)
                     : std::vector<std::string>{};
    // The new position counts from before its first command is written:
    // the engine can answer (or refuse the command), and the reader read
    // that, before this thread runs again.
    moveNo_ = W.Pos->MoveNo;
    writtenReq_ = W.Req;
    position_ = *W.Pos;
    position_.Moves.clear();
    ++positionGen_;
    positionSent_ = std::chrono::steady_clock::now();
    fence_ = 0;
    lastPos_ = *W.Pos;
    lastReq_ = W.Req;
    // A line at a time, the engine thinking on after each step. The fence
    // goes before the last step: what the engine says after its pong is
    // about the position before that step or about this one, and a line
    // about the one before fails the check of its moves. (Some engines end
    // their thinking to answer a ping and take it up again only with a
    // move.)
    auto sendWalk = [&](std::vector<std::string> Steps) {
        if (pingFeature_) {
            fence_ = ++pingNo_;
            Steps.insert(Steps.end() - 1, "ping " + std::to_string(fence_) + "\n");
        }
        for (const std::string& c : Steps)
            if (!Send(Lock, ToLf(c), true)) return false;
        return true;
    };
    if (!walk.empty()) {
        told_ = std::move(W.Pos);
        return sendWalk(std::move(walk));
    }
    if (cmds.empty()) {
        // Told what it can be told, the engine would think about castlings
        // or captures that are not there: it gets nothing, and the memo
        // says why.
        unsentGen_ = answeredGen_ = positionGen_;
        const bool english = W.Pos->English;
        const int gen = positionGen_;
        Lock.unlock();
        ShowFor(gen, english ? "The engine cannot be told this position exactly (castling "
                               "rights, en passant): it is not analysed."
                             : "Die Stellung l\xC3\xA4sst sich der Engine nicht genau "
                               "mitteilen (Rochaderechte, en passant): sie wird nicht "
                               "analysiert.");
        Lock.lock();
        return true;
    }
    if (pingFeature_) {
        fence_ = ++pingNo_;
        const int fence = fence_; // the pong may come before Send returns
        if (!Send(Lock, "ping " + std::to_string(fence_) + "\n", wasThinking)) return false;
        // Some engines that take a position's commands while they are still
        // leaving their analysis put them on a board their search then
        // takes its moves back from: the commands wait for the pong. An
        // engine that reads its input through a buffer of its own while it
        // thinks may leave "exit" and the ping there until the next line
        // comes: a harmless "force" is that line (and what it answers to
        // that falls before a fence of its own).
        const auto until = std::chrono::steady_clock::now() + PongWait;
        auto left = [&] { return fence_ != fence || dead_ || finishing_ || writeFailed_; };
        bool nudged = false;
        while (wasThinking && !left() && std::chrono::steady_clock::now() < until) {
            if (cv_.wait_for(Lock, PingWait, left)) break;
            if (!Send(Lock, "force\n")) return false;
            nudged = true;
        }
        if (nudged) {
            fence_ = ++pingNo_;
            if (!Send(Lock, "ping " + std::to_string(fence_) + "\n")) return false;
        }
    }
    // An engine that has analysed gets a line at a time: some refuse moves
    // that come while they look at the one before.
    for (const std::string& c : cmds)
        if (!Send(Lock, ToLf(c), wasThinking)) return false;
    thinking_ = analysed_ = true;
    told_ = std::move(W.Pos);
    toldFixed_ = fixed;
    return trailing.empty() || sendWalk(std::move(trailing));
}

void TAnalyseThreadWB::UndoRefused() {
    {
        std::lock_guard lk(m_);
        // The other refusals of that walk change nothing more.
        if (noUndo_ || finishing_) return;
        noUndo_ = true;
        // Where the engine stands now is not known: what it says there is
        // void, and the position goes out anew, unless a newer one is on
        // its way (which then goes anew).
        told_.reset();
        retellGen_ = positionGen_;
        const bool newer = std::any_of(queue_.begin(), queue_.end(),
                                       [](const TWrite& W) { return W.Pos.has_value(); });
        if (!newer && lastPos_) {
            TWrite w;
            w.Pos = lastPos_;
            w.Req = lastReq_;
            w.Follows = true;
            queue_.push_back(std::move(w));
        }
    }
    cv_.notify_all();
}

bool TAnalyseThreadWB::Handshake(std::unique_lock<std::mutex>& Lock) {
    using Clock = std::chrono::steady_clock;
    auto settled = [this] { return featuresDone_ || finishing_ || dead_; };
    const auto start = Clock::now();
    while (!settled()) {
        const auto limit = start + (featuresMore_ ? FeatureLongWait : FeatureWait);
        const auto now = Clock::now();
        if (now >= limit) break;
        const int lines = featureLines_;
        const bool more = featuresMore_, heard = heard_;
        auto changed = [&] {
            return settled() || featureLines_ != lines || featuresMore_ != more || heard_ != heard;
        };
        cv_.wait_until(Lock, std::min(limit, now + (heard ? PingWait : NudgeWait)), changed);
        if (changed()) continue;
        std::string nudge;
        if (!heard_ && process_->Unread() == 0)
            nudge = "force\n";
        else if (featuresMore_ && pingFeature_)
            nudge = "ping " + std::to_string(++pingNo_) + "\n";
        if (!nudge.empty() && !Send(Lock, nudge)) return false;
    }
    return true;
}

void TAnalyseThreadWB::ReaderLoop() {
    char buf[4096];
    std::string line;
    bool feature = false; // line is a feature line longer than MaxLine
    bool dead = false;
    const int fd = process_->ReadFd();
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(p, wake_[0] >= 0 ? 2 : 1, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            dead = true;
            break;
        }
        if (wake_[0] >= 0 && p[1].revents) break;
        if (p[0].revents == 0) continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            dead = true;
            break;
        }
        // CR, LF and CR LF all end a line (the empty line between CR and
        // LF is dropped with the other empty lines).
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n' || buf[i] == '\r') {
                Line(line);
                line.clear();
                feature = false;
            } else if (line.size() < MaxLine || (feature && line.size() < MaxFeatureLine)) {
                line += buf[i];
                // A feature line lists options by the dozen and ends with
                // its done=1: it is read whole.
                if (line.size() == MaxLine) feature = Answer(line).rfind("feature", 0) == 0;
            }
        }
    }
    if (dead) {
        if (!line.empty()) Line(line);
        bool english;
        {
            std::lock_guard lk(m_);
            dead_ = true;
            english = english_;
        }
        cv_.notify_all();
        ShowStatus(EngineTerminatedText(english));
        WaitForExit();
    }
}

void TAnalyseThreadWB::WaitForExit() {
    // An engine that ended is reaped at once (no zombie while the window
    // stays open); one that only closed its output is left to Finish.
    const int pidFd = process_->PidFd();
    for (;;) {
        pollfd p[2] = {{pidFd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(p, 2, pidFd >= 0 ? -1 : 50);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || (p[1].revents & (POLLIN | POLLHUP | POLLERR))) return;
        if (process_->ReapIfExited()) return;
        if (pidFd < 0 && r == 0) continue;
    }
}

void TAnalyseThreadWB::Features(const std::string& L) {
    // The features this program honours, or can leave unused without harm
    // (options it never sets), are accepted; the others (moves with
    // "usermove", in SAN, ...) are refused, so the engine keeps to the
    // protocol's defaults there.
    static const char* const Accepted[] = {
        "setboard",  "analyze",   "done",  "myname", "variants", "colors", "ping",
        "playother", "time",      "draw",  "sigint", "sigterm",  "reuse",  "ics",
        "name",      "pause",     "debug", "memory", "smp",      "nps",    "exclude",
        "setscore",  "highlight", "xedit", "egt",    "option"};
    {
        std::lock_guard lk(m_);
        ++featureLines_;
        for (const auto& [name, value] : ParseFeatures(L)) {
            bool ok = false;
            for (const char* a : Accepted)
                if (name == a) ok = true;
            replies_.push_back((ok ? "accepted " : "rejected ") + name + "\n");
            if (name == "setboard") setboard_ = value == "1" ? 1 : 0;
            if (name == "ping") pingFeature_ = value == "1";
            if (name == "done") {
                if (value == "0")
                    featuresMore_ = true;
                else
                    featuresDone_ = true;
            }
        }
    }
    cv_.notify_all();
}

namespace {

// The command an "Error (...): COMMAND" line refuses; empty for other lines.
std::string Refused(const std::string& Line) {
    const std::string s = Cleaned(Line);
    const size_t colon = s.find(':');
    if (s.rfind("Error", 0) != 0 || colon == std::string::npos) return {};
    const std::vector<std::string> refused = Words(s.substr(colon + 1), 1);
    return refused.empty() ? std::string() : refused[0];
}

} // namespace

bool TAnalyseThreadWB::StopCommand(const std::string& ErrorLine) const {
    const std::string refused = Refused(ErrorLine);
    if (refused.empty()) return false;
    for (const std::string* c : {&info_.GetState, &info_.StopAnalyze})
        for (const std::string& w : Words(*c, 16))
            if (w == refused) return true;
    return false;
}

void TAnalyseThreadWB::Line(const std::string& L) {
    const std::string t = Answer(L);
    if (t.empty()) return;
    bool first;
    {
        std::lock_guard lk(m_);
        first = !heard_;
        heard_ = true;
    }
    if (first) cv_.notify_all(); // the writer may send in one piece now
    if (t.rfind("feature ", 0) == 0) {
        Features(t);
        return;
    }
    if (t.rfind("pong", 0) == 0) {
        long long n = 0;
        const std::vector<std::string> w = Words(t, 2);
        std::lock_guard lk(m_);
        if (w.size() == 2 && w[0] == "pong" && ToNumber(w[1], n) && fence_ != 0 && n >= fence_) {
            fence_ = 0;
            answeredGen_ = positionGen_;
            cv_.notify_all();
        }
        return;
    }
    const bool thinking = IsThinkingLine(t);
    if (!thinking && Refused(t) == "undo") {
        // The protocol lets an engine leave "undo" out: such an engine is
        // told each position anew.
        UndoRefused();
        return;
    }
    int moveNo, gen;
    bool stuck, thought;
    TEnginePosition pos;
    {
        std::lock_guard lk(m_);
        if (!thinking) lastWords_ = t;
        // An answer to a command of an earlier position, or to none.
        if (fence_ != 0 || unsentGen_ == positionGen_ || retellGen_ == positionGen_) return;
        answeredGen_ = positionGen_;
        if (writtenReq_ != requested_) return; // a newer position is on its way
        moveNo = moveNo_;
        gen = positionGen_;
        stuck = errorGen_ == gen;
        thought = thinkingGen_ == gen;
        pos = position_;
    }
    if (info_.NoParseOutput) {
        ShowFor(gen, ParseOutput(L, moveNo, true));
        return;
    }
    // The memo holds the newest thinking line. An error stays until the
    // next position when it was about the position (what the engine thinks
    // then belongs to another one); other lines show only until the first
    // thinking line.
    bool aboutPosition = false;
    if (IsErrorLine(t, &aboutPosition)) {
        // A refused "." or "exit" belongs to stopping the position before
        // (engines without "ping" have no fence to tell).
        if (StopCommand(t)) return;
        if (aboutPosition) {
            std::lock_guard lk(m_);
            errorGen_ = gen;
        }
        ShowFor(gen, t);
        return;
    }
    if (stuck) return;
    if (!thinking) {
        // Shown as it stands: it has no depth nor value to show.
        if (!thought) ShowFor(gen, t);
        return;
    }
    const std::string shown = ParseOutput(t, moveNo, false, &pos);
    if (shown.empty()) {
        // Its moves belong to another position: not shown, but counted.
        std::lock_guard lk(m_);
        unfitGen_ = gen;
        return;
    }
    {
        std::lock_guard lk(m_);
        thinkingGen_ = gen;
    }
    ShowFor(gen, shown);
}

void TAnalyseThreadWB::ShowStatus(const std::string& Text) {
    std::lock_guard status(statusM_);
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
    }
    if (onStatus_) onStatus_(Text);
}

void TAnalyseThreadWB::ShowFor(int Gen, const std::string& Text) {
    std::lock_guard status(statusM_);
    {
        std::lock_guard lk(m_);
        if (finishing_ || Gen != positionGen_ || writtenReq_ != requested_ || fence_ != 0) return;
    }
    if (onStatus_) onStatus_(Text);
}

void TAnalyseThreadWB::NoteUnfitLines() {
    // Under the memo's lock: a line that fits, read meanwhile, comes after.
    std::lock_guard status(statusM_);
    bool english;
    {
        std::lock_guard lk(m_);
        const int gen = positionGen_;
        if (finishing_ || unfitGen_ != gen || thinkingGen_ == gen || errorGen_ == gen ||
            unfitNoted_ == gen || writtenReq_ != requested_ || fence_ != 0)
            return;
        unfitNoted_ = gen;
        english = english_;
    }
    if (onStatus_)
        onStatus_(english ? "The engine's lines do not fit this position."
                          : "Die Zeilen der Engine passen nicht zu dieser Stellung.");
}

void TAnalyseThreadWB::BeginFinish() {
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
        finishing_ = true; // from now on no text reaches the window
        paused_ = 0;
        if (writer_.joinable())
            for (const std::string* s : {&info_.GetState, &info_.StopAnalyze, &info_.Quit})
                queue_.push_back({ToLf(*s), std::nullopt, false, true});
        stopWriter_ = true;
    }
    cv_.notify_all();
    // A paused engine could not read its quit.
    process_->Continue();
}

TEngineProcess::TEnd TAnalyseThreadWB::Finish(std::chrono::milliseconds Grace) {
    BeginFinish();
    {
        std::lock_guard lk(m_);
        if (ending_) return end_;
        ending_ = true;
    }
    if (!writer_.joinable()) process_->CloseInput(); // never started: end of input is our quit
    const TEngineProcess::TEnd end = process_->Finish(Grace);
    // The engine is gone: a write blocked on a full pipe has failed by now.
    if (writer_.joinable()) writer_.join();
    process_->CloseInput();
    if (wake_[1] >= 0) {
        const char c = 'q';
        while (::write(wake_[1], &c, 1) < 0 && errno == EINTR) {
        }
    }
    if (reader_.joinable()) reader_.join();
    process_->CloseOutput();
    if (!info_.GameFile.empty()) ::unlink(info_.GameFile.c_str());
    std::lock_guard lk(m_);
    end_ = end;
    finished_ = true;
    return end;
}

int TAnalyseThreadWB::ExitStatus() const {
    return process_->WaitStatus();
}

void TAnalyseThreadWB::SetPaused(unsigned Reason, bool On) {
    std::lock_guard lk(m_);
    if (finishing_) return;
    const unsigned old = paused_;
    paused_ = On ? (paused_ | Reason) : (paused_ & ~Reason);
    if (old == 0 && paused_ != 0) process_->Pause();
    if (old != 0 && paused_ == 0) {
        process_->Continue();
        cv_.notify_all();
    }
}

bool TAnalyseThreadWB::Paused() const {
    std::lock_guard lk(m_);
    return paused_ != 0;
}

bool TAnalyseThreadWB::Dead() const {
    std::lock_guard lk(m_);
    return dead_ || writeFailed_;
}

bool TAnalyseThreadWB::OutputEnded() const {
    std::lock_guard lk(m_);
    return dead_;
}

bool TAnalyseThreadWB::Settling(std::chrono::milliseconds Grace) const {
    std::lock_guard lk(m_);
    if (dead_ || writeFailed_) return false;
    const auto now = std::chrono::steady_clock::now();
    // The handshake's own time, and a little for the lines after it.
    if (positionGen_ == 0) return now - started_ < FeatureLongWait + LineWait * 2;
    return now - positionSent_ < Grace;
}

std::string TAnalyseThreadWB::LastWords() const {
    std::lock_guard lk(m_);
    return lastWords_;
}

bool TAnalyseThreadWB::Answered() const {
    std::lock_guard lk(m_);
    return positionGen_ > 0 && answeredGen_ == positionGen_;
}

// ---------------------------------------------------------------------------
// Reaper

TEngineReaper& TEngineReaper::Instance() {
    static TEngineReaper reaper;
    return reaper;
}

TEngineReaper::~TEngineReaper() {
    WaitIdle();
}

void TEngineReaper::Adopt(std::unique_ptr<TAnalyseThreadWB> Run) {
    if (!Run) return;
    Run->BeginFinish();
    std::unique_lock lk(m_);
    JoinDone(lk);
    auto entry = std::make_unique<TEntry>();
    TEntry* e = entry.get();
    runs_.push_back(std::move(entry));
    std::shared_ptr<TAnalyseThreadWB> run(std::move(Run));
    e->Thread = std::thread([this, e, run] {
        run->Finish();
        std::lock_guard lk(m_);
        e->Done = true;
        cv_.notify_all();
    });
}

void TEngineReaper::JoinDone(std::unique_lock<std::mutex>& Lock) {
    (void)Lock;
    for (auto it = runs_.begin(); it != runs_.end();) {
        if ((*it)->Done) {
            (*it)->Thread.join();
            it = runs_.erase(it);
        } else {
            ++it;
        }
    }
}

void TEngineReaper::WaitIdle() {
    std::unique_lock lk(m_);
    cv_.wait(lk, [this] {
        for (const auto& r : runs_)
            if (!r->Done) return false;
        return true;
    });
    JoinDone(lk);
}

} // namespace kb
