// SPDX-License-Identifier: GPL-3.0-or-later
// TNotation: one game as a tree of moves with variations, comments and
// annotations, its PGN reader and writer, the move text and the laid-out
// notation text. Plain C++: the Qt widget wraps an instance and supplies text
// metrics and the clipboard; hidden instances (database, ECO, printing,
// search) use the model alone.
//
// The tree is owned by the notation: nodes and line records are allocated by
// it and released iteratively, so neither game length nor variation nesting
// decides the depth of the machine stack.
#pragma once

#include "NotationChooser.h"
#include "SchachProcs.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// True for a Variant tag value that names Chess960 ("Chess960",
// "fischerandom", ...; letter case, blanks, "-" and "_" ignored).
bool IsChess960VariantName(std::string_view Value);

struct TVariante;

// One move of the tree.
struct TBaum {
    TBaum* Next = nullptr; // next move of the same line
    TBaum* Prev = nullptr; // previous move; for a variation's first move the move it replaces
    TVariante* Variations = nullptr; // alternatives to this move
    TZug Zug{};                      // the move; Side holds the side to move after it
    std::string Kommentar;           // comment after the move, with its braces
    int32_t TextPos = 0;             // 1-based start of the move's text in LayoutText
    int32_t TextLen = 0;
    int32_t ZugNummer = 0; // full move number
    bool Versteckt = false;

    // Every load makes and frees a move per ply: they come from a free list
    // rather than the heap (plain new and delete in sanitizer builds).
    static void* operator new(size_t Size);
    static void operator delete(void* P, size_t Size) noexcept;
};

// The comments of one move are held joined by " | ". PGN gets them as
// separate comments: the "|" between them would read back as NAG 140, and
// other readers stop at it. Appends Joined so to Out.
void AppendSeparatedComments(std::string& Out, std::string_view Joined);

// Moves the free list holds or has handed out, all threads together (0 in
// builds without it): what the tree's memory costs the process.
size_t NodePoolBlocks();

// One line of the tree: the main line or one alternative.
struct TVariante {
    TBaum* Erster = nullptr;
    TVariante* Naechste = nullptr;
    TVariante* Vorige = nullptr;
};

// The game record of a notation.
struct TPartiedaten {
    TEventData EventData;
    TSchachbrett Stellung = StandardStellung;
    TZug Zug{};             // start move record: rights, e.p. square, side to move
    uint16_t ZugNummer = 1; // number of the first full move
    std::string Kommentar;  // game comment, brace-delimited pieces
};

// True when the game starts from the standard position with White to move,
// all castling rights, no en-passant square and move number 1: only then can
// a written game leave out its start position.
bool HasStandardStart(const TPartiedaten& G);

// Fonts of the laid-out text. The widget maps them to real fonts.
enum class TLineFont : uint8_t {
    HeadLine,
    Comment,
    Main, // main line (Font0Var)
    Bold, // main line in bold when the game has variations
    Var1, // first-level variations
    Var2, // deeper variations
};

// Start of one display line in LayoutText.
struct TLineStart {
    int32_t Pos = 0; // 1-based
    TLineFont Font = TLineFont::Main;
    friend bool operator==(const TLineStart&, const TLineStart&) = default;
};

// One comment in LayoutText: position of its "{" and length with both braces.
struct TCommentSpan {
    int32_t Pos = 0;
    int32_t Len = 0;
    friend bool operator==(const TCommentSpan&, const TCommentSpan&) = default;
};

// Widths for word wrap. The widget answers from its font metrics, tests
// with fixed widths; a notation without metrics does not wrap.
class ITextMetrics {
public:
    virtual ~ITextMetrics() = default;
    // Width available for text (the paint box width).
    virtual int AvailableWidth() const = 0;
    // Left indent of a line in this font.
    virtual int Indent(TLineFont Font) const = 0;
    // Width of the character starting at byte Pos (0-based) of Text; bytes
    // that continue a multi-byte character may answer 0.
    virtual int CharWidth(TLineFont Font, std::string_view Text, size_t Pos) const = 0;
};

