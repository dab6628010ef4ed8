// SPDX-License-Identifier: GPL-3.0-or-later
// The chess rules core: board and move records, square numbering, FEN,
// attacks, move targets and legality, Chess960 start positions, the game
// header with its PGN tag-line parser, and small PGN file helpers.
// Plain records and free functions; nothing here keeps state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "SchachProcsTagLine.h"

namespace kb {

// ---------------------------------------------------------------------------
// Board, squares and move records

// 10x12 mailbox: a1 = 21, h1 = 28, a8 = 91, h8 = 98; border cells hold 100.
// Pieces: 1 pawn, 2 rook, 3 bishop, 4 knight, 5 queen, 6 king; White positive.
using TSchachbrett = std::array<int32_t, 120>;

constexpr int32_t Border = 100;

// Squares by name, as mailbox indices.
// clang-format off
enum TFeld : int32_t {
    SqA1 = 21, SqB1 = 22, SqC1 = 23, SqD1 = 24, SqE1 = 25, SqF1 = 26, SqG1 = 27, SqH1 = 28,
    SqA2 = 31, SqB2 = 32, SqC2 = 33, SqD2 = 34, SqE2 = 35, SqF2 = 36, SqG2 = 37, SqH2 = 38,
    SqA3 = 41, SqB3 = 42, SqC3 = 43, SqD3 = 44, SqE3 = 45, SqF3 = 46, SqG3 = 47, SqH3 = 48,
    SqA4 = 51, SqB4 = 52, SqC4 = 53, SqD4 = 54, SqE4 = 55, SqF4 = 56, SqG4 = 57, SqH4 = 58,
    SqA5 = 61, SqB5 = 62, SqC5 = 63, SqD5 = 64, SqE5 = 65, SqF5 = 66, SqG5 = 67, SqH5 = 68,
    SqA6 = 71, SqB6 = 72, SqC6 = 73, SqD6 = 74, SqE6 = 75, SqF6 = 76, SqG6 = 77, SqH6 = 78,
    SqA7 = 81, SqB7 = 82, SqC7 = 83, SqD7 = 84, SqE7 = 85, SqF7 = 86, SqG7 = 87, SqH7 = 88,
    SqA8 = 91, SqB8 = 92, SqC8 = 93, SqD8 = 94, SqE8 = 95, SqF8 = 96, SqG8 = 97, SqH8 = 98,
};
// clang-format on

enum Piece : int32_t { Bauer = 1, Turm = 2, Laeufer = 3, Springer = 4, Dame = 5, Koenig = 6 };

// Castling-right bits. Bit 1 carries no right (the board's start record
// holds 31, a new game of the notation 30); compare with AllCastlingRights.
enum CastlingBits : uint8_t {
    WhiteShort = 2,
    WhiteLong = 4,
    BlackShort = 8,
    BlackLong = 16,
    AllCastlingRights = 30,
};

// Move flags.
enum MoveFlags : int32_t {
    FlagGreater = 1,   // the move carries the sign ">"
    FlagLess = 2,      // the move carries the sign "<"
    FlagFromFile = 16, // the move text needs the from file
    FlagFromRank = 32, // the move text needs the from rank
    FlagCheck = 64,    // "+"
    FlagMate = 128,    // "#"
};

// Move-and-state record: the position's castling rights, en-passant target
// and side, plus one move with its annotations.
struct TZug {
    uint8_t CastlingRights = 0; // bits 2, 4, 8, 16
    int32_t EnPassant = 0;      // mailbox index of the en-passant target, 0 none
    int32_t Side = 1;           // 1 White, -1 Black
    int32_t From = 0;           // mailbox index
    int32_t To = 0;             // mailbox index; for castling the king's destination
    int32_t EnPassantVictim = 0;
    int32_t CastlingKind = 0; // 0 none, 1 short, 2 long, 3 Chess960 short, 4 Chess960 long
    int32_t Promotion = 0;    // signed piece code
    int32_t Captured = 0;     // signed piece code
    int32_t Flags = 0;        // MoveFlags
    int32_t Glyph = 0;        // 0..6
    uint8_t NAG = 0;
    uint8_t ExtraNAG = 0; // 140 or 142, 0 none

