// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNScan.h"

#include "FileIO.h"
#include "SchachProcs.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace kb {
namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr size_t kBomLen = 3;

inline bool IsEol(char c) {
    return c == '\n' || c == '\r';
}

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// What a line is to the tag sections.
enum class TLine : uint8_t {
    TagLine, // opens a tag section where none is open
    Neutral, // keeps one open: empty, escaped, or the rest of a tag
    Other,   // ends one
    More     // the bytes end before that is known
};

// The line whose first byte is W[Q]; Len bytes are there, and Final says no
// more follow. A tag line's "[" goes to Bracket.
inline TLine ClassifyLine(const char* W, size_t Q, size_t Len, bool Final, size_t& Bracket) {
    size_t k = Q;
    if (k < Len && W[k] == kBom[0]) {
        if (Len - k < kBomLen) return Final ? TLine::Other : TLine::More;
        if (std::memcmp(W + k, kBom, kBomLen) == 0) k += kBomLen;
    }
    while (k < Len && IsBlank(W[k]))
        ++k;
    if (k == Len) return Final ? TLine::Neutral : TLine::More;
    const char c = W[k];
    if (IsEol(c) || c == '"' || c == ']') return TLine::Neutral;
    if (c == '%' && k == Q) return TLine::Neutral;
    if (c != '[') return TLine::Other;
    switch (TagLineAt(std::string_view(W + k, Len - k))) {
    case TTagLineTest::Yes:
        Bracket = k;
        return TLine::TagLine;
    case TTagLineTest::More:
        return Final ? TLine::Neutral : TLine::More;
    case TTagLineTest::No:
        break;
    }
    return TLine::Neutral;
}

// What reading looks for, by state: the same bytes in a tag section as
// outside one, so that the masks of a chunk serve both; a comment needs others.
enum class TMode : uint8_t {
    Seek,        // move text, or before the first game: a tag line starts a game
    Tags,        // in a tag section: a line or text that ends it
    CommentSeek, // in a comment: the same, for the starts a comment hides
    CommentTags
};

constexpr bool IsCommentMode(TMode Mode) {
    return Mode == TMode::CommentSeek || Mode == TMode::CommentTags;
}

// The bytes of 64 positions from i that matter. Bit k stands for position
// i + k; a line end's bits speak of the line behind it.
struct TMasks {
    uint64_t Seek = 0;  // line end; the line behind it may be a tag line
    uint64_t Other = 0; // line end; the line behind it may end a tag section
    uint64_t After = 0; // "]" with more than a line end or a tag behind it
    uint64_t Mark = 0;  // "{", ";", "%" outside comments; "}" inside one
    uint64_t Open = 0;  // "[" outside comments: a tag may open behind moves
    uint64_t End = 0;   // "*", "-" behind "0", "1" or "2" outside comments: a result may end a game
    // The bits that matter in Mode.
    uint64_t Of(TMode Mode) const {
        switch (Mode) {
        case TMode::Seek:
            return Seek | Mark | Open | End;
        case TMode::CommentSeek:
            return Seek | Mark;
        case TMode::Tags:
            return Other | After | Mark;
        case TMode::CommentTags:
            return Other | Mark;
        }
        return 0;
    }
};

inline bool SeekLead(char b) {
    return b == '[' || b == kBom[0] || IsBlank(b);
}

inline bool KeepsTags(char b) {
    return b == '[' || b == '%' || b == '"' || b == ']' || IsEol(b);
}

// Positions i .. Avail - 1 at most; the byte behind the last may lie at Len.
void MasksPlain(const char* W, size_t i, size_t Avail, size_t Len, bool Comment, TMasks& M) {
    M = TMasks{};
    const size_t n = Avail - i < 64 ? Avail - i : 64;
    for (size_t k = 0; k < n; ++k) {
        const size_t p = i + k;
        const char c = W[p];
        const char b = p + 1 < Len ? W[p + 1] : '\0';
        const uint64_t bit = uint64_t{1} << k;
        if (IsEol(c)) {
            if (SeekLead(b)) M.Seek |= bit;
            if (!KeepsTags(b)) M.Other |= bit;
        } else if (Comment) {
            if (c == '}') M.Mark |= bit;
        } else if (c == '{' || c == ';' || c == '%') {
            M.Mark |= bit;
        } else if (c == ']') {
            if (!(IsEol(b) || b == '[')) M.After |= bit;
        } else if (c == '[') {
            M.Open |= bit;
        } else if (c == '*' || (c == '-' && W[p - 1] >= '0' && W[p - 1] <= '2')) {
            M.End |= bit;
        }
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) inline __m256i Or(__m256i A, __m256i B) {
    return _mm256_or_si256(A, B);
}

__attribute__((target("avx2"))) inline uint64_t Bits(__m256i Lo, __m256i Hi) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(Lo)) |
           (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(Hi))) << 32);
}

