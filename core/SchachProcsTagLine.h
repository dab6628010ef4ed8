// SPDX-License-Identifier: GPL-3.0-or-later
// The line that opens a game's tag section, as every reader of game files
// recognises it. Inline: the game list's scan asks it at every game.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kb {

// Whether Text begins with the opening of a tag line: "[", a tag name
// (letters, digits, "_"), blanks (spaces, tabs, none) and a quoted value
// (\" and \\ escaped) before the line ends; one line end with blanks
// around it may stand between "[", the name and the value ("[Event" and
// "\"X\"]" on two lines). A game's tag section starts with such a line.
// More: Text ends before that is known.
enum class TTagLineTest { No, Yes, More };

namespace TagLineDetail {

enum : uint8_t { kName = 1, kBlank = 2, kValueStop = 4 };

inline constexpr std::array<uint8_t, 256> kTagChars = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
            t[c] |= kName;
    }
    t[' '] |= kBlank;
    t['\t'] |= kBlank;
    for (const int c : {'"', '\\', '\n', '\r'})
        t[c] |= kValueStop;
    return t;
}();

inline uint8_t Class(char c) {
    return kTagChars[static_cast<uint8_t>(c)];
}

// The first position from i on below n whose byte ends a value's run of
// plain bytes, or n.
inline size_t ValueStop(const char* p, size_t i, size_t n) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), slash = _mm_set1_epi8('\\');
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, slash)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < n && !(Class(p[i]) & kValueStop))
        ++i;
    return i;
}

} // namespace TagLineDetail

inline TTagLineTest TagLineAt(std::string_view Text) {
    using namespace TagLineDetail;
    const char* p = Text.data();
    const size_t n = Text.size();
    if (n == 0) return TTagLineTest::More;
    if (p[0] != '[') return TTagLineTest::No;
    size_t i = 1;
    // Blanks and at most one line end between two tokens; false when the
    // text ends first.
    auto gap = [&] {
        while (i < n && (Class(p[i]) & kBlank))
            ++i;
        if (i < n && (p[i] == '\r' || p[i] == '\n')) {
            if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') ++i;
            ++i;
            while (i < n && (Class(p[i]) & kBlank))
                ++i;
        }
        return i < n;
    };
    if (!gap()) return TTagLineTest::More;
    const size_t name = i;
    while (i < n && (Class(p[i]) & kName))
        ++i;
    if (i == n) return TTagLineTest::More;
    if (i == name) return TTagLineTest::No;
    if (!gap()) return TTagLineTest::More;
    if (p[i] != '"') return TTagLineTest::No;
    // The value ends at its closing quote; a line end first means no value.
    for (++i; i < n; ++i) {
        i = ValueStop(p, i, n);
        if (i == n) break;
        const char c = p[i];
        if (c == '"') return TTagLineTest::Yes;
        if (c != '\\') return TTagLineTest::No;
        if (i + 1 < n && (p[i + 1] == '"' || p[i + 1] == '\\')) ++i;
    }
    return TTagLineTest::More;
}

// Whether Text begins with the moves of a game without tags: a move number
// ("1.", "12...") and a move, or a move ("e4", "exd5", "Nf3", "O-O"). More:
// Text ends before that is known.
inline TTagLineTest MovesAt(std::string_view Text) {
    const char* p = Text.data();
    const size_t n = Text.size();
    size_t i = 0;
    if (i < n && p[i] >= '0' && p[i] <= '9') {
        while (i < n && p[i] >= '0' && p[i] <= '9')
            ++i;
        if (i < n && p[i] != '.') return TTagLineTest::No;
        while (i < n && p[i] == '.')
            ++i;
        while (i < n && (p[i] == ' ' || p[i] == '\t'))
            ++i;
    }
    if (i + 1 >= n) return TTagLineTest::More;
    const char c = p[i], d = p[i + 1];
    const bool file = d >= 'a' && d <= 'h', rank = d >= '1' && d <= '8';
    bool move = false;
    if (c >= 'a' && c <= 'h')
        move = rank || d == 'x';
    else if (c == 'K' || c == 'Q' || c == 'R' || c == 'B' || c == 'N')
        move = file || rank || d == 'x';
    else if (c == 'O')
        move = d == '-';
    return move ? TTagLineTest::Yes : TTagLineTest::No;
}

// A whole line (without its line end) that is a tag line, blanks before
// the "[" allowed.
bool IsTagLine(std::string_view Line);
// A line (without its line end) that begins with the moves of a game
// without tags, blanks before them allowed.
bool IsMovesLine(std::string_view Line);

} // namespace kb