// Material ranges of a search, by signed piece code -6..6 (index code + 6).
// Kings are counted but never tested.
struct TPiecesFilter {
    std::array<int32_t, 13> Count{}; // pieces on the position last searched
    std::array<int32_t, 13> Min{};
    std::array<int32_t, 13> Max{};
    std::array<bool, 13> Enabled{};

    static constexpr size_t Index(int Code) { return static_cast<size_t>(Code + 6); }
    void Reset();
    // Every enabled code -5..5 lies within its range (also with none enabled).
    bool Matches() const;
    // No code -5..5 is enabled.
    bool IsEmpty() const;
};

class TNotation {
public:
    // Events; Sender first, records by value.
    std::function<void(TNotation* Sender, TZug Zug, TSchachbrett Stellung, bool NextMove)>
        OnMoveChange;
    std::function<void(TNotation* Sender, TFischerInfo FischerInfo)> OnFischerInfo;
    std::function<void(TNotation* Sender, const std::string& Fehlermeldung)> OnError;
    std::function<void(TNotation* Sender)> On50MovesRule;
    std::function<void(TNotation* Sender)> On3Repetition;
    std::function<void(TNotation* Sender)> OnGameChanged;

    // Widget hooks: called after every layout (scroll and repaint there),
    // and the clipboard's text. Unset in hidden notations.
    std::function<void(TNotation* Sender)> AfterLayout;
    std::function<bool(std::string& Text)> ClipboardGetText;
    std::function<bool(const std::string& Text)> ClipboardSetText;

    TNotation();
    ~TNotation();
    TNotation(const TNotation&) = delete;
    TNotation& operator=(const TNotation&) = delete;

    // --- state -------------------------------------------------------------
    bool Modified = false; // written through SetModified
    TPartiedaten GameData;
    // Chess960 record of the host; nil lets the notation use its own record
    // from the last CheckFischerPosition.
    TFischerInfo* FischerInfo = nullptr;
    std::string LayoutText;
    TSchachbrett WorkBoard = StandardStellung;
    TZug WorkMove{};
    std::vector<int32_t> Candidates; // pieces that reach a target square
    uint8_t CandidateCount = 0;
    TVariante* WorkLine = nullptr;
    TVariante* RootLine = nullptr;
    TVariante* LastNewLine = nullptr;
    TBaum* LastNewNode = nullptr;
    TBaum* CurrentMove = nullptr;
    bool ErrorShown = false;
    TBaum* UndoNode = nullptr;
    TVariante* UndoLine = nullptr;
    int32_t UndoKind = 0;
    TPartiedaten UndoGameData;
    std::array<char, 19> NagChars{};
    // What the display shows for a sign whose character the user has not
    // chosen (UTF-8). UnicodeSigns by default; a host whose fonts lack a
    // glyph puts a plainer spelling in (ShowableSignTexts).
    std::array<std::string, 19> SignTexts;
    bool NewVariationOnce = false;
    bool OverwriteOnce = false;

    // Layout results.
    std::vector<TLineStart> LineStarts; // sorted by Pos, no duplicate positions
    std::vector<TCommentSpan> CommentSpans;
    int32_t HeadlineEnd = 0;
    bool ExportMode = false;
    bool SearchActive = false;
    int32_t VarDepth = 0;
    bool CurrentOnMainLine = true;
    // Word wrap; nil for hidden notations.
    const ITextMetrics* Metrics = nullptr;
    // Search step run by the layout while SearchActive is set.
    std::function<void(TNotation* Sender)> SearchStep;

    // --- properties --------------------------------------------------------
    bool Ueberschrift() const { return FUeberschrift; }
    void SetUeberschrift(bool Value);
    bool English() const { return FEnglish; }
    void SetEnglish(bool Value);
    bool AutoBold = true;

