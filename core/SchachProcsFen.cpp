// SPDX-License-Identifier: GPL-3.0-or-later
// FEN reading and writing. Our FEN writes the halfmove clock as 0, never
// reads it, and marks a Chess960 game by "f1" in the en-passant field.
#include "SchachProcs.h"

#include <charconv>

namespace kb {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<std::string_view> SplitFields(std::string_view Text) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < Text.size()) {
        while (i < Text.size() && IsBlank(Text[i]))
            ++i;
        const size_t start = i;
        while (i < Text.size() && !IsBlank(Text[i]))
            ++i;
        if (i > start) fields.push_back(Text.substr(start, i - start));
    }
    return fields;
}

int32_t PieceOfLetter(char c) {
    switch (c) {
    case 'K':
        return Koenig;
    case 'Q':
        return Dame;
    case 'R':
        return Turm;
    case 'B':
        return Laeufer;
    case 'N':
        return Springer;
    case 'P':
        return Bauer;
    case 'k':
        return -Koenig;
    case 'q':
        return -Dame;
    case 'r':
        return -Turm;
    case 'b':
        return -Laeufer;
    case 'n':
        return -Springer;
    case 'p':
        return -Bauer;
    default:
        return 0;
    }
}

// Reads the board field: eight ranks of exactly eight squares each,
// separated by "/"; a letter that names no piece makes it no position.
// Older texts write two empty ranks as "88", without the "/" between them.
bool ReadBoard(std::string_view Field, TSchachbrett& Board) {
    Board = LeeresBrett;
    int rank = 8, file = 0, rankChanges = 0;
    for (size_t i = 0; i < Field.size(); ++i) {
        const char c = Field[i];
        const bool emptyRankFollows = c == '8' && i + 1 < Field.size() && Field[i + 1] == '8';
        if (c == '/' || (emptyRankFollows && file == 0)) {
            if (c == '8') file = 8;
            if (file != 8 || rank == 1) return false;
            --rank;
            file = 0;
            ++rankChanges;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) return false;
        } else {
            const int32_t piece = PieceOfLetter(c);
            if (piece == 0 || file >= 8) return false;
            ++file;
            Board[static_cast<size_t>(10 * (rank + 1) + file)] = piece;
        }
    }
    return rankChanges == 7 && file == 8;
}

// A Chess960 castling letter that names the file of a rook (Shredder
// style, "HAha"): the right on the side of the king where that rook stands;
// none when king or rook is not on its home rank.
uint8_t RookFileRight(const TSchachbrett& Board, char Letter) {
    const bool white = Letter <= 'H';
    const int32_t side = white ? 1 : -1;
    const int32_t base = white ? SqA1 - 1 : SqA8 - 1;
    const int32_t rook = base + 1 + (Letter - (white ? 'A' : 'a'));
    if (Board[static_cast<size_t>(rook)] != Turm * side) return 0;
    for (int32_t sq = base + 1; sq <= base + 8; ++sq) {
        if (Board[static_cast<size_t>(sq)] != Koenig * side) continue;
        if (rook > sq) return white ? WhiteShort : BlackShort;
        return white ? WhiteLong : BlackLong;
    }
    return 0;
}

bool ParseMoveNumber(std::string_view Text, uint16_t& Value) {
    if (Text.empty() || Text.size() > 5) return false;
    uint32_t v = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    if (v > 0xFFFF) return false;
    Value = static_cast<uint16_t>(v);
    return true;
}

} // namespace

std::string StellungToFEN(const TSchachbrett& Brett, const TZug& Zug, int MoveNo, bool Fischer) {
    // Built in a buffer: a FEN is written for every game of a file.
    char buf[128];
    char* o = buf;
    for (int rank = 8; rank >= 1; --rank) {
        int run = 0;
        for (int file = 1; file <= 8; ++file) {
            const int32_t v = Brett[static_cast<size_t>(10 * (rank + 1) + file)];
            if (v == 0 || v < -6 || v > 6) {
                ++run;
                continue;
            }
            if (run > 0) *o++ = static_cast<char>('0' + run);
            run = 0;
            *o++ = FigurenBuchstaben[static_cast<size_t>(v + 6)];
        }
        if (run > 0) *o++ = static_cast<char>('0' + run);
        if (rank > 1) *o++ = '/';
    }
    *o++ = ' ';
    *o++ = Zug.Side == 1 ? 'w' : 'b';
    *o++ = ' ';
    const char* castlingStart = o;
    if (Zug.CastlingRights & WhiteShort) *o++ = 'K';
    if (Zug.CastlingRights & WhiteLong) *o++ = 'Q';
    if (Zug.CastlingRights & BlackShort) *o++ = 'k';
    if (Zug.CastlingRights & BlackLong) *o++ = 'q';
    if (o == castlingStart) *o++ = '-';
    // Only a square the reader takes back: rank 6 with White to move, rank 3
    // with Black.
    const int32_t ep = Zug.EnPassant;
    const bool epValid = IsBoardSquare(ep) && ep / 10 - 1 == (Zug.Side == 1 ? 6 : 3);
    *o++ = ' ';
    if (Fischer) {
        *o++ = 'f';
        *o++ = '1';
    } else if (epValid) {
        const char* name = FeldNamen[Index120To64(static_cast<uint8_t>(ep))];
        *o++ = name[0];
        *o++ = name[1];
    } else {
        *o++ = '-';
    }
    *o++ = ' ';
    *o++ = '0';
    *o++ = ' ';
    const auto [end, ec] = std::to_chars(o, buf + sizeof buf, MoveNo);
    (void)ec; // an int always fits
    return std::string(buf, end);
}

