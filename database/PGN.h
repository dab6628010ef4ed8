// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN: the games of one PGN file, indexed in memory by a block scan, as
// rows that can be filtered and sorted; games are read on demand and can be
// appended, inserted, replaced and deleted, each change written beside the
// file and renamed over it. Plain C++; the list face is TPGNList.
#pragma once

#include "FileIO.h"
#include "PGNRewrite.h"
#include "SchachProcs.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kb {

class TPGN;
class TChessDatabase;
class TNotation;

// 0: the operation cannot be cancelled; 1: it can; a handler answers 2 to cancel.
using TCancelMode = int32_t;
constexpr TCancelMode cmNoCancel = 0;
constexpr TCancelMode cmGoOn = 1;
constexpr TCancelMode cmCancel = 2;

// Percent 0 when the work ends, -1 when a backup copy ends.
using TPGNTraceEvent = std::function<void(TPGN* Sender, int Percent, TCancelMode& CancelMode)>;
using TFilterRequestEvent =
    std::function<void(TPGN* Sender, const TEventData& GameHeader, bool& ShowThisGame)>;
using TBeforeCreatePGNFileEvent =
    std::function<void(TPGN* Sender, const std::string& FileName, bool& CreateNewPGNFile)>;

// One game of the file: its stable number and where its text starts. It ends
// where the next game starts (the last one at TPGN's last end).
struct TPGNGameRecord {
    int32_t GameNo = 0;
    int64_t Start = 0;
    int64_t End = 0;
    friend bool operator==(const TPGNGameRecord&, const TPGNGameRecord&) = default;
};

// Sort keys.
enum : uint8_t {
    skFileOrder = 0,
    skWhite,
    skBlack,
    skEvent,
    skAnnotator,
    skSite,
    skResult,
    skECO,
    skYear,
    skWhiteElo,
    skBlackElo,
    skMoveCount,
    skLast = skMoveCount,
};

// Game text modes of FormatGameText.
enum : int { gmAppend = 1, gmInsert = 2, gmReplace = 3 };

class TPGN {
public:
    static constexpr int64_t BlockSize = 16384;

    TPGN();
    ~TPGN();
    TPGN(const TPGN&) = delete;
    TPGN& operator=(const TPGN&) = delete;

    TPGNTraceEvent OnPGNTrace;
    TFilterRequestEvent OnFilterRequest;
    TBeforeCreatePGNFileEvent BeforeCreatePGNFile;

    // Hooks of the list face: around every change of the rows, the
    // hourglass, and the wish to repaint.
    std::function<void()> OnBeforeRowsChange;
    std::function<void()> OnAfterRowsChange;
    std::function<void(bool On)> OnHourglass;
    std::function<void()> OnRepaint;

    // Opens, re-scans or closes. True when FileName is the loaded file afterwards
    // (empty name: True after closing).
    bool SetFileName(const std::string& FileName);
    // Why the last SetFileName opened nothing (the list stays as it was).
    // None as well when the user declined a new file, when the list was
    // busy, and when the reason has been shown already.
    enum class TOpenRefusal {
        None,
        NotPGN,
        NotDatabase,
        DatabaseNotOpened,
        Unreadable,
        NotCreated
    };
    TOpenRefusal OpenRefusal() const { return openRefusal_; }
    // PGN mode: the file read again as it is now (another program changed
    // it): new index, rows and game numbers. False while busy, and when the
    // file cannot be opened any more.
    bool Reread();
    void Close();
    bool IsDatabase() const { return database_ != nullptr; }
    TChessDatabase* Database() const { return database_.get(); }
    // The database is running an operation of its own (rows are not painted).
    bool DatabaseBusy() const;

    int GameIndex(int Row) const;
    int RowGameIndex(int Row) const;
    int DBGameNumber(int Row) const;
    // The stable number of a row's game (-1 outside the list): the record's
    // GameNo, or the database number. It names the same game only while
    // NumberingStamp() stays the same.
    int RowGameNo(int Row) const;
    std::pair<int64_t, int64_t> NumberingStamp() const { return Stamp(); }
    // False (and an empty text) when the game cannot be read.
    bool ReadGameText(int GameIndex, bool& Deleted, std::string& Text);
    // The game's text and its number as handed out now (a number handed
    // out before the numbering changed is refused by the edits).
    void GetGame(int GameIndex, int& GameNo, std::string& Text);
    // The same, with a database game's deleted mark.
    void GetGame(int GameIndex, int& GameNo, std::string& Text, bool& Deleted);
    void ReadHeader(int GameIndex);
    const TEventData& GameHeader() const { return header_; }
    const std::vector<std::string>& GameLines() const { return gameLines_; }