    // --- tree and working board ---------------------------------------------
    void ResetStartPosition();
    void NewGame();
    void ClearGame();
    void AddVariation();
    TBaum* NewNode(const TZug& Zug);
    void DoMove();
    void UndoMove(const TZug& Zug);
    void Refresh() { LayoutNotation(RootLine); }
    const std::string& GetText() {
        EnsureLayout();
        return LayoutText;
    }
    const std::string& GetText() const { return LayoutText; }
    // The Chess960 record in force: the host's when set, else the own one;
    // nil for standard chess.
    const TFischerInfo* ActiveFischerInfo() const;
    const TFischerInfo& OwnFischerInfo() const { return FOwnFischerInfo; }

    // Releases a line and every move and variation hanging on it.
    static void FreeLine(TVariante* Line);
    // Releases the line Head points at and unlinks it from its siblings.
    static void DeleteVariationRecord(TVariante*& Head);

    // --- PGN import ---------------------------------------------------------
    // 0 when the game was read, -1 on an error.
    int LoadPGN(std::string_view Text);
    // The last LoadPGN found neither a tag nor a move: the text is no game.
    bool NoGameFound() const { return FNoGame; }
    int8_t PieceFromLetter(char C) const;
    static std::string NormalizeMoveToken(std::string S);
    bool ScanQueen(int32_t Square, bool Enemy);
    bool ScanRook(int32_t Square, bool Enemy);
    bool ScanBishop(int32_t Square, bool Enemy);
    bool ScanKnight(int32_t Square, bool Enemy);
    bool ScanKing(int32_t Square, bool Enemy);
    bool ScanPawn(int32_t Square, bool Enemy);

    // --- move text ----------------------------------------------------------
    void MoveNumberText(std::string& S) const;
    int NextMoveNumber() const;
    static void GlyphText(uint8_t Glyph, std::string& S);
    static void GlyphToNag(uint8_t Glyph, std::string& S);
    static void NagText(uint8_t Nag, std::string& S);
    void NagSymbol(uint8_t Nag, std::string& S) const;
    void PieceLetter(int Code, std::string& S) const;
    void MoveToSAN(const TZug& Zug, std::string& S);

    // --- layout -------------------------------------------------------------
    void LayoutNotation(TVariante* Root);
    // A hidden notation (no metrics, no AfterLayout) leaves the layout of a
    // load or an export for later: the move numbers and comments are final,
    // but LayoutText, LineStarts, CommentSpans and the moves' text positions
    // are empty until EnsureLayout, which makes them as the skipped layout
    // would have and leaves the working board and current move alone.
    bool LayoutPending() const { return FLayoutPending; }
    void EnsureLayout();
    static std::string PosKey(int32_t Pos);
    // Start of line entry I; -1 when I is out of range.
    int32_t ParagraphPos(int I) const;
    void RegisterParagraph(TLineFont Font);

    // --- PGN export and clipboard -------------------------------------------
    int WritePGN(bool ToClipboard, std::string& Text);
    int CopyPGN();
    int GetPGN(std::string& Text);
    bool PastePGN();

    // --- annotations and options --------------------------------------------
    void GetComment(std::string& S) const;
    void SetComment(std::string S);
    void SetMoveGlyph(std::string_view S);
    void SetPositionGlyph(uint8_t Nag);
    void SetModified(bool Value);
    void SetGlyphChars(std::string_view S);
    void SetPieceLetters(const std::string& King, const std::string& Queen, const std::string& Rook,
                         const std::string& Bishop, const std::string& Knight,
                         const std::string& Pawn);
    bool LetterMode() const { return FLetterMode; }
    // Tells the host whether the start position is Chess960. Marked is the
    // record a FEN that named a Chess960 position gave (its "f1" marker, file
    // letters, a Variant tag): it holds for a start that is no start array
    // (a Chess960 game taken up part-way).
    void CheckFischerPosition(const TFischerInfo* Marked = nullptr);