std::string StellungToFEN960(const TSchachbrett& Brett, const TZug& Zug, int MoveNo,
                             const TFischerInfo& FischerInfo, bool FileLetters) {
    std::string fen = StellungToFEN(Brett, Zug, MoveNo, false);
    std::string castling;
    struct TRight {
        uint8_t Bit;
        int32_t Rook;
        int32_t Side;
        bool HSide;
        char Letter;
    };
    const TRight rights[] = {
        {WhiteShort, FischerInfo.WhiteRookH, 1, true, 'K'},
        {WhiteLong, FischerInfo.WhiteRookA, 1, false, 'Q'},
        {BlackShort, FischerInfo.BlackRookH, -1, true, 'k'},
        {BlackLong, FischerInfo.BlackRookA, -1, false, 'q'},
    };
    for (const TRight& r : rights) {
        if (!(Zug.CastlingRights & r.Bit)) continue;
        const int32_t base = r.Side > 0 ? SqA1 - 1 : SqA8 - 1;
        const bool rookThere = r.Rook > base && r.Rook <= base + 8 &&
                               Brett[static_cast<size_t>(r.Rook)] == Turm * r.Side;
        // Another rook further out on that side would be taken for KQkq.
        bool outermost = true;
        if (rookThere)
            for (int32_t sq = r.HSide ? r.Rook + 1 : base + 1;
                 sq <= (r.HSide ? base + 8 : r.Rook - 1); ++sq)
                if (Brett[static_cast<size_t>(sq)] == Turm * r.Side) outermost = false;
        if (outermost && (!FileLetters || !rookThere)) {
            castling += r.Letter;
        } else {
            const char file = static_cast<char>('a' + (r.Rook - base - 1));
            castling += r.Side > 0 ? static_cast<char>(file - 'a' + 'A') : file;
        }
    }
    if (castling.empty()) castling = "-";
    // Board and side are free of blanks: the castling field is the third.
    const size_t a = fen.find(' ', fen.find(' ') + 1) + 1;
    const size_t b = fen.find(' ', a);
    fen.replace(a, b - a, castling);
    return fen;
}

bool FENToStellung(std::string_view FEN, TSchachbrett& Brett, TZug& Zug, uint16_t& MoveNo,
                   PFischerInfo FischerInfo, bool Chess960) {
    try {
        const std::vector<std::string_view> fields = SplitFields(FEN);
        if (fields.empty()) return false;

        // Work on copies; the caller's records change only on success.
        TSchachbrett board;
        if (!ReadBoard(fields[0], board)) return false;

        TZug zug = Zug;
        zug.CastlingRights = 0;
        zug.EnPassant = 0;
        zug.Side = 1;
        zug.EnPassantVictim = 0;
        zug.CastlingKind = 0;
        zug.Promotion = 0;
        zug.Captured = 0;
        zug.Flags = 0;
        zug.Glyph = 0;
        uint16_t moveNo = MoveNo;
        bool fischer = false;

        if (fields.size() > 1) {
            if (fields[1] != "w" && fields[1] != "b") return false;
            if (fields[1] == "b") zug.Side = -1;
        }
        if (fields.size() > 2) {
            for (char c : fields[2]) {
                if (c == 'K')
                    zug.CastlingRights |= WhiteShort;
                else if (c == 'Q')
                    zug.CastlingRights |= WhiteLong;
                else if (c == 'k')
                    zug.CastlingRights |= BlackShort;
                else if (c == 'q')
                    zug.CastlingRights |= BlackLong;
                else if ((c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h'))
                    zug.CastlingRights |= RookFileRight(board, c);
            }
        }
        if (fields.size() > 3) {
            const std::string_view ep = fields[3];
            if (ep == "f1") {
                fischer = true;
                moveNo = 1;
            } else if (ep.size() == 2 && ep[0] >= 'a' && ep[0] <= 'h' &&
                       ep[1] == (zug.Side == 1 ? '6' : '3')) {
                zug.EnPassant =
                    StandingEnPassant(board, 10 * (ep[1] - '0' + 1) + (ep[0] - 'a' + 1), zug.Side);
            }
        }
        if (fields.size() > 1) ParseMoveNumber(fields.back(), moveNo);

        TFischerInfo fi = FischerInfo ? *FischerInfo : TFischerInfo{};
        FischerInfoFromStellung(&fi, board);
        // A file letter names the castling rook where it is not the outermost
        // one. Other programs write Chess960 positions so: a letter that
        // gives a right other than from e1/e8 with a corner rook marks one.
        if (fields.size() > 2)
            for (const char c : fields[2]) {
                const bool white = c >= 'A' && c <= 'H';
                if (!white && !(c >= 'a' && c <= 'h')) continue;
                const int32_t file = c - (white ? 'A' : 'a');
                const int32_t rook = (white ? SqA1 : SqA8) + file;
                const int32_t king = white ? SqE1 : SqE8;
                const uint8_t right = RookFileRight(board, c);
                if (right != 0 && (board[static_cast<size_t>(king)] != (white ? Koenig : -Koenig) ||
                                   (file != 0 && file != 7)))
                    fischer = true;
                switch (right) {
                case WhiteShort:
                    fi.WhiteRookH = rook;
                    break;
                case WhiteLong:
                    fi.WhiteRookA = rook;
                    break;
                case BlackShort:
                    fi.BlackRookH = rook;
                    break;
                case BlackLong:
                    fi.BlackRookA = rook;
                    break;
                default:
                    break;
                }
            }
        fi.Fischer = fischer || Chess960;
        // Only rights whose king and rook stand ready, as the move check sees them.
        zug.CastlingRights = StandingCastlingRights(board, zug.CastlingRights, &fi);
        if (FischerInfo) *FischerInfo = fi;
        Brett = board;
        Zug = zug;
        MoveNo = moveNo;
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace kb