    friend bool operator==(const TZug&, const TZug&) = default;
};
using PZug = TZug*;

// Chess960 start record; absent or Fischer == false means standard chess.
struct TFischerInfo {
    bool Fischer = false;
    int32_t WhiteRookA = 0;
    int32_t WhiteRookH = 0;
    int32_t BlackRookA = 0;
    int32_t BlackRookH = 0;
    int32_t WhiteKing = 0;
    int32_t BlackKing = 0;

    friend bool operator==(const TFischerInfo&, const TFischerInfo&) = default;
};
using PFischerInfo = TFischerInfo*;

extern const TSchachbrett StandardStellung;
extern const TSchachbrett LeeresBrett;
// Square names by square number: "a1", "b1", .. "h8".
extern const std::array<const char*, 64> FeldNamen;
// 1 dark, 0 light, by square number.
extern const std::array<uint8_t, 64> FeldFarben;
// Piece letters indexed by piece code + 6.
inline constexpr std::string_view FigurenBuchstaben = "kqnbrp PRBNQK";

inline constexpr std::array<int32_t, 4> BishopOffsets{-9, -11, 9, 11};
inline constexpr std::array<int32_t, 4> RookOffsets{-1, 10, 1, -10};
inline constexpr std::array<int32_t, 8> KnightOffsets{19, 21, 12, -8, -19, -21, -12, 8};
inline constexpr std::array<int32_t, 8> QueenOffsets{-9, -11, 9, 11, -1, 10, 1, -10};
inline constexpr std::array<int32_t, 8> KingOffsets = QueenOffsets;

uint8_t Index120To64(uint8_t Index);
uint8_t Index64To120(uint8_t Square);
// True for the mailbox indices of the 64 board squares.
constexpr bool IsBoardSquare(int32_t Index) {
    return Index >= SqA1 && Index <= SqH8 && Index % 10 >= 1 && Index % 10 <= 8;
}

// Part * 100 / Total truncated toward zero; 0 when Total is 0.
int Percent(int64_t Part, int64_t Total);
// S without the blanks and control characters (bytes up to ' ') at both
// ends: how game texts, tag lines and engine lines are trimmed.
std::string_view TrimBlanks(std::string_view S);

// ---------------------------------------------------------------------------
// FEN

// The halfmove clock is always written as 0; a Chess960 position gets "f1"
// in the en-passant field and never an en-passant square. An en-passant
// square is written only on the rank that fits the side to move.
std::string StellungToFEN(const TSchachbrett& Brett, const TZug& Zug, int MoveNo, bool Fischer);
// The FEN of a Chess960 position as other programs read it: no marker, the
// en-passant square as in standard chess, and castling letters KQkq for a
// castling rook that is the outermost rook on its side of the king, else
// the rook's file (Shredder letters, "HAha"). With FileLetters every right
// is written by its rook's file, which tells any reader that the position
// is Chess960.
std::string StellungToFEN960(const TSchachbrett& Brett, const TZug& Zug, int MoveNo,
                             const TFischerInfo& FischerInfo, bool FileLetters = false);
// True when the position was read: eight ranks of eight squares ("88" for
// two empty ranks), piece letters PNBRQK/pnbrqk only, the side "w" or "b"
// when given. Castling letters may also name a rook's file ("HAha"). Then
// Brett, Zug (its position fields; From, To, NAG and ExtraNAG are kept),
// MoveNo (when the last field is a number) and *FischerInfo (castling rooks:
// the outermost own rook on the home rank on each side of the king, or the
// one a file letter names) are replaced. On False nothing is changed.
// The position is Chess960 when the text says so ("f1" in the en-passant
// field, or file letters other than a standard castling's) or the caller
// knows it (Chess960, from a Variant tag; KQkq then name the outermost
// rooks). Castling rights whose king or rook is not on its square in that
// reading are dropped, and so is an en-passant square that no pawn can just
// have passed.
bool FENToStellung(std::string_view FEN, TSchachbrett& Brett, TZug& Zug, uint16_t& MoveNo,
                   PFischerInfo FischerInfo, bool Chess960 = false);

// ---------------------------------------------------------------------------
// Attacks, move targets and legality

// Target and attacker lists (mailbox indices, in offset order).
using TSquareList = std::vector<int32_t>;

// Each returns 0, or -1 when List is null; List is cleared first.
int CollectQueenAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                          TSquareList* List);
int CollectRookAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                         TSquareList* List);
int CollectBishopAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                           TSquareList* List);
int CollectKnightAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                           TSquareList* List);
int CollectKingAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                         TSquareList* List);
int CollectPawnAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                         TSquareList* List);

