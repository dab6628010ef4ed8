// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the game starts of a PGN file block by block. A game starts where
// its tag section starts: at a tag ("[", a tag name, blanks and a quoted
// value, one line end allowed between them) at the top of the file, or the
// first one after the move text, the result or the comments of the game
// before, on a line of its own or behind the moves. Lines among the tags
// that are empty, escaped ("%" at the line start) or carry the rest of a
// tag ("[", a quote or "]" first) keep the section open; any other line,
// text after a tag's "]" or a comment ends it.
//
// A game without tags starts with its moves (a move number and a move, or
// a move) at the top of the file or after the result ("*", "1-0", "0-1",
// "1/2-1/2") that ends the game before, and ends with a result of its own
// (moves the file ends in without one are the rest of the game before).
// Other text there, and comments, belong to no game or to the game before.
//
// A brace opens a comment that runs to the next closing brace, except in a
// string ("..." up to the line end, with \" and \\ escaped) and in a
// rest-of-line comment (";" anywhere, "%" at a line start); a tag line in a
// comment starts nothing. So the PGN loader reads the same comments.
// Blocks are searched by their real length (0x00 bytes hide nothing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kb {

class TFile;

class TGameStartScanner {
public:
    // Bytes the caller should leave free in front of each block it feeds:
    // the bytes carried over from the block before go there (longer carries
    // take the block into a buffer of the scanner's own).
    static constexpr size_t HeadRoom = 4096;

    // Block points at the next bytes of the file, with HeadRoom writable
    // bytes before it. The offsets of the "[" of each start found are
    // appended to Starts.
    void Feed(char* Block, size_t Count, std::vector<int64_t>& Starts);
    // After the last block. A comment that never closes is damage, not a
    // comment: the starts it hid count after all.
    void Finish(std::vector<int64_t>& Starts);
    // Bytes fed so far.
    int64_t Consumed() const { return consumed_; }
    // Bytes read through so far, carried bytes each time they were read
    // again: what the scan cost, for tests.
    int64_t Examined() const { return examined_; }
    // The bytes fed so far end inside a brace comment.
    bool InComment() const { return lex_ == Lex::Comment; }
    // The bytes fed so far end inside a tag section: a tag line that came
    // next would belong to the same game.
    bool InTags() const { return tags_ && lex_ != Lex::Comment; }

    // A scanner that takes up a file at Offset (at least 2), as one that
    // has read the bytes before it and stands in move text there: no
    // comment, string or tag section open and no line waiting for more
    // bytes and no game just ended; Before2 and Before1 are the two bytes
    // before Offset. Lets a second scanner read a later stretch of a file
    // at the same time.
    static TGameStartScanner InMovesAt(int64_t Offset, char Before2, char Before1);
    // True when this scanner, having been fed the bytes before Fresh's
    // offset, stands where Fresh starts: whatever Fresh finds in the bytes
    // from there on is what this one would find.
    bool StandsAt(const TGameStartScanner& Fresh) const;

private:
    enum class Lex : uint8_t { Moves, Comment, LineComment };
    size_t Run(const char* Work, size_t Len, int64_t Base, bool Final,
               std::vector<int64_t>& Starts);
    // Run, for each vector width of the processor.
    template <int Wide>
    size_t RunWith(const char* Work, size_t Len, int64_t Base, bool Final,
                   std::vector<int64_t>& Starts);
    size_t Run512(const char* Work, size_t Len, int64_t Base, bool Final,
                  std::vector<int64_t>& Starts);
    size_t Run256(const char* Work, size_t Len, int64_t Base, bool Final,
                  std::vector<int64_t>& Starts);
    void Carry(const char* Work, size_t Stop, size_t Len, int64_t Base);

    // Bytes not yet read through, the first of them only looked back at.
    std::string carry_ = std::string("\n\n");
    int64_t carryBase_ = -2; // file offset of carry_[0]
    // Size of carry_ when it was last read through.
    size_t carryRead_ = 2;
    int64_t consumed_ = 0;
    int64_t examined_ = 0;
    Lex lex_ = Lex::Moves;
    // Inside a tag section (the top of the file counts as after a game).
    bool tags_ = false;
    // After a game's result (or at the top of the file): the next tag or
    // move begins a game.
    bool ended_ = true;
    // The last start found is a game without tags, and no result came since.
    bool tagless_ = false;
    // Inside a comment: a tag line there would open a tag section.
    bool hiddenTags_ = false;
    // Inside a string, and right behind its backslash, where reading stopped.
    bool inString_ = false;
    bool escaped_ = false;
    // Starts found inside the comment open now.
    std::vector<int64_t> hidden_;
};

// Limits the vectors the scan uses to Widest: 2 (64 bytes), 1 (32 bytes),
// 0 (a byte at a time), and never wider than the processor has; -1 goes
// back to the widest. Returns the width now in use. Meant for tests, which
// compare the ways with one another.
int LimitScanWidth(int Widest);

// The threads that scan a large file at the same time, each a stretch of
// it: as many as the processors this process may run on, at most 4.
// LimitScanThreads sets Threads instead (1: one thread reads it all); 0
// goes back to the default. Returns the number now in use. Meant for
// tests, which compare the ways with one another.
int ScanThreads();
int LimitScanThreads(int Threads);

// Starts the thread that reads stretch Stretch (1 and up) of a file; throws
// std::system_error, as std::thread does, when no thread can be had.
std::thread StartScanThread(int Stretch, std::function<void()> Run);
// Bit p of Mask makes the thread of stretch p fail to start; 0 lets every
// one start. Meant for tests, which make sure the scan reads such a stretch
// itself.
void RefuseScanThreads(unsigned Mask);

// The game starts of a whole text in memory, as the scan of a file with
// these bytes finds them.
std::vector<int64_t> FindGameStarts(std::string_view Bytes);

// The games of a whole text in memory, each from its start to the next
// game's start (the last to the end); text before the first is left out.
std::vector<std::string_view> SplitGameTexts(std::string_view Bytes);

// True when Text, blanks around it aside, is one game as the scan finds it:
// it begins with a tag, holds no other start outside its comments,
// leaves no comment open that would take the games behind it, and has text
// after its tags, so that the tags of a game behind it do not join them.
bool IsOneGameText(std::string_view Text);

// True when the bytes at Offset of File look like a game start where they
// stand: a tag whose "[" is at Offset, or moves at the start of a token.
// (Whether the text before ends a game is not looked at.)
bool GameStartsAt(TFile& File, int64_t Offset);

// The same look at bytes already read: Text holds the file from some offset
// on (the file's start when FromFileStart), and At is the offset in Text.
// Up to 256 bytes before At, and the tag line's own bytes after it, decide.
bool GameStartsIn(std::string_view Text, size_t At, bool FromFileStart);

} // namespace kb