    void ApplyFilter();
    void Sort(uint8_t Key);
    int ItemCount() const { return database_ ? dbRows_ : static_cast<int>(rows_.size()); }
    // Games of the file: PGN records, or the valid games of the database.
    int GameCount();
    void KeepOpen(bool Value);

    // Removes what an interrupted change of this file (an edit, a copy, an
    // ECO run) left beside it, a half written new version, unless a live
    // writer holds it. Returns how many files went.
    int RemoveStaleTemps();

    // Editing.
    bool AppendGame(int& GameNo, const std::string& Text);
    bool SaveGame(int Row, int& GameNo, int Mode, const std::string& Text);
    bool InsertGame(int Row, int& GameNo, const std::string& Text);
    bool ReplaceGame(int& GameNo, const std::string& Text);
    bool DeleteGame(int Row);
    bool DoDeleteGame(int Key, bool ByRow);
    // Many games in one change of the file (one rename): all of them or,
    // on failure or cancel, none. A text that does not start a game refuses
    // the whole batch. GameNos gets the new games' numbers in order. A
    // database takes them one by one: those before a failure stay.
    bool AppendGames(const std::vector<std::string>& Texts, std::vector<int>& GameNos);
    // Before the game of Row, in order; appended without such a row or
    // while the list is sorted.
    bool InsertGames(int Row, const std::vector<std::string>& Texts, std::vector<int>& GameNos);
    // The games of these rows (database: marked deleted, or DBNumber alone
    // when it is not -1).
    bool DeleteGames(const std::vector<int>& Rows, int DBNumber = -1);
    // The last change of the file was stopped by the user (nothing changed).
    bool Cancelled() const { return cancelled_; }
    // How the last change of the PGN file ended: Refused when another
    // writer (another copy of the program) held the file or changed it
    // since it was read.
    TRewriteResult LastRewrite() const { return lastRewrite_; }
    // The whole PGN file written anew in one change: Game gets each game's
    // trimmed text in file order and changes it in place (false stops the
    // run, and nothing changes). Every byte outside the games' trimmed texts
    // stays as it was, line ends included. BeforeRename runs just
    // before the new file takes the name. The index no longer fits the
    // file after Done: the caller opens the file again.
    TRewriteResult RewriteGames(const std::function<bool(int Index, std::string& Text)>& Game,
                                const std::function<void()>& BeforeRename = {});
    bool DeleteDatabase();
    bool Compress();
    // Many games at once, for copies between lists. ReadGameTexts gives the
    // text of each game (empty where it cannot be read), reading the file
    // in large pieces when the games lie in file order.
    void ReadGameTexts(const std::vector<int>& GameIndexes, std::vector<std::string>& Texts);
    // Database mode: the games added with one sync and one change of the
    // rows (records as stored with RawRecords). GameNos gets the numbers of
    // the games that went in; false when not all did.
    bool AddDatabaseGames(const std::vector<std::string>& Texts, std::vector<int>& GameNos);
    // A text that the scan finds as one game of its own once written.
    static bool IsGameText(const std::string& Text);
    int FindRecord(int GameNo, int64_t& Start) const;
    int RowOfGame(int GameNo) const;
    // The text written for a game: trimmed, and with Separated the blank
    // line that parts it from its neighbour (before it when appending, after
    // it otherwise). A game that ends the file ends with CR LF.
    static std::string FormatGameText(const std::string& Text, int Mode, bool Separated);

    // State.
    const std::string& FileName() const { return fileName_; }
    bool Loaded() const { return loaded_; }
    bool Busy() const { return busy_; }
    bool ScanIncomplete() const { return scanIncomplete_; }
    bool DrawingSuppressed() const { return drawingSuppressed_; }
    uint8_t SortKey() const { return sortKey_; }
    int LastGameNo() const { return lastGameNo_; }
    int RecordCount() const { return static_cast<int>(starts_.size()); }
    TPGNGameRecord Record(int Index) const;
    // Bytes of memory held by the index (records and rows).
    size_t IndexBytes() const;

    bool NoFilter = false;
    bool RawRecords = false;
    // Given to the database for converting game records.
    TNotation* DatabaseNotation = nullptr;
    // Shows an error message of the database to the user (the list face
    // puts up a dialog).
    std::function<void(const std::string& Text)> OnShowError;
    bool IndexMissing() const { return indexMissing_; }

    // How long a change waits for another writer's lock before it is refused.
    void SetLockWait(std::chrono::milliseconds Wait) { lockWait_ = Wait; }

