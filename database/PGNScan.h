// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the game starts of a PGN file block by block: the first "[Event "
// anywhere, then every "[Event " that begins a line (after LF, CR LF or a
// lone CR), also behind a byte order mark. Blocks are searched by
// their real length (0x00 bytes hide nothing), and a start split by a block
// border is found through the bytes carried over from the previous block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kb {

class TGameStartScanner {
public:
    // Bytes the caller must leave free in front of each block it feeds.
    static constexpr size_t HeadRoom = 16;

    // Block points at the next bytes of the file, with HeadRoom writable
    // bytes before it. The offsets of the "[" of each start found are
    // appended to Starts.
    void Feed(char* Block, size_t Count, std::vector<int64_t>& Starts);
    // Bytes fed so far.
    int64_t Consumed() const { return consumed_; }
    bool FoundFirst() const { return haveFirst_; }

private:
    char carry_[HeadRoom] = {};
    size_t carryLen_ = 0;
    int64_t consumed_ = 0;
    bool haveFirst_ = false;
};

// Offset of every line end followed by "[Event " in Data[From, Len) (the
// offset of the line end).
void FindLineEventTags(const char* Data, size_t From, size_t Len, int64_t Base,
                       std::vector<int64_t>& Starts);

} // namespace kb