    // === move entry, editing and navigation ==================================
    // Answers the new-move and "Select move" questions; not owned. Nil in
    // hidden notations.
    INotationChooser* Chooser = nullptr;
    // Widget hooks: bring the current move into view after a step that does
    // not lay out again, and the platform's beep. Unset in hidden notations.
    std::function<void(TNotation* Sender)> ScrollToCurrentHook;
    std::function<void(TNotation* Sender)> BeepHook;
    // Answer of the last "Select move" question: -2 none asked, -1 cancelled,
    // else the index of the chosen entry.
    int32_t SelectedCandidate = -2;

    // One entry of a question's list and the move it stands for.
    struct TCandidate {
        std::string Text; // "A) 12.Nf3"
        TBaum* Node = nullptr;
    };

    // A new game from a position; MoveNo -1 keeps the start move number,
    // other numbers are held to 1..65535. Header and game comment stay.
    // Marked as for CheckFischerPosition: a pasted Chess960 position.
    void SetStartPosition(const TSchachbrett& Stellung, const TZug& Zug, int MoveNo,
                          const TFischerInfo* Marked = nullptr);
    // True when the move was taken into the tree.
    bool MoveDone(const TZug& Zug);
    // 0 when the move was taken, -1 when cancelled or refused.
    int AddMove(const TZug& Zug);
    // The continuation and its alternatives, as the questions list them; the
    // working board must hold the position before the continuation.
    std::vector<TCandidate> FillCandidateList(TBaum* Continuation, bool AtStart);
    // Fires On3Repetition / On50MovesRule for the position after CurrentMove.
    void RepetitionCheck();

    bool CutMoves(bool Remaining);
    void PromoteVariation();
    void DeleteVariation();
    void UndoDelete();
    void MarkMate();
    bool MoveBack();
    bool MoveForward();
    bool MoveForwardMain(uint8_t& From, uint8_t& To, uint8_t& Promotion, uint8_t& Castling);
    bool PrevVariationStart();
    bool NextVariationStart();
    bool GotoStart();
    bool GotoEnd();
    void ScrollToCurrent();

    // The game holds at least one move (a root line may exist without any).
    bool HasMoves() const { return RootLine && RootLine->Erster; }
    // The move after which the position before Node stands: Prev, or for the
    // first move of a variation the move before the one it replaces (over
    // any number of nested first moves). Nil for the start position.
    static TBaum* MoveBefore(const TBaum* Node);
    // Node lies on the main line (nil, the start, counts as on it).
    bool IsOnMainLine(const TBaum* Node) const;
    // Full move number of Node, counted along the tree.
    int32_t MoveNumberOf(const TBaum* Node) const;
    // The position and record after Node (the start for nil), replayed.
    void PositionAfter(const TBaum* Node, TSchachbrett& Board, TZug& Zug);
    // A question is open or an edit runs: tree changes are refused.
    bool Busy() const { return FBusy; }

    // === position and material search ========================================
    // The wanted position: every occupied cell must hold the same piece,
    // empty cells accept anything.
    TSchachbrett SearchBoard{};
    TPiecesFilter* SearchFilter = nullptr; // material ranges of the running search
    bool SearchByPosition = false;
    void SetSearchPosition(const TSchachbrett& Stellung);
    // True when some position of the game, variations included, passes
    // every test switched on (Filter set, ByPosition). With none switched
    // on the start position already passes.
    bool PositionFound(TPiecesFilter* Filter, bool ByPosition);

    // The built-in characters of the position NAGs, in NagNumbers order.
    static const std::array<char, 19> DefaultNagChars;
    // The signs the position NAGs stand for, as Unicode text (UTF-8), and
    // the same in characters every font has, for a sign with no glyph.
    static const std::array<const char*, 19> UnicodeSigns;
    static const std::array<const char*, 19> PlainSigns;
    static const std::array<uint8_t, 19> NagNumbers;

private:
    // Import helpers.
    struct TVarState;
    enum { ParseOk = 0, ParseError = 1, ParseSilent = 2 };
    int ParseMovetext(std::string_view Buf);
    bool ReadMoveToken(std::string_view Buf, size_t& Pos);
    bool ResolvePawn(std::string_view T, int32_t& From);
    bool ResolvePiece(int Piece, std::string_view T, int32_t& From);
    void NagToAnnotation(std::string_view Digits);
    // Scratch texts of the reader, kept to spare an allocation per move.
    std::string FDigits, FMovetext;
    std::vector<std::string_view> FLines;
    std::vector<std::string_view> FLineTags; // the tags of one line
    bool Scan(int Kind, int32_t Square, bool Enemy, bool Record);

