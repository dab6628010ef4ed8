// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNScan.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kb {
namespace {

constexpr char kTag[] = "[Event ";
constexpr size_t kTagLen = 7;
// A line end and the tag.
constexpr size_t kLineTagLen = kTagLen + 1;

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr size_t kBomLen = 3;

// Length of what stands between a line end at p and the "[Event " of a game
// start: 0, or 3 for a byte order mark (files joined with cat keep the marks
// of all but the first). -1 when no game starts there. At most Avail bytes
// after the line end may be read.
int LineTagGap(const char* p, size_t Avail) {
    if (*p != '\n' && *p != '\r') return -1;
    if (Avail >= kTagLen && std::memcmp(p + 1, kTag, kTagLen) == 0) return 0;
    if (Avail >= kBomLen + kTagLen && std::memcmp(p + 1, kBom, kBomLen) == 0 &&
        std::memcmp(p + 1 + kBomLen, kTag, kTagLen) == 0)
        return static_cast<int>(kBomLen);
    return -1;
}

} // namespace

namespace {

// Reports the candidates of one mask: bit k stands for position i + k.
inline void TakeCandidates(const char* Data, size_t Len, size_t i, uint64_t Mask, size_t Last,
                           int64_t Base, std::vector<int64_t>& Starts) {
    while (Mask != 0) {
        const size_t p = i + static_cast<size_t>(__builtin_ctzll(Mask));
        if (p <= Last) {
            const int gap = LineTagGap(Data + p, Len - p - 1);
            if (gap >= 0) Starts.push_back(Base + static_cast<int64_t>(p) + gap);
        }
        Mask &= Mask - 1;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Candidates are a line end with an "E" (or, behind a byte order mark, its
// 0xBB) two bytes on; only those are compared in full. Loads at i and i + 2
// stay inside Len. Returns where the caller goes on.
__attribute__((target("avx2"))) size_t ScanAvx2(const char* Data, size_t i, size_t Len, size_t Last,
                                                int64_t Base, std::vector<int64_t>& Starts) {
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i e = _mm256_set1_epi8('E');
    const __m256i bom = _mm256_set1_epi8(static_cast<char>(0xBB));
    while (i + 2 + 64 <= Len) {
        const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i));
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i + 2));
        const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i + 32));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + i + 34));
        const __m256i m0 =
            _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a0, lf), _mm256_cmpeq_epi8(a0, cr)),
                             _mm256_or_si256(_mm256_cmpeq_epi8(b0, e), _mm256_cmpeq_epi8(b0, bom)));
        const __m256i m1 =
            _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a1, lf), _mm256_cmpeq_epi8(a1, cr)),
                             _mm256_or_si256(_mm256_cmpeq_epi8(b1, e), _mm256_cmpeq_epi8(b1, bom)));
        const uint64_t mask =
            static_cast<uint32_t>(_mm256_movemask_epi8(m0)) |
            (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(m1))) << 32);
        if (mask != 0) TakeCandidates(Data, Len, i, mask, Last, Base, Starts);
        i += 64;
    }
    return i;
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

} // namespace

void FindLineEventTags(const char* Data, size_t From, size_t Len, int64_t Base,
                       std::vector<int64_t>& Starts) {
    if (Len < kLineTagLen || From > Len - kLineTagLen) return;
    const size_t last = Len - kLineTagLen; // last possible match position
    size_t i = From;
#if defined(__x86_64__) && defined(__GNUC__)
    if (HaveAvx2()) i = ScanAvx2(Data, i, Len, last, Base, Starts);
#endif
#if defined(__SSE2__)
    // As above, 16 bytes at a time.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i e = _mm_set1_epi8('E');
    const __m128i bom = _mm_set1_epi8(static_cast<char>(0xBB));
    while (i + 2 + 16 <= Len) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + i + 2));
        __m128i eol = _mm_or_si128(_mm_cmpeq_epi8(a, lf), _mm_cmpeq_epi8(a, cr));
        __m128i next = _mm_or_si128(_mm_cmpeq_epi8(b, e), _mm_cmpeq_epi8(b, bom));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(eol, next)));
        if (mask != 0) TakeCandidates(Data, Len, i, mask, last, Base, Starts);
        i += 16;
    }
#endif
    for (; i <= last; ++i) {
        const int gap = LineTagGap(Data + i, Len - i - 1);
        if (gap >= 0) Starts.push_back(Base + static_cast<int64_t>(i) + gap);
    }
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
        size_t p = view.find(std::string_view(kTag, kTagLen));
        if (p != std::string_view::npos) {
            haveFirst_ = true;
            Starts.push_back(base + static_cast<int64_t>(p));
            from = p + 1;
        }
    }
    if (haveFirst_) {
        size_t before = Starts.size();
        FindLineEventTags(work, from, len, base, Starts);
        // The "[" follows the line feed. A start that lies wholly in the
        // carried bytes was reported with the previous block.
        size_t kept = before;
        for (size_t k = before; k < Starts.size(); ++k) {
            const int64_t bracket = Starts[k] + 1;
            if (bracket + static_cast<int64_t>(kTagLen) > consumed_) Starts[kept++] = bracket;
        }
        Starts.resize(kept);
    }

    // Keep the last bytes for the next border: enough for a line end, a byte
    // order mark and all but the last byte of the tag.
    constexpr size_t kCarry = kBomLen + kTagLen;
    size_t keep = len < kCarry ? len : kCarry;
    std::memcpy(carry_, work + len - keep, keep);
    carryLen_ = keep;
    consumed_ += static_cast<int64_t>(Count);
}

} // namespace kb