// True when a piece of colour -Colour attacks Square (also when Square is not on the board).
bool IsSquareAttacked(int32_t Square, int32_t Colour, const TSchachbrett& Brett);

int CollectQueenTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List);
int CollectRookTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List);
int CollectBishopTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List);
int CollectKnightTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List);
int CollectKingTargets(int32_t From, const TZug& Zug, const TSchachbrett& Brett, TSquareList* List);
int CollectPawnTargets(int32_t From, const TZug& Zug, const TSchachbrett& Brett, TSquareList* List);
// Chess960 castling targets come negated (-27, -23, -97, -93). A square that
// is not one of the 64 gives an empty list.
int KingTargetsFischer(int32_t From, const TZug& Zug, const TSchachbrett& Brett, TSquareList* List,
                       const TFischerInfo* FischerInfo);

// A castling move has To = the king's destination. In a Chess960 game
// CastlingKind 3 or 4 asks for castling only (its target may also be a plain
// king step); otherwise a king move is a step where it can be one. The
// castling rook and an en-passant victim move on the board copy too.
// Squares off the board and a Promotion other than 0 or the mover's queen,
// rook, bishop or knight give False.
bool IsLegalMove(TSchachbrett Brett, TZug Zug, const TFischerInfo* FischerInfo);
// Rights without the ones whose king or rook is not on its square (e1/e8
// and the corner rook, or in a Chess960 game the record's king and its rook
// on the home rank, on that side of the king): the move check would never
// grant them, and engines given them may fail. Other bits are kept.
uint8_t StandingCastlingRights(const TSchachbrett& Brett, uint8_t Rights,
                               const TFischerInfo* FischerInfo);
// Square when a pawn of the side not to move can just have made it by its
// double step (the square and the one the pawn came from empty, the pawn
// in front of it), else 0: a move check or an engine would take a pawn
// that never passed.
int32_t StandingEnPassant(const TSchachbrett& Brett, int32_t Square, int32_t Side);
// Mailbox index of the king, -1 when there is none.
int32_t FindKing(bool White, const TSchachbrett& Brett);
bool IsFischer(const TFischerInfo* FischerInfo);
// Sets Fischer, the kings and, on the home ranks, the outermost rook on each
// side of the king (0 when there is none).
void FischerInfoFromStellung(PFischerInfo FischerInfo, const TSchachbrett& Brett);
bool IsStandardStartPosition(const TSchachbrett& Brett);
// A start structure that is not the standard position and has the king or a
// rook off its standard square (with those, castling is the standard one).
bool IsFischerStartPosition(const TSchachbrett& Brett);

// Uniform integer over 0..n-1.
using TRandomFn = std::function<int(int n)>;
// A random Chess960 start position; every one of the 960 is equally likely.
TSchachbrett RandomFischerStellung(const TRandomFn& Random);
// The same with the program's generator (seeded once at start).
TSchachbrett RandomFischerStellung();

// ---------------------------------------------------------------------------
// Making moves

// King and rook squares of one castling.
struct TCastlingSquares {
    int32_t KingFrom = 0;
    int32_t KingTo = 0;
    int32_t RookFrom = 0;
    int32_t RookTo = 0;
};
// The squares of Colour's short or long castling: the standard ones, or in
// a Chess960 game the record's king and rook. False when the record's rook
// or king is no board square.
bool CastlingSquares(int32_t Colour, bool Short, const TFischerInfo* FischerInfo,
                     TCastlingSquares& Squares);

// The squares a move wrote, each with what it held before: enough to take
// the move back and to redraw it.
struct TMoveChanges {
    struct TChange {
        int32_t Square = 0;
        int32_t Before = 0;
    };
    std::array<TChange, 4> Changes{};
    uint8_t Count = 0;
};

// Plays a move record on Brett: the piece goes From -> To, an en-passant
// victim leaves, a castling moves its rook (CastlingKind 1/2 standard, 3/4
// by the Chess960 record), a promotion replaces the pawn. Zug.Side is the
// side to move after the move, as in the game tree. The record is taken as
// it is (no legality test); squares off the board move nothing.
void ZugAusfuehren(TSchachbrett& Brett, const TZug& Zug, const TFischerInfo* FischerInfo,
                   TMoveChanges* Changes = nullptr);