// From chunk i on, the first chunk of 64 positions with a bit that matters
// in Mode, while the whole chunk and the byte behind it lie below Len.
// Returns that chunk's position, or where the bytes run short (M empty).
template <TMode Mode>
__attribute__((target("avx2"))) inline size_t MasksAvx2(const char* W, size_t i, size_t Len,
                                                        TMasks& M) {
    constexpr bool comment = IsCommentMode(Mode);
    const __m256i lf = _mm256_set1_epi8('\n'), cr = _mm256_set1_epi8('\r');
    const __m256i tag = _mm256_set1_epi8('['), bom = _mm256_set1_epi8(kBom[0]);
    const __m256i blank = _mm256_set1_epi8(' '), tab = _mm256_set1_epi8('\t');
    const __m256i pct = _mm256_set1_epi8('%'), quote = _mm256_set1_epi8('"');
    const __m256i close = _mm256_set1_epi8(']'), braceOpen = _mm256_set1_epi8('{');
    const __m256i braceClose = _mm256_set1_epi8('}'), semi = _mm256_set1_epi8(';');
    const __m256i star = _mm256_set1_epi8('*'), dash = _mm256_set1_epi8('-');
    const __m256i zero = _mm256_set1_epi8('0'), two = _mm256_set1_epi8(2);
    for (; i + 65 <= Len; i += 64) {
        __m256i seek[2], other[2], after[2], mark[2], open[2], end[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(W + i + 32 * h));
            const __m256i b =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(W + i + 32 * h + 1));
            const __m256i eol = Or(_mm256_cmpeq_epi8(a, lf), _mm256_cmpeq_epi8(a, cr));
            const __m256i bTag = _mm256_cmpeq_epi8(b, tag);
            const __m256i bEol = Or(_mm256_cmpeq_epi8(b, lf), _mm256_cmpeq_epi8(b, cr));
            seek[h] = _mm256_and_si256(
                eol, Or(Or(bTag, _mm256_cmpeq_epi8(b, bom)),
                        Or(_mm256_cmpeq_epi8(b, blank), _mm256_cmpeq_epi8(b, tab))));
            const __m256i keep =
                Or(Or(Or(bTag, bEol), Or(_mm256_cmpeq_epi8(b, pct), _mm256_cmpeq_epi8(b, quote))),
                   _mm256_cmpeq_epi8(b, close));
            other[h] = _mm256_andnot_si256(keep, eol);
            if constexpr (comment) {
                after[h] = open[h] = end[h] = _mm256_setzero_si256();
                mark[h] = _mm256_cmpeq_epi8(a, braceClose);
            } else {
                after[h] = _mm256_andnot_si256(Or(bEol, bTag), _mm256_cmpeq_epi8(a, close));
                mark[h] = Or(_mm256_cmpeq_epi8(a, braceOpen),
                             Or(_mm256_cmpeq_epi8(a, semi), _mm256_cmpeq_epi8(a, pct)));
                open[h] = _mm256_cmpeq_epi8(a, tag);
                // A result's dash stands behind a digit, castling's behind an "O".
                const __m256i before = _mm256_sub_epi8(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(W + i + 32 * h - 1)), zero);
                const __m256i digit = _mm256_cmpeq_epi8(_mm256_min_epu8(before, two), before);
                end[h] = Or(_mm256_cmpeq_epi8(a, star),
                            _mm256_and_si256(_mm256_cmpeq_epi8(a, dash), digit));
            }
        }
        M.Seek = Bits(seek[0], seek[1]);
        M.Other = Bits(other[0], other[1]);
        M.After = Bits(after[0], after[1]);
        M.Mark = Bits(mark[0], mark[1]);
        M.Open = Bits(open[0], open[1]);
        M.End = Bits(end[0], end[1]);
        if (M.Of(Mode)) return i;
    }
    M = TMasks{};
    return i;
}