    // File calls; tests put a failing one here.
    void SetFileSystem(TFileSystem* Fs) { fs_ = Fs ? Fs : &TFileSystem::Posix(); }
    TFileSystem& FileSystem() const { return *fs_; }

private:
    // Marks the list busy for one operation and restores the previous value,
    // so that a nested call can never clear the flag of the call around it.
    class BusyScope {
    public:
        explicit BusyScope(TPGN& P) : p_(P), was_(P.busy_) { p_.busy_ = true; }
        ~BusyScope() { p_.busy_ = was_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TPGN& p_;
        bool was_;
    };
    struct Splice;

    bool OpenPGN(const std::string& Path);
    bool OpenDatabase(const std::string& Path, bool Create);
    void DBProgress(bool& Cancel, int Percent);
    void AddDatabaseRow(int Number);
    bool DBAppend(int& GameNo, const std::string& Text);
    bool DBReplace(int GameNo, const std::string& Text);
    void DBApplyFilter(TCancelMode& Mode);
    void DBSort(uint8_t Key, TCancelMode& Mode);
    void ShowError(const std::string& Text);
    // Game numbers handed out by GetGame, with the generation they belong to:
    // a number from before a new scan, a compress or a rebuild must not
    // replace whatever game carries it now.
    std::pair<int64_t, int64_t> Stamp() const;
    bool StillSameGame(int GameNo) const;
    void Scan();
    bool Trace(int Percent, TCancelMode& Mode);
    void TraceIfChanged(int Percent, int& Last, TCancelMode& Mode);
    void BeginRowsChange();
    void EndRowsChange();
    void Hourglass(bool On);
    int64_t EndOf(int Index) const;
    bool Accepts(int GameIndex);
    void ReadHeaderInto(int GameIndex, bool WithMovetext);
    std::string SortText(uint8_t Key) const;
    bool SortOrder(const std::vector<int32_t>& Games, uint8_t Key, TCancelMode& Mode,
                   std::vector<uint32_t>& Perm);

    bool CanEdit() const;
    // CanEdit; when the index no longer fits the file, the last change
    // counts as refused.
    bool MayEdit();
    // The locked file is still the one the index was read from, and a game
    // starts at At (or At is its end).
    bool IndexStillValid(TFile& File, int64_t At);
    // A change of the file as it was read, through the one door: another
    // writer's lock waited for while the window paints and its stop works.
    TPGNRewrite Rewrite();
    // Every edit of the list's PGN file: the new file is written from the
    // splices (in file order, not overlapping) through RewritePGNFile, the
    // one door of every change of a game file; then the index follows. OldToNew
    // maps the old record indexes (-1: removed). False: nothing changed.
    // True: the rows change has begun (the caller fixes the rows and ends it).
    // Cancellable: the progress handler may stop it (a delete); additions
    // run to the end, so a copy keeps what it had before a stop.
    bool Rewrite(const std::vector<Splice>& Splices, std::vector<int32_t>& OldToNew,
                 bool Cancellable);
    void RemapRows(const std::vector<int32_t>& OldToNew);
    bool DeleteRecords(std::vector<int> Records);
    void InsertRow(int Row, int Index);

    TFileSystem* fs_;
    std::string fileName_;
    std::unique_ptr<TFile> file_; // the open game file, read only
    bool scanIncomplete_ = false;
    uint8_t sortKey_ = 0;
    std::vector<std::string> gameLines_;
    std::vector<std::string_view> lineTags_; // the tags of one line
    // The index: per game its number and start, in file order.
    std::vector<int32_t> gameNos_;
    std::vector<int64_t> starts_;
    int64_t lastEnd_ = 0;
    // Row -> record index.
    std::vector<int32_t> rows_;
    bool loaded_ = false;
    bool busy_ = false;
    bool drawingSuppressed_ = false;
    TEventData header_;
    int32_t lastGameNo_ = -1;
    bool keepOpen_ = false;
    // The file as the index knows it: its stamp when it was read, and its
    // size while the index fits it (-1: every edit refused until a new scan).
    TFileStamp knownStamp_;
    int64_t knownSize_ = 0;
    std::chrono::milliseconds lockWait_ = kLockWait;
    bool cancelled_ = false;
    TRewriteResult lastRewrite_ = TRewriteResult::Done;
    std::vector<char> buffer_;

    // Database mode.
    static constexpr int StepDivisor = 200;
    std::unique_ptr<TChessDatabase> database_;
    // Database numbers of the rows when filtered or sorted.
    std::unique_ptr<std::vector<int32_t>> filterList_;
    int dbRows_ = 0;
    bool indexMissing_ = false;
    TOpenRefusal openRefusal_ = TOpenRefusal::None;
    int64_t expectedStep_ = 0;
    int64_t generation_ = 0;
    std::unordered_map<int, std::pair<int64_t, int64_t>> handedOut_;
};

} // namespace kb
