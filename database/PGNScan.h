// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the game starts of a PGN file block by block: the first "[Event "
// anywhere, then every "[Event " that begins a line (after LF, CR LF or a
// lone CR), also behind a byte order mark, unless the line lies inside a
// brace comment. Blocks are searched by their real length (0x00 bytes hide
// nothing), and a start split by a block border is found through the bytes
// carried over from the previous block.
//
// A brace opens a comment that runs to the next closing brace, except in a
// tag's string ("..." up to the line end, with \" and \\ escaped) and in a
// rest-of-line comment (";" anywhere, "%" at a line start); so the PGN
// loader reads the same comment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kb {

// What every game of a PGN file begins with.
inline constexpr std::string_view kGameStartTag = "[Event ";

class TGameStartScanner {
public:
    // Bytes the caller must leave free in front of each block it feeds.
    static constexpr size_t HeadRoom = 16;

    // Block points at the next bytes of the file, with HeadRoom writable
    // bytes before it. The offsets of the "[" of each start found are
    // appended to Starts.
    void Feed(char* Block, size_t Count, std::vector<int64_t>& Starts);
    // After the last block. A comment that never closes is damage, not a
    // comment: the starts it hid count after all.
    void Finish(std::vector<int64_t>& Starts);
    // Bytes fed so far.
    int64_t Consumed() const { return consumed_; }
    bool FoundFirst() const { return haveFirst_; }
    // The bytes fed so far end inside a brace comment.
    bool InComment() const { return state_ == State::Comment; }

private:
    enum class State : uint8_t { Moves, Comment, LineComment };
    void Lex(const char* Work, size_t From, size_t Len, int64_t Base, std::vector<int64_t>& Starts);

    char carry_[HeadRoom] = {};
    size_t carryLen_ = 0;
    int64_t consumed_ = 0;
    bool haveFirst_ = false;
    State state_ = State::Moves;
    // Bytes before this offset have had their comment marks read.
    int64_t lexedTo_ = 0;
    // Inside a string, and right behind its backslash, at lexedTo_.
    bool inString_ = false;
    bool escaped_ = false;
    // Starts found inside the comment open now.
    std::vector<int64_t> hidden_;
};

// True when Text, blanks around it aside, is one game as the scan finds it:
// it begins with the game start, holds no other start outside its comments,
// and leaves no comment open that would take the games behind it.
bool IsOneGameText(std::string_view Text);

} // namespace kb