__attribute__((target("avx2"))) inline size_t MasksAvx2(const char* W, size_t i, size_t Len,
                                                        TMode Mode, TMasks& M) {
    switch (Mode) {
    case TMode::Seek:
        return MasksAvx2<TMode::Seek>(W, i, Len, M);
    case TMode::Tags:
        return MasksAvx2<TMode::Tags>(W, i, Len, M);
    case TMode::CommentSeek:
        return MasksAvx2<TMode::CommentSeek>(W, i, Len, M);
    case TMode::CommentTags:
        return MasksAvx2<TMode::CommentTags>(W, i, Len, M);
    }
    return i;
}

// The same with 64-byte vectors: each byte's classes come from one table
// look-up (the low 7 bits index it; bytes from 0x80 on belong to no class
// but the byte order mark's first).
enum : uint8_t {
    kcEol = 1,      // a line end
    kcSeek = 2,     // may begin a tag line's line ("[", blanks)
    kcKeep = 4,     // begins a line that keeps a tag section open
    kcMark = 8,     // "{", ";", "%"
    kcBrace = 16,   // "}"
    kcClose = 32,   // "]"
    kcNoAfter = 64, // a line end or "[" behind a "]"
};

struct alignas(64) TClassTable {
    uint8_t T[128] = {};
    constexpr TClassTable() {
        for (const char c : {'\n', '\r'})
            T[static_cast<uint8_t>(c)] |= kcEol | kcKeep | kcNoAfter;
        for (const char c : {'[', ' ', '\t'})
            T[static_cast<uint8_t>(c)] |= kcSeek;
        for (const char c : {'[', '%', '"', ']'})
            T[static_cast<uint8_t>(c)] |= kcKeep;
        for (const char c : {'{', ';', '%'})
            T[static_cast<uint8_t>(c)] |= kcMark;
        T[static_cast<uint8_t>('}')] |= kcBrace;
        T[static_cast<uint8_t>(']')] |= kcClose;
        T[static_cast<uint8_t>('[')] |= kcNoAfter;
    }
};
constexpr TClassTable kClasses;

#define KB_WIDE512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

KB_WIDE512 inline uint64_t Has(__m512i Classes, uint8_t Class) {
    return _mm512_test_epi8_mask(Classes, _mm512_set1_epi8(static_cast<char>(Class)));
}

// The classes of the byte behind a chunk, for the top bit of the masks
// that look one byte ahead.
inline uint8_t ClassOf(char c) {
    const auto u = static_cast<uint8_t>(c);
    return u < 0x80 ? kClasses.T[u] : 0;
}

// Bit k of Ahead becomes bit k - 1; the byte behind the chunk gives bit 63.
inline uint64_t Behind(uint64_t Ahead, bool Next) {
    return (Ahead >> 1) | (static_cast<uint64_t>(Next) << 63);
}

// One look-up per chunk: the classes of the byte behind each position are
// those of the next position, and of the byte behind the chunk for the last.
template <TMode Mode>
KB_WIDE512 inline size_t Masks512(const char* W, size_t i, size_t Len, TMasks& M) {
    constexpr bool comment = IsCommentMode(Mode);
    const __m512i t0 = _mm512_load_si512(kClasses.T), t1 = _mm512_load_si512(kClasses.T + 64);
    const __m512i bom = _mm512_set1_epi8(kBom[0]);
    for (; i + 65 <= Len; i += 64) {
        const __m512i a = _mm512_loadu_si512(W + i);
        const __m512i ca = _mm512_permutex2var_epi8(t0, a, t1);
        const uint64_t ascii = ~_mm512_movepi8_mask(a);
        const char next = W[i + 64];
        const uint8_t cn = ClassOf(next);
        const uint64_t eol = Has(ca, kcEol) & ascii;
        M.Seek = eol & Behind((Has(ca, kcSeek) & ascii) | _mm512_cmpeq_epi8_mask(a, bom),
                              (cn & kcSeek) != 0 || next == kBom[0]);
        M.Other = eol & ~Behind(Has(ca, kcKeep) & ascii, (cn & kcKeep) != 0);
        if constexpr (comment) {
            M.After = M.Open = M.End = 0;
            M.Mark = Has(ca, kcBrace) & ascii;
        } else {
            M.After = Has(ca, kcClose) & ascii &
                      ~Behind(Has(ca, kcNoAfter) & ascii, (cn & kcNoAfter) != 0);
            M.Mark = Has(ca, kcMark) & ascii;
            M.Open = _mm512_cmpeq_epi8_mask(a, _mm512_set1_epi8('['));
            // A result's dash stands behind a digit, castling's behind an "O".
            const __m512i before =
                _mm512_sub_epi8(_mm512_loadu_si512(W + i - 1), _mm512_set1_epi8('0'));
            M.End = _mm512_cmpeq_epi8_mask(a, _mm512_set1_epi8('*')) |
                    (_mm512_cmpeq_epi8_mask(a, _mm512_set1_epi8('-')) &
                     _mm512_cmple_epu8_mask(before, _mm512_set1_epi8(2)));
        }
        if (M.Of(Mode)) return i;
    }
    M = TMasks{};
    return i;
}

