// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNTestUtil.h"

#include <cctype>

#include <algorithm>

namespace pgntest {

namespace {

bool Eol(char c) {
    return c == '\n' || c == '\r';
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks and at most one line end from J on; false when the bytes end first.
bool Gap(const std::string& B, size_t& J) {
    const size_t n = B.size();
    while (J < n && Blank(B[J]))
        ++J;
    if (J < n && Eol(B[J])) {
        J += B.compare(J, 2, "\r\n") == 0 ? 2 : 1;
        while (J < n && Blank(B[J]))
            ++J;
    }
    return J < n;
}

// A tag opens at K: "[", the name, the quoted value; one line end may
// stand between them.
bool TagAt(const std::string& B, size_t K) {
    const size_t n = B.size();
    if (K >= n || B[K] != '[') return false;
    size_t j = K + 1;
    if (!Gap(B, j)) return false;
    const size_t name = j;
    while (j < n && (std::isalnum(static_cast<unsigned char>(B[j])) || B[j] == '_'))
        ++j;
    if (j == name || !Gap(B, j) || B[j] != '"') return false;
    for (++j; j < n && !Eol(B[j]);) {
        if (B[j] == '"') return true;
        j += B[j] == '\\' && j + 1 < n && (B[j + 1] == '"' || B[j + 1] == '\\') ? 2 : 1;
    }
    return false;
}

// Moves begin at K: a move number and a move, or a move.
bool MovesStartAt(const std::string& B, size_t K) {
    const size_t n = B.size();
    size_t j = K;
    if (j < n && std::isdigit(static_cast<unsigned char>(B[j]))) {
        while (j < n && std::isdigit(static_cast<unsigned char>(B[j])))
            ++j;
        if (j >= n || B[j] != '.') return false;
        while (j < n && B[j] == '.')
            ++j;
        while (j < n && Blank(B[j]))
            ++j;
    }
    if (j + 1 >= n) return false;
    const std::string_view two(B.data() + j, 2);
    const bool file = two[1] >= 'a' && two[1] <= 'h', rank = two[1] >= '1' && two[1] <= '8';
    if (two[0] >= 'a' && two[0] <= 'h') return rank || two[1] == 'x';
    if (std::string_view("KQRBN").find(two[0]) != std::string_view::npos)
        return file || rank || two[1] == 'x';
    return two == "O-";
}

// A result ("*", "1-0", "0-1", "1/2-1/2") from the "*" or "-" at K; End goes
// behind it. A blank, a line end, "{", "[", ";", "%" or the end of the bytes
// must follow.
bool ResultAt(const std::string& B, size_t K, size_t& End) {
    std::string rest;
    if (B[K] == '-') {
        if (K == 0) return false;
        rest = B[K - 1] == '1' ? "0" : B[K - 1] == '0' ? "1" : B[K - 1] == '2' ? "1/2" : "";
        if (rest.empty()) return false;
    }
    if (B.compare(K + 1, rest.size(), rest) != 0) return false;
    End = K + 1 + rest.size();
    return End >= B.size() || Blank(B[End]) || Eol(B[End]) ||
           std::string_view("{[;%").find(B[End]) != std::string_view::npos;
}

// 0: a tag line (its "[" at Bracket), 1: a line that keeps tags open, 2: any other.
int LineKind(const std::string& B, size_t Q, size_t& Bracket) {
    const size_t n = B.size();
    size_t k = Q;
    if (B.compare(k, 3, "\xEF\xBB\xBF") == 0) k += 3;
    while (k < n && Blank(B[k]))
        ++k;
    if (k == n || Eol(B[k]) || B[k] == '"' || B[k] == ']' || (B[k] == '%' && k == Q)) return 1;
    if (B[k] != '[') return 2;
    if (!TagAt(B, k)) return 1;
    Bracket = k;
    return 0;
}

} // namespace

std::vector<int64_t> PlainStarts(const std::string& B) {
    std::vector<int64_t> starts, hidden;
    enum { Moves, Comment, Line } lex = Moves;
    bool tags = false, hiddenTags = false, str = false, esc = false;
    bool ended = true;    // at the top of the file, or behind a result
    bool tagless = false; // the last start has no tags, and no result came since
    for (size_t i = 0; i < B.size(); ++i) {
        const bool lineStart = i == 0 || Eol(B[i - 1]);
        if (lineStart) {
            if (lex == Line) lex = Moves;
            str = esc = false;
        }
        const char c = B[i];
        if (ended && lex == Moves) {
            // Between games a tag or moves begin the next one; strings are
            // only followed there, for the marks behind.
            if (str) {
                if (esc)
                    esc = false;
                else if (c == '\\')
                    esc = true;
                else if (c == '"')
                    str = false;
            } else if (c == '"') {
                str = true;
            }
            const bool tokenStart =
                i == 0 || Blank(B[i - 1]) || Eol(B[i - 1]) ||
                std::string_view("})]\xBF").find(B[i - 1]) != std::string_view::npos;
            if (c == ';' || (c == '%' && lineStart)) {
                lex = Line;
            } else if (c == '{') {
                lex = Comment;
                hiddenTags = false;
            } else if (c == '[' ? TagAt(B, i) : tokenStart && MovesStartAt(B, i)) {
                starts.push_back(static_cast<int64_t>(i));
                ended = false;
                tags = c == '[';
                tagless = !tags;
            }
            continue;
        }
        if (lineStart && lex != Line) {
            size_t bracket = 0;
            const int kind = LineKind(B, i, bracket);
            bool& open = lex == Comment ? hiddenTags : tags;
            if (!open && kind == 0) {
                (lex == Comment ? hidden : starts).push_back(static_cast<int64_t>(bracket));
                open = true;
                tagless = tagless && lex == Comment;
            } else if (open && kind == 2) {
                open = false;
            }
        }
        if (Eol(c) || lex == Line) continue;
        if (lex == Comment) {
            if (c == '}') {
                lex = Moves;
                str = esc = false;
                hidden.clear();
            }
            continue;
        }
        size_t end = 0;
        if (str) {
            if (esc)
                esc = false;
            else if (c == '\\')
                esc = true;
            else if (c == '"')
                str = false;
        } else if (c == '"') {
            str = true;
        } else if (c == '{') {
            lex = Comment;
            tags = hiddenTags = false;
        } else if (c == ';' || (c == '%' && lineStart)) {
            if (c == ';') tags = false;
            lex = Line;
        } else if (c == ']' && tags) {
            size_t k = i + 1;
            while (k < B.size() && Blank(B[k]))
                ++k;
            if (k < B.size() && !Eol(B[k]) && B[k] != '[') tags = false;
        } else if (c == '[' && !tags && TagAt(B, i)) {
            starts.push_back(static_cast<int64_t>(i)); // behind moves on their line
            tags = true;
            tagless = false;
        } else if ((c == '*' || c == '-') && !tags && ResultAt(B, i, end)) {
            ended = true;
            tagless = false;
            i = end - 1;
        }
    }
    // Moves without tags the bytes end in before a result are no game.
    if (tagless) starts.pop_back();
    if (lex == Comment) starts.insert(starts.end(), hidden.begin(), hidden.end());
    return starts;
}

std::string MakeGame(int Id, size_t Length, std::mt19937& Rng) {
    std::string g = "[Event \"Event " + std::to_string(Id % 7) + "\"]\r\n";
    g += "[Site \"Town\"]\r\n";
    g += "[White \"Player " + std::to_string(Id) + "\"]\r\n";
    g += "[Black \"Other " + std::to_string(Id * 7 % 13) + "\"]\r\n";
    g += "[Result \"1-0\"]\r\n";
    g += "[WhiteElo \"" + std::to_string(900 + Id * 37 % 1500) + "\"]\r\n\r\n";
    static const char* moves[] = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O"};
    int n = 1;
    size_t lineLen = 0;
    while (g.size() + 6 < Length) {
        std::string m =
            std::to_string(n++) + ". " + moves[Rng() % 9] + " " + moves[Rng() % 9] + " ";
        g += m;
        lineLen += m.size();
        if (lineLen > 70) {
            g += "\r\n";
            lineLen = 0;
        }
    }
    g += "1-0";
    return g;
}

std::vector<kb::TPGNGameRecord> Records(const kb::TPGN& P) {
    std::vector<kb::TPGNGameRecord> r;
    for (int i = 0; i < P.RecordCount(); ++i)
        r.push_back(P.Record(i));
    return r;
}

std::vector<int64_t> FreshStarts(const std::filesystem::path& File) {
    kb::TPGN p;
    std::vector<int64_t> s;
    if (!p.SetFileName(File.string())) return {-1};
    for (int i = 0; i < p.RecordCount(); ++i)
        s.push_back(p.Record(i).Start);
    return s;
}

std::vector<int> RowGameNos(const kb::TPGN& P) {
    std::vector<int> v;
    for (int r = 0; r < P.ItemCount(); ++r)
        v.push_back(P.Record(P.GameIndex(r)).GameNo);
    return v;
}

std::vector<std::string> OtherFiles(const std::filesystem::path& Dir, const std::string& Keep) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir))
        if (e.path().filename() != Keep) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace pgntest