// Undoes what ZugAusfuehren recorded.
void ZugZuruecknehmen(TSchachbrett& Brett, const TMoveChanges& Changes);
// The castling rights left after the move From -> To on Before, the board
// before the move. A king move ends both rights of its side, a rook leaving
// its start square and any move onto it end that side's right; in standard
// chess a right also ends when its king or rook is not on its square.
uint8_t CastlingRightsAfter(uint8_t Rights, const TSchachbrett& Before, int32_t From, int32_t To,
                            const TFischerInfo* FischerInfo);

// A position a game can reach: one king per side, no pawn on the first or
// last rank, and the side not to move not in check. Games and searches
// start only from such positions.
bool IsPlayablePosition(const TSchachbrett& Brett, const TZug& Zug);

// ---------------------------------------------------------------------------
// Game header and PGN tag lines

// Tag lines that have no field of their own. A sorted list keeps its lines
// in alphabetical order (letter case ignored, then byte order) and stores an
// identical line once; an unsorted list keeps every line in arrival order,
// and with Unique set stores an identical line once. With ByName set the
// lines are ordered by tag name alone (as Sorted compares), lines of one
// name in arrival order. Adding a line costs the same however many lines
// the list holds: an ordered list is sorted once, when it is next read.
struct TTagList {
    bool Sorted = false;
    bool Unique = false;
    bool ByName = false;

    void Add(const std::string& Line);
    void Clear() {
        lines_.clear();
        seen_.clear();
        inOrder_ = true;
    }
    // The lines in the list's order.
    const std::vector<std::string>& Lines() const;
    // The same lines to reorder in place; lines of one name may change
    // places, the names stay in order.
    std::vector<std::string>& EditLines() {
        Lines();
        return lines_;
    }
    bool Empty() const { return lines_.empty(); }
    friend bool operator==(const TTagList& a, const TTagList& b) {
        return a.Lines() == b.Lines() && a.Sorted == b.Sorted && a.Unique == b.Unique &&
               a.ByName == b.ByName;
    }

private:
    mutable std::vector<std::string> lines_;
    mutable bool inOrder_ = true;          // lines_ is in the list's order
    std::unordered_set<std::string> seen_; // the lines of a Unique or Sorted list
};

struct TEventData {
    std::string White;
    std::string Black;
    std::string Event;
    std::string Annotator;
    std::string Site;
    std::string Result;
    std::string ECO;
    std::string WhiteDifferenceToGMT;
    std::string BlackDifferenceToGMT;
    std::string DateTimeFormat;
    std::string GameId;
    uint16_t Year = 0;
    uint16_t Month = 0;
    uint16_t Day = 0;
    uint16_t Round = 0;
    // The Round tag as read ("1.1", "3.2"); written back while Round is
    // still the number it gives (see RoundTagValue).
    std::string RoundText;
    uint16_t WhiteElo = 0;
    uint16_t BlackElo = 0;
    uint16_t MoveCount = 0;
    uint16_t EventYear = 0;
    uint16_t EventMonth = 0;
    uint16_t EventDay = 0;
    std::string FEN;
    uint16_t TimeControlBase = 0;
    uint16_t TimeControlIncrement = 0;
    // The TimeControl tag as read ("10+0.05", "40/7200:900+30"); written
    // back while the two numbers are still the ones it gives.
    std::string TimeControlText;
    std::string MetaDescription;
    std::string MetaKeywords;
    std::string WhiteClubId;
    std::string BlackClubId;
    // Owned by the record; empty when the owner keeps no other tag lines.
    std::optional<TTagList> Tags;
    std::string Spare;
    std::string Movetext;
    bool Deleted = false;
};