KB_WIDE512 inline size_t Masks512(const char* W, size_t i, size_t Len, TMode Mode, TMasks& M) {
    switch (Mode) {
    case TMode::Seek:
        return Masks512<TMode::Seek>(W, i, Len, M);
    case TMode::Tags:
        return Masks512<TMode::Tags>(W, i, Len, M);
    case TMode::CommentSeek:
        return Masks512<TMode::CommentSeek>(W, i, Len, M);
    case TMode::CommentTags:
        return Masks512<TMode::CommentTags>(W, i, Len, M);
    }
    return i;
}

int Widest() {
    static const int widest =
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") ? 2
        : __builtin_cpu_supports("avx2")                                           ? 1
                                                                                   : 0;
    return widest;
}
#else
int Widest() {
    return 0;
}
#endif

// 2: 64-byte vectors, 1: 32-byte vectors, 0: a byte at a time.
std::atomic<int> g_width{-1};

int Width() {
    const int w = g_width.load(std::memory_order_relaxed);
    return w < 0 ? Widest() : w;
}

// String state after the bytes [From, To), starting with the given state.
// Strings end at their closing quote or at the line end.
void WalkStrings(const char* W, size_t From, size_t To, bool& In, bool& Escaped) {
    for (size_t k = From; k < To; ++k) {
        const char c = W[k];
        if (IsEol(c)) {
            In = Escaped = false;
        } else if (In) {
            if (Escaped)
                Escaped = false;
            else if (c == '\\')
                Escaped = true;
            else if (c == '"')
                In = false;
        } else if (c == '"') {
            In = true;
        }
    }
}

// A byte behind which a token of the move text begins.
inline bool EndsToken(char c) {
    return IsBlank(c) || IsEol(c) || c == '}' || c == ')' || c == ']' || c == kBom[2];
}

// Whether the "*" or "-" at W[P] belongs to a result ("*", "1-0", "0-1",
// "1/2-1/2") that stands as a token of its own, one that ends a game's
// moves; After goes behind it. P is at least 1.
inline TTagLineTest ResultAt(const char* W, size_t P, size_t Len, bool Final, size_t& After) {
    std::string_view rest;
    if (W[P] == '-') {
        const char b = W[P - 1];
        rest = b == '1' ? "0" : b == '0' ? "1" : b == '2' ? "1/2" : "";
        if (rest.empty()) return TTagLineTest::No;
    }
    size_t q = P + 1;
    for (const char c : rest) {
        if (q == Len) return Final ? TTagLineTest::No : TTagLineTest::More;
        if (W[q++] != c) return TTagLineTest::No;
    }
    After = q;
    if (q == Len) return Final ? TTagLineTest::Yes : TTagLineTest::More;
    const char c = W[q];
    return IsBlank(c) || IsEol(c) || c == '{' || c == '[' || c == ';' || c == '%'
               ? TTagLineTest::Yes
               : TTagLineTest::No;
}

} // namespace

