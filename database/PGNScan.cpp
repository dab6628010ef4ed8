// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNScan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace kb {
namespace {

constexpr const char* kTag = kGameStartTag.data();
constexpr size_t kTagLen = kGameStartTag.size();
// A line end and the tag.
constexpr size_t kLineTagLen = kTagLen + 1;

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr size_t kBomLen = 3;

inline bool IsEol(char c) {
    return c == '\n' || c == '\r';
}

// Length of what stands between a line end at p and the "[Event " of a game
// start: 0, or 3 for a byte order mark (files joined with cat keep the marks
// of all but the first). -1 when no game starts there. At most Avail bytes
// after the line end may be read.
int LineTagGap(const char* p, size_t Avail) {
    if (!IsEol(*p)) return -1;
    if (Avail >= kTagLen && std::memcmp(p + 1, kTag, kTagLen) == 0) return 0;
    if (Avail >= kBomLen + kTagLen && std::memcmp(p + 1, kBom, kBomLen) == 0 &&
        std::memcmp(p + 1 + kBomLen, kTag, kTagLen) == 0)
        return static_cast<int>(kBomLen);
    return -1;
}

// The bytes of 64 positions from i that may matter: a line end with an "E"
// (or, behind a byte order mark, its 0xBB) two bytes on, and the comment
// marks. Bit k stands for position i + k.
struct TMasks {
    uint64_t Start = 0; // candidates only: compared in full later
    uint64_t Open = 0;  // {
    uint64_t Close = 0; // }
    uint64_t Line = 0;  // ; and %
};

void MasksPlain(const char* Data, size_t i, size_t Len, TMasks& M) {
    M = TMasks{};
    const size_t n = Len - i < 64 ? Len - i : 64;
    for (size_t k = 0; k < n; ++k) {
        const char c = Data[i + k];
        const uint64_t bit = uint64_t{1} << k;
        if (IsEol(c) && i + k + 2 < Len &&
            (Data[i + k + 2] == 'E' || Data[i + k + 2] == static_cast<char>(0xBB)))
            M.Start |= bit;
        else if (c == '{')
            M.Open |= bit;
        else if (c == '}')
            M.Close |= bit;
        else if (c == ';' || c == '%')
            M.Line |= bit;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Needs Len >= i + 66: the loads at i + 2 stay inside.
__attribute__((target("avx2"))) bool MasksAvx2(const char* Data, size_t i, TMasks& M) {
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i e = _mm256_set1_epi8('E');
    const __m256i bom = _mm256_set1_epi8(static_cast<char>(0xBB));
    const __m256i open = _mm256_set1_epi8('{');
    const __m256i close = _mm256_set1_epi8('}');
    const __m256i semi = _mm256_set1_epi8(';');
    const __m256i pct = _mm256_set1_epi8('%');
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i + 2));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i + 32));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i + 34));
    const __m256i s0 =
        _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a0, lf), _mm256_cmpeq_epi8(a0, cr)),
                         _mm256_or_si256(_mm256_cmpeq_epi8(b0, e), _mm256_cmpeq_epi8(b0, bom)));
    const __m256i s1 =
        _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a1, lf), _mm256_cmpeq_epi8(a1, cr)),
                         _mm256_or_si256(_mm256_cmpeq_epi8(b1, e), _mm256_cmpeq_epi8(b1, bom)));
    const __m256i o0 = _mm256_cmpeq_epi8(a0, open), o1 = _mm256_cmpeq_epi8(a1, open);
    const __m256i c0 = _mm256_cmpeq_epi8(a0, close), c1 = _mm256_cmpeq_epi8(a1, close);
    const __m256i l0 = _mm256_or_si256(_mm256_cmpeq_epi8(a0, semi), _mm256_cmpeq_epi8(a0, pct));
    const __m256i l1 = _mm256_or_si256(_mm256_cmpeq_epi8(a1, semi), _mm256_cmpeq_epi8(a1, pct));
    const __m256i any =
        _mm256_or_si256(_mm256_or_si256(_mm256_or_si256(s0, s1), _mm256_or_si256(o0, o1)),
                        _mm256_or_si256(_mm256_or_si256(c0, c1), _mm256_or_si256(l0, l1)));
    if (_mm256_testz_si256(any, any)) return false;