// White and Black "N.N.", Result "*", other texts empty, numbers 0, Tags
// emptied when present. Spare and Deleted keep their values.
void ClearEventData(TEventData& E);
// The text between the first double quote and the next unescaped one (or
// the line end), with \" and \\ read as " and \. Empty without a quote.
std::string ExtractTagValue(std::string_view Line);
// True for a tag line that reads back the same when written as it stands:
// "[", the name, a blank, and a quoted value (\" and \\ escaped) that the
// "]" ends. Any other line is read as its normal form.
bool WellFormedTagLine(std::string_view Line);
// The tag line in its normal form: as read when well formed; else the name
// (letters, digits and "_", blanks allowed around it) and the value
// ExtractTagValue gives, or empty when the line names no tag ("[",
// "[Eve?"). A line means the same as its normal form.
std::string NormalTagLine(std::string_view Line);
// Splits a line that starts with "[" into its tags (each "[", a name, a
// quoted value and "]", blanks allowed between them) and returns the text
// after the last of them, which is move text. A line whose first tag is not
// whole is one tag line, damaged, as before; so is a line holding just one tag.
std::string_view SplitTagLine(std::string_view Line, std::vector<std::string_view>& Tags);
// A line end may fall between the tokens of a tag ("[Site" and "\"S\"]" on
// two lines). When the last tag of Line (a trimmed line of tags) is cut so
// and Next goes on with it, the two lines joined by a blank (which may
// again end in a cut tag); else empty.
std::string JoinCutTag(std::string_view Line, std::string_view Next);
// One tag of a game's tag section: the bytes [Begin, End) of the game text
// that hold it (a tag cut by line ends spans them) and the tag as read (its
// pieces joined by a blank).
struct TTagInText {
    size_t Begin, End;
    std::string_view Tag;
};
// Reads the tag section of a game text as the game reader does, from the
// first line that begins with "[": lines of tags (several may share a line,
// a tag may be cut by line ends), escaped lines ("%" first) and empty lines
// followed by more tags; the first other line or the text behind the last
// tag on its line ends it. Calls Tag for each tag in order and returns the
// offset where the move text begins (0 for a text without such a line).
size_t ReadTagSection(std::string_view Text, const std::function<void(const TTagInText&)>& Tag);
// Fills the field a PGN tag line (in its normal form) names; any other line goes to Tags when
// present. Numbers outside 0..65535 are clamped, unreadable ones give 0.
void ParseTagLine(TEventData& E, std::string_view Line);
// The value to write for the Round tag: the text as read while Round still
// holds the number that text gives, else Round in decimal ("-" for 0).
std::string RoundTagValue(const TEventData& E);
// The value to write for the TimeControl tag: the text as read while the
// base and increment still hold what that text gives, else "base+increment"
// (empty, and no tag, for a base of 0).
std::string TimeControlTagValue(const TEventData& E);
// True for an existing file whose first 1000 lines hold a tag line or a line
// that begins with moves (a game without tags), or that has no non-empty
// line among them. Reads a bounded number of bytes.
bool IsPGNFile(const std::string& FileName);
// Appending a game to a PGN file (AppendGameToPGNFile) is a change of a
// game file like every other: it lives with the one rewrite in database/.
// Opens an existing game file for reading only; never asks for write access,
// so read-only files open as well. False when it cannot be opened.
bool OpenGameFile(std::ifstream& F, const std::string& FileName);

// ---------------------------------------------------------------------------
// Moves as text

// A position with the number of its next move.
struct TStellung {
    TSchachbrett Brett = StandardStellung;
    TZug Zug{AllCastlingRights, 0, 1};
    int MoveNo = 1;
    bool Fischer = false;
};

// Plays a legal move (From, To, Promotion) on the position: board, castling
// rights, en-passant square, side and move number follow.
void PlayMove(TStellung& P, const TZug& Move);
// The legal move Text names on P, in SAN or coordinates, with or without
// "-", "x", "=", check and judgement marks; none when Text names no move
// or one that is not legal there.
std::optional<TZug> ParseMove(const TStellung& P, const std::string& Text);
// "e2e4", "e1g1" (castling as the king's step), "e7e8q".
std::string CoordinateMove(const TZug& Move);
// The part of a line of moves that is legal on P, move numbers and marks
// between its moves kept, cut before the first word that is neither; none
// when its first move is not legal there (the line is about another
// position). A line without any move is returned as it stands.
std::optional<std::string> LegalPart(const std::string& Line, const TStellung& P);
// The xboard edit mode says where the pieces stand and nothing more:
// castling is taken as possible where king and rook stand on their squares,
// and no pawn may capture en passant. True when P is exactly that.
bool EditModeExact(const TStellung& P);
// True when Moves (From, To, Promotion as in the game tree), each legal in
// its turn, lead from Start to the pieces, side and castling rights of
// Target.
bool MovesLeadTo(const TStellung& Start, const std::vector<TZug>& Moves, const TStellung& Target);

} // namespace kb