// Reads Work[1, Len), whose first byte lies at file offset Base + 1; Work[0]
// is the byte before. Returns where reading stopped: the bytes from there on
// are read again with the next block (a line that needs more bytes to tell
// what it is, and always the last byte, whose next byte is not known yet).
template <int Wide>
__attribute__((always_inline)) inline size_t
TGameStartScanner::RunWith(const char* Work, size_t Len, int64_t Base, bool Final,
                           std::vector<int64_t>& Starts) {
    const size_t avail = Final ? Len : Len - 1;
    // The string state is known at Work[seg].
    size_t seg = 1;
    bool in = inString_, esc = escaped_;
    // String state at p: from the last line end, or from seg. Most marks
    // stand in move text without a quote before them on their line.
    auto inStringAt = [&](size_t p) {
        size_t k = seg;
        const size_t n = p - seg;
        // A lone CR can only stand behind the last LF.
        const auto* lf = static_cast<const char*>(n ? memrchr(Work + seg, '\n', n) : nullptr);
        const char* from = lf ? lf + 1 : Work + seg;
        const size_t rest = static_cast<size_t>(Work + p - from);
        const auto* cr = static_cast<const char*>(rest ? memrchr(from, '\r', rest) : nullptr);
        const char* eol = std::max(lf, cr);
        if (eol) {
            k = static_cast<size_t>(eol - Work) + 1;
            in = esc = false;
        }
        if (in || std::memchr(Work + k, '"', p - k)) WalkStrings(Work, k, p, in, esc);
        seg = p;
        return in;
    };
    auto toMoves = [&](size_t p) {
        lex_ = Lex::Moves;
        seg = p;
        in = esc = false;
    };
    // A rest-of-line comment from p ends at the next line end, where reading
    // goes on (the line behind it may open a game). Len when none is there.
    auto skipLine = [&](size_t p) {
        while (p < Len && !IsEol(Work[p]))
            ++p;
        if (p < Len) toMoves(p);
        return p;
    };

    auto mode = [&] {
        if (lex_ == Lex::Comment) return hiddenTags_ ? TMode::CommentTags : TMode::CommentSeek;
        return tags_ ? TMode::Tags : TMode::Seek;
    };
    size_t i = 1;
    if (lex_ == Lex::LineComment) i = skipLine(i);
    size_t cur = i;
    size_t stop = 0; // set when a line needs more bytes
    // Between games: what comes next is read a byte at a time (a few blank
    // lines, mostly) until a tag or moves begin the next game, a comment
    // begins or the bytes end. Returns where reading goes on: behind the
    // tag's "[", at the moves, behind the "{".
    auto between = [&](size_t k) {
        while (k < avail) {
            const char c = Work[k];
            if (IsBlank(c) || IsEol(c)) {
                ++k;
                continue;
            }
            if (c == ';' || (c == '%' && IsEol(Work[k - 1]))) {
                lex_ = Lex::LineComment;
                k = skipLine(k + 1);
                continue;
            }
            if (c == '{') {
                lex_ = Lex::Comment;
                hiddenTags_ = false;
                return k + 1;
            }
            TTagLineTest t = TTagLineTest::No;
            if (c == '[')
                t = TagLineAt(std::string_view(Work + k, Len - k));
            else if (EndsToken(Work[k - 1]))
                t = MovesAt(std::string_view(Work + k, Len - k));
            if (t == TTagLineTest::More && !Final) {
                stop = k;
                return k;
            }
            if (t == TTagLineTest::Yes) {
                Starts.push_back(Base + static_cast<int64_t>(k));
                ended_ = false;
                tagless_ = c != '[';
                tags_ = c == '[';
                return tags_ ? k + 1 : k;
            }
            ++k;
        }
        return k;
    };
    TMasks m;
    while (i < avail && stop == 0) {
        if (ended_ && lex_ == Lex::Moves) {
            i = cur = between(std::max(i, cur));
            continue;
        }
        // The masks of the chunk at i, or of the first chunk after it that
        // has a bit in them.
        const bool comment = lex_ == Lex::Comment;
        bool found = false;
#if defined(__x86_64__) && defined(__GNUC__)
        if (Wide > 0 && i + 65 <= Len) {
            size_t at;
            if constexpr (Wide == 2)
                at = Masks512(Work, i, Len, mode(), m);
            else
                at = MasksAvx2(Work, i, Len, mode(), m);
            if (at != i) i = cur = at;
            found = m.Of(mode()) != 0;
        }
#endif
        if (i >= avail) break;
        if (!found) MasksPlain(Work, i, avail, Len, comment, m);
        bool rescan = false, remask = false;
        for (;;) {
            uint64_t relevant = m.Of(mode());
            const size_t skip = cur - i;
            if (skip >= 64) break;
            relevant &= ~uint64_t{0} << skip;
            if (relevant == 0) break;
            const size_t b = static_cast<size_t>(__builtin_ctzll(relevant));
            const size_t p = i + b;
            const uint64_t bit = uint64_t{1} << b;
            cur = p + 1;
            if ((lex_ == Lex::Comment ? hiddenTags_ : tags_) ? m.Other & bit : m.Seek & bit) {
                size_t bracket = 0;
                const TLine kind = ClassifyLine(Work, p + 1, Len, Final, bracket);
                if (kind == TLine::More) {
                    stop = p;
                    break;
                }
                bool& open = lex_ == Lex::Comment ? hiddenTags_ : tags_;
                if (!open && kind == TLine::TagLine) {
                    (lex_ == Lex::Comment ? hidden_ : Starts)
                        .push_back(Base + static_cast<int64_t>(bracket));
                    open = true;
                    if (lex_ != Lex::Comment) tagless_ = false;
                } else if (open && kind == TLine::Other) {
                    open = false;
                }
            } else if (m.After & bit) {
                // Text behind a tag is move text, unless the "]" is a string's.
                size_t k = p + 1;
                while (k < Len && IsBlank(Work[k]))
                    ++k;
                if (k == Len && !Final) {
                    stop = p;
                    break;
                }
                if (!(k == Len || IsEol(Work[k]) || Work[k] == '[' || inStringAt(p))) tags_ = false;
            } else if (lex_ == Lex::Comment) {
                toMoves(p + 1); // its "}"
                hidden_.clear();
            } else if (m.Open & bit) {
                // A tag behind the moves on their line begins the next game.
                const TTagLineTest t = TagLineAt(std::string_view(Work + p, Len - p));
                if (t == TTagLineTest::More && !Final) {
                    stop = p;
                    break;
                }
                if (t == TTagLineTest::Yes && !inStringAt(p)) {
                    Starts.push_back(Base + static_cast<int64_t>(p));
                    tags_ = true;
                    tagless_ = false;
                }
            } else if (m.End & bit) {
                size_t after = 0;
                const TTagLineTest t = ResultAt(Work, p, Len, Final, after);
                if (t == TTagLineTest::More) {
                    stop = p;
                    break;
                }
                if (t == TTagLineTest::Yes && !inStringAt(p)) {
                    // The game ends here: the next one may come without tags.
                    ended_ = true;
                    tagless_ = false;
                    const size_t k = between(after);
                    if (stop != 0) break;
                    // Mostly the next game's tag follows in this chunk: its
                    // masks serve on.
                    if (ended_ || lex_ != Lex::Moves || k >= i + 64) {
                        i = cur = k;
                        rescan = true;
                        break;
                    }
                    cur = k;
                    continue;
                }
            } else {
                const char c = Work[p];
                // An escape line begins at a line start only; a mark inside a
                // string is none.
                if ((c == '%' && !IsEol(Work[p - 1])) || inStringAt(p)) continue;
                if (c == '{') {
                    lex_ = Lex::Comment;
                    tags_ = hiddenTags_ = false;
                } else {
                    if (c == ';') tags_ = false;
                    lex_ = Lex::LineComment;
                    // Masks again from the line end, which may start a game.
                    i = cur = skipLine(p + 1);
                    rescan = true;
                    break;
                }
            }
            // Another mode looks for other bytes: the masks again from here.
            // A comment looks for other marks: the masks again from here.
            if ((lex_ == Lex::Comment) != comment) {
                remask = true;
                break;
            }
        }
        if (rescan || remask) continue;
        if (stop == 0) {
            i += 64;
            if (cur < i) cur = i;
        }
    }
    if (stop == 0) stop = std::min(i, avail);
    // The string state where reading stopped, for the next block.
    if (lex_ == Lex::Moves) {
        inStringAt(stop);
        inString_ = in;
        escaped_ = esc;
    } else {
        inString_ = escaped_ = false;
    }
    return stop;
}

