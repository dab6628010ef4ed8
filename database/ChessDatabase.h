// SPDX-License-Identifier: GPL-3.0-or-later
// TChessDatabase: the chess-aware database. Fixes the file extensions and the
// index signature, refuses files that are not its databases, and converts
// between PGN text and stored records (compact game records or PGN text).
#pragma once

#include "UCustomDatabase.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kb {

class TNotation;

class TChessDatabase : public TCustomDatabase {
public:
    explicit TChessDatabase(TFileSystem* FileSystem = nullptr);

    // Turns PGN text into compact records and spells glyphs and NAGs; may be null.
    TNotation* Notation = nullptr;

    const std::string& mainFileExt() const { return mainExt_; }
    // Puts a "." in front of a value that lacks one; index and lock
    // extensions follow (value + "idx", value + "tmp").
    void SetMainFileExt(const std::string& Value);
    const std::string& IndexExt() const { return indexExt_; }
    const std::string& LockExt() const { return lockExt_; }

    // Reading never creates: a missing file is made only with CreateMissing
    // (for adding games to it).
    bool Open(const std::string& FileName, bool CreateMissing = false) {
        return OpenFile(FileName, true, CreateMissing);
    }
    bool OpenFile(const std::string& FileName, bool CheckFormat, bool CreateMissing = false);
    bool IsDatabaseFile(const std::string& FileName);

    static std::string MakeRecord(std::string_view Payload);
    static std::string StripRecordPrefix(std::string_view Record);
    // The payload that stores a game's PGN text: the compact record, or the
    // text itself when the game does not load or the record cannot hold it.
    // Loaded, when given, says whether the game loaded.
    std::string PGNToRecord(const std::string& PGN, bool* Loaded = nullptr);
    // The payload back as PGN text; a payload starting with "[" is PGN already.
    std::string RecordToPGN(const std::string& Payload) const;

    bool AddRecordKey(std::string& Key, const std::string& Payload);
    bool AddRecord(int64_t& NewIndex, const std::string& Payload);
    bool AddGame(int64_t& NewIndex, const std::string& PGN);
    bool ReplaceRecord(const std::string& Payload, int64_t Index);
    bool ReplaceGame(const std::string& PGN, int64_t Index);
    bool DeleteGame(int64_t Index);
    bool ReadRecord(std::string& Key, std::string& Payload, bool& Deleted, int64_t Index);
    bool ReadGame(std::string& Key, std::string& PGN, bool& Deleted, int64_t Index);

    // Two names of one file: canonical paths compared exactly.
    static bool SameFile(const std::string& A, const std::string& B);

protected:
    // Record prefixes, and the fill of a replaced record.
    bool IsRecordLead(unsigned char First) const override;

private:
    std::string mainExt_, indexExt_, lockExt_;
};

// PGN text trimmed of leading and trailing blanks and control characters.
std::string TrimPGNText(std::string_view Text);

} // namespace kb