    // Layout helpers.
    void AddLineStart(int32_t Pos, TLineFont Font, bool Replace);
    struct TLayoutRun;
    void BuildLines(TBaum* First, TLayoutRun& Run);
    void WrapLines();
    bool Hidden() const { return !Metrics && !AfterLayout && !SearchActive; }
    void DeferLayout();
    bool FLayoutPending = false;
    // Set while EnsureLayout runs: the comments were already trimmed, and
    // these moves' comments shrank to "{}" on the way but still show.
    bool FCommentsTrimmed = false;
    std::vector<const TBaum*> FShownShortComments;

    void FreeTree();

    // === move entry, editing and navigation (internal) ======================
    // Sets a flag for the lifetime of the scope.
    class TBusyScope {
    public:
        explicit TBusyScope(bool& Flag) : FFlag(Flag) { FFlag = true; }
        ~TBusyScope() { FFlag = false; }
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        bool& FFlag;
    };
    void FreeUndo();
    void NewUndoRecord();
    void PlayOn(TSchachbrett& Board, const TZug& Zug);
    void FireMoveChange(bool NextMove);
    void StepTo(TBaum* Node);
    bool EntryUsable(const TZug& Zug) const;
    int SanFlags(const TSchachbrett& Before, const TZug& Move) const;
    bool InCheck(const TSchachbrett& Board, int32_t Side) const;
    bool HasLegalMove(const TSchachbrett& Board, const TZug& Position) const;
    int32_t EffectiveEnPassant(const TSchachbrett& Board, const TZug& Position) const;
    bool RederiveMove(const TSchachbrett& Before, const TZug& Prior, TZug& Move, bool WasMate);
    bool ReplaceContinuation(TBaum* Node, const TZug& Move, const TZug& Prior);
    bool FBusy = false;

    // === position and material search (internal) ============================
    void SearchPositionStep();

    bool FUeberschrift = false;
    bool FEnglish = false;
    bool FLetterMode = false;
    std::array<std::string, 7> FPieceLetters; // by piece type 1..6
    TFischerInfo FOwnFischerInfo{};
    // Running copies of the reader: the position and record before CurrentMove.
    // The board before CurrentMove is the working board with CurrentMove's
    // changes taken back: copying the whole board for every move read costs more.
    TMoveChanges FChanges;
    TZug FMoveBefore{};
    // Where each piece stands on the working board while the reader runs:
    // one bit per square (0..63) for each code -6..6.
    using TPieceSets = std::array<uint64_t, 13>;
    TPieceSets FPieceSets{};
    void BuildPieceSets();
    void MovePieceSets(int32_t Square, int32_t Old, int32_t New);
    void CollectReaching(int Kind, int32_t Square);
    // Side's king stands attacked on the working board (or is missing).
    bool KingAttacked(int32_t Side) const;
    // A piece of colour By attacks square Square64 (0..63) on the working board.
    bool SquareAttacked(size_t Square64, int32_t By) const;
    // The king move From -> To is castling written as the king's move.
    bool KingMoveIsCastling(int32_t From, int32_t To, int32_t Side, bool& Short) const;
    bool FMoveRead = false;
    // The result that ended the main line's moves ("*", "1-0", ...), if any.
    std::string FMovesResult;
    bool FNoGame = false;
    bool FVariationOpened = false;
    bool FVariationClosed = false;
};

} // namespace kb