#if defined(__x86_64__) && defined(__GNUC__)
KB_WIDE512 size_t TGameStartScanner::Run512(const char* Work, size_t Len, int64_t Base, bool Final,
                                            std::vector<int64_t>& Starts) {
    return RunWith<2>(Work, Len, Base, Final, Starts);
}

__attribute__((target("avx2"))) size_t TGameStartScanner::Run256(const char* Work, size_t Len,
                                                                 int64_t Base, bool Final,
                                                                 std::vector<int64_t>& Starts) {
    return RunWith<1>(Work, Len, Base, Final, Starts);
}
#endif

size_t TGameStartScanner::Run(const char* Work, size_t Len, int64_t Base, bool Final,
                              std::vector<int64_t>& Starts) {
#if defined(__x86_64__) && defined(__GNUC__)
    switch (Width()) {
    case 2:
        return Run512(Work, Len, Base, Final, Starts);
    case 1:
        return Run256(Work, Len, Base, Final, Starts);
    }
#endif
    return RunWith<0>(Work, Len, Base, Final, Starts);
}

void TGameStartScanner::Carry(const char* Work, size_t Stop, size_t Len, int64_t Base) {
    carry_.assign(Work + Stop - 1, Len - (Stop - 1));
    carryBase_ = Base + static_cast<int64_t>(Stop) - 1;
}