#define KB_BITS(lo, hi)                                                                            \
    (static_cast<uint32_t>(_mm256_movemask_epi8(lo)) |                                             \
     (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(hi))) << 32))
    M.Start = KB_BITS(s0, s1);
    M.Open = KB_BITS(o0, o1);
    M.Close = KB_BITS(c0, c1);
    M.Line = KB_BITS(l0, l1);
#undef KB_BITS
    return true;
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

// String state after the bytes [From, To), starting with the given state.
// Strings end at their closing quote or at the line end.
void WalkStrings(const char* Data, size_t From, size_t To, bool& In, bool& Escaped) {
    for (size_t k = From; k < To; ++k) {
        const char c = Data[k];
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

} // namespace

// Reads the comment marks and game starts of Work[From, Len), whose first
// byte lies at file offset Base. Marks before lexedTo_ were read with the
// previous block; starts that lie wholly before consumed_ were reported.
void TGameStartScanner::Lex(const char* Work, size_t From, size_t Len, int64_t Base,
                            std::vector<int64_t>& Starts) {
    const size_t last = Len >= kLineTagLen ? Len - kLineTagLen : 0; // last full start
    const bool anyStart = Len >= kLineTagLen;
    const size_t lexed = static_cast<size_t>(lexedTo_ - Base);
    // The string state is known at Work[seg]: that of lexedTo_ at first.
    size_t seg = lexed;
    bool in = inString_, esc = escaped_;
    // String state at p: from the last line end, or from seg. Most marks
    // stand in move text without a quote before them on their line.
    auto inStringAt = [&](size_t p) {
        size_t k = seg;
        const size_t n = p - seg;
        const void* lf = n ? memrchr(Work + seg, '\n', n) : nullptr;
        const void* cr = n ? memrchr(Work + seg, '\r', n) : nullptr;
        const char* eol = std::max(static_cast<const char*>(lf), static_cast<const char*>(cr));
        if (eol) {
            k = static_cast<size_t>(eol - Work) + 1;
            in = esc = false;
        }
        if (in || std::memchr(Work + k, '"', p - k)) WalkStrings(Work, k, p, in, esc);
        seg = p;
        return in;
    };
    auto toMoves = [&](size_t p) {
        state_ = State::Moves;
        seg = p;
        in = esc = false;
    };
    // A rest-of-line comment from p: ends at the next line end, where the
    // search goes on (that line end may start a game).
    auto skipLine = [&](size_t p) {
        while (p < Len && !IsEol(Work[p]))
            ++p;
        if (p < Len) toMoves(p);
        return p;
    };

    size_t i = From;
    if (state_ == State::LineComment) i = skipLine(i > lexed ? i : lexed);
    size_t cur = i;
    TMasks m;
    while (i < Len) {
        bool found;
#if defined(__x86_64__) && defined(__GNUC__)
        if (HaveAvx2() && i + 66 <= Len)
            found = MasksAvx2(Work, i, m);
        else
#endif
        {
            MasksPlain(Work, i, Len, m);
            found = (m.Start | m.Open | m.Close | m.Line) != 0;
        }
        if (!found) {
            i += 64;
            cur = i;
            continue;
        }
        bool rescan = false;
        for (;;) {
            uint64_t relevant =
                state_ == State::Moves ? m.Start | m.Open | m.Line : m.Start | m.Close;
            const size_t skip = cur - i;
            if (skip >= 64) break;
            relevant &= ~uint64_t{0} << skip;
            if (relevant == 0) break;
            const size_t b = static_cast<size_t>(__builtin_ctzll(relevant));
            const size_t p = i + b;
            const uint64_t bit = uint64_t{1} << b;
            cur = p + 1;
            if (m.Start & bit) {
                if (!anyStart || p > last) continue; // comes again with the next block
                const int gap = LineTagGap(Work + p, Len - p - 1);
                if (gap < 0) continue;
                const int64_t bracket = Base + static_cast<int64_t>(p) + gap + 1;
                // A start that lies wholly in the carried bytes was reported
                // with the previous block.
                if (bracket + static_cast<int64_t>(kTagLen) <= consumed_) continue;
                (state_ == State::Moves ? Starts : hidden_).push_back(bracket);
                continue;
            }
            if (p < lexed) continue; // read with the previous block
            const char c = Work[p];
            if (state_ == State::Comment) {
                toMoves(p + 1);
                hidden_.clear();
            } else if (c == '%' && !(p == 0 ? Base == 0 : IsEol(Work[p - 1]))) {
                // an escape line begins at a line start only
            } else if (inStringAt(p)) {
                // a mark inside a tag's string
            } else if (c == '{') {
                state_ = State::Comment;
            } else {
                state_ = State::LineComment;
                const size_t e = skipLine(p + 1);
                if (e >= Len) {
                    i = cur = Len;
                    break;
                }
                // Masks again from the line end, which may start a game.
                i = cur = e;
                rescan = true;
                break;
            }
        }
        if (rescan) continue;
        i += 64;
        if (cur < i) cur = i;
    }
    // The string state at the end, for the next block.
    if (state_ == State::Moves) {
        inStringAt(Len);
        inString_ = in;
        escaped_ = esc;
    } else {
        inString_ = escaped_ = false;
    }
    lexedTo_ = Base + static_cast<int64_t>(Len);
}

void TGameStartScanner::Feed(char* Block, size_t Count, std::vector<int64_t>& Starts) {
    // Put the carried bytes right in front of the block, so that a start cut
    // by the border is seen as one piece.
    char* work = Block - carryLen_;
    std::memcpy(work, carry_, carryLen_);
    const size_t len = carryLen_ + Count;
    const int64_t base = consumed_ - static_cast<int64_t>(carryLen_);

    size_t from = 0;
    if (!haveFirst_) {
        std::string_view view(work, len);
        size_t p = view.find(kGameStartTag);
        if (p != std::string_view::npos) {
            haveFirst_ = true;
            Starts.push_back(base + static_cast<int64_t>(p));
            from = p + 1;
            // Text before the first game is no game: its marks count not.
            lexedTo_ = base + static_cast<int64_t>(from);
        }
    }
    if (haveFirst_) Lex(work, from, len, base, Starts);

    // Keep the last bytes for the next border: enough for a line end, a byte
    // order mark and all but the last byte of the tag.
    constexpr size_t kCarry = kBomLen + kTagLen;
    size_t keep = len < kCarry ? len : kCarry;
    std::memcpy(carry_, work + len - keep, keep);
    carryLen_ = keep;
    consumed_ += static_cast<int64_t>(Count);
    if (!haveFirst_) lexedTo_ = consumed_;
}

void TGameStartScanner::Finish(std::vector<int64_t>& Starts) {
    if (state_ == State::Comment) Starts.insert(Starts.end(), hidden_.begin(), hidden_.end());
    hidden_.clear();
}

bool IsOneGameText(std::string_view Text) {
    while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ')
        Text.remove_prefix(1);
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ')
        Text.remove_suffix(1);
    if (Text.substr(0, kTagLen) != kGameStartTag) return false;
    std::string bytes(TGameStartScanner::HeadRoom, ' ');
    bytes.append(Text);
    TGameStartScanner scanner;
    std::vector<int64_t> starts;
    scanner.Feed(bytes.data() + TGameStartScanner::HeadRoom, Text.size(), starts);
    return starts.size() == 1 && !scanner.InComment();
}

} // namespace kb