void TGameStartScanner::Feed(char* Block, size_t Count, std::vector<int64_t>& Starts) {
    consumed_ += static_cast<int64_t>(Count);
    const size_t c = carry_.size();
    if (c <= HeadRoom) {
        // The carried bytes go right in front of the block, so that a line
        // cut by the border is read as one piece.
        char* work = Block - c;
        std::memcpy(work, carry_.data(), c);
        const size_t len = c + Count;
        examined_ += static_cast<int64_t>(len);
        Carry(work, Run(work, len, carryBase_, false, Starts), len, carryBase_);
    } else {
        // A line that blocks cannot settle (an open tag value over a long
        // damaged tail) is read again only once the bytes behind it have
        // doubled: each byte is read a few times, not once per block.
        carry_.append(Block, Count);
        if (carry_.size() < 2 * carryRead_) return;
        examined_ += static_cast<int64_t>(carry_.size());
        const size_t stop = Run(carry_.data(), carry_.size(), carryBase_, false, Starts);
        carry_.erase(0, stop - 1);
        carryBase_ += static_cast<int64_t>(stop) - 1;
        if (carry_.size() <= HeadRoom && carry_.capacity() > (size_t{1} << 20))
            carry_.shrink_to_fit();
    }
    carryRead_ = carry_.size();
}

TGameStartScanner TGameStartScanner::InMovesAt(int64_t Offset, char Before2, char Before1) {
    TGameStartScanner s;
    s.carry_ = {Before2, Before1};
    s.carryBase_ = Offset - 2;
    s.consumed_ = Offset;
    s.ended_ = false;
    return s;
}

bool TGameStartScanner::StandsAt(const TGameStartScanner& Fresh) const {
    // What a comment holds is only read inside one; hiddenTags_ is set anew
    // at each "{".
    return consumed_ == Fresh.consumed_ && carryBase_ == Fresh.carryBase_ &&
           carry_ == Fresh.carry_ && lex_ == Fresh.lex_ && tags_ == Fresh.tags_ &&
           ended_ == Fresh.ended_ && tagless_ == Fresh.tagless_ &&
           (lex_ != Lex::Comment || hiddenTags_ == Fresh.hiddenTags_) &&
           inString_ == Fresh.inString_ && escaped_ == Fresh.escaped_ && hidden_ == Fresh.hidden_;
}

void TGameStartScanner::Finish(std::vector<int64_t>& Starts) {
    examined_ += static_cast<int64_t>(carry_.size());
    Run(carry_.data(), carry_.size(), carryBase_, true, Starts);
    carry_.erase(0, carry_.size() - 1);
    carryBase_ = consumed_ - 1;
    carryRead_ = carry_.size();
    // Moves without tags that the file ends before a result are no game
    // but the rest of the one before.
    if (tagless_ && !Starts.empty()) Starts.pop_back();
    tagless_ = false;
    if (lex_ == Lex::Comment) Starts.insert(Starts.end(), hidden_.begin(), hidden_.end());
    hidden_.clear();
}

int LimitScanWidth(int Widest_) {
    g_width.store(Widest_ < 0 ? -1 : std::min(Widest_, Widest()), std::memory_order_relaxed);
    return Width();
}

namespace {

std::atomic<int> g_threads{0};

// The processors this process may run on (a narrower set than the
// machine's when it was started on some of them only).
int Processors() {
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#endif
    return static_cast<int>(std::thread::hardware_concurrency());
}

} // namespace

int ScanThreads() {
    static const int cores = std::clamp(Processors(), 1, 4);
    const int limit = g_threads.load(std::memory_order_relaxed);
    return limit > 0 ? limit : cores;
}

int LimitScanThreads(int Threads) {
    g_threads.store(std::max(Threads, 0), std::memory_order_relaxed);
    return ScanThreads();
}

namespace {
std::atomic<unsigned> g_refusedThreads{0};
} // namespace

std::thread StartScanThread(int Stretch, std::function<void()> Run) {
    if (Stretch >= 0 && Stretch < 32 &&
        (g_refusedThreads.load(std::memory_order_relaxed) >> Stretch & 1u))
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "no thread for the scan");
    return std::thread(std::move(Run));
}

void RefuseScanThreads(unsigned Mask) {
    g_refusedThreads.store(Mask, std::memory_order_relaxed);
}

std::vector<int64_t> FindGameStarts(std::string_view Bytes) {
    TGameStartScanner scanner;
    std::vector<int64_t> starts;
    constexpr size_t kPiece = 1 << 20;
    std::string buf(TGameStartScanner::HeadRoom + std::min(kPiece, Bytes.size()), '\0');
    char* block = buf.data() + TGameStartScanner::HeadRoom;
    for (size_t off = 0; off < Bytes.size(); off += kPiece) {
        const size_t n = std::min(kPiece, Bytes.size() - off);
        std::memcpy(block, Bytes.data() + off, n);
        scanner.Feed(block, n, starts);
    }
    scanner.Finish(starts);
    return starts;
}

std::vector<std::string_view> SplitGameTexts(std::string_view Bytes) {
    const std::vector<int64_t> starts = FindGameStarts(Bytes);
    std::vector<std::string_view> games;
    games.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        const auto from = static_cast<size_t>(starts[i]);
        const size_t to = i + 1 < starts.size() ? static_cast<size_t>(starts[i + 1]) : Bytes.size();
        games.push_back(Bytes.substr(from, to - from));
    }
    return games;
}

bool IsOneGameText(std::string_view Text) {
    Text = TrimBlanks(Text);
    TGameStartScanner scanner;
    std::string bytes(TGameStartScanner::HeadRoom, ' ');
    bytes.append(Text);
    std::vector<int64_t> starts;
    scanner.Feed(bytes.data() + TGameStartScanner::HeadRoom, Text.size(), starts);
    scanner.Finish(starts);
    return starts.size() == 1 && starts[0] == 0 && Text[0] == '[' && !scanner.InComment() &&
           !scanner.InTags();
}

bool GameStartsIn(std::string_view Text, size_t At, bool FromFileStart) {
    if (At > Text.size()) return false;
    // A tag, wherever it stands; moves at the start of a token.
    const std::string_view rest = Text.substr(At);
    if (TagLineAt(rest) == TTagLineTest::Yes) return true;
    if (MovesAt(rest) != TTagLineTest::Yes) return false;
    return At == 0 ? FromFileStart : EndsToken(Text[At - 1]);
}

bool GameStartsAt(TFile& File, int64_t Offset) {
    // Blanks before the "[" and a tag line's opening are short.
    constexpr int64_t kBack = 256, kAhead = 4096;
    if (Offset < 0) return false;
    const int64_t from = std::max<int64_t>(0, Offset - kBack);
    std::string buf(static_cast<size_t>(Offset - from + kAhead), '\0');
    const int64_t n = File.ReadAt(from, buf.data(), static_cast<int64_t>(buf.size()));
    if (n < Offset - from) return false;
    buf.resize(static_cast<size_t>(n));
    return GameStartsIn(buf, static_cast<size_t>(Offset - from), from == 0);
}

} // namespace kb
