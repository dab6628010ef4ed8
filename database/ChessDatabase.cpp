// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChessDatabase.h"

#include "DatabaseFormat.h"
#include "SchachProcs.h"

namespace kb {

TChessDatabase::TChessDatabase(TFileSystem* FileSystem) : TCustomDatabase(FileSystem) {
    SetMainFileExt(".kbf");
}

void TChessDatabase::SetMainFileExt(const std::string& Value) {
    mainExt_ = !Value.empty() && Value[0] == '.' ? Value : "." + Value;
    indexExt_ = mainExt_ + "idx";
    lockExt_ = mainExt_ + "tmp";
}

bool TChessDatabase::IsDatabaseFile(const std::string& FileName) {
    if (UpperAscii(ExtractFileExt(FileName)) != UpperAscii(mainExt_)) return false;
    const std::string index = ChangeFileExt(FileName, indexExt_);
    if (!Fs().Exists(index)) return true;
    auto file = Fs().Open(index, TOpenMode::Read);
    if (!file) return false;
    char header[40];
    const int64_t got = file->ReadAt(0, header, sizeof header);
    // An index that never got its header (a crash while it was first made)
    // counts as none.
    if (got >= 0 && got < 8 && file->Size() < 8) return true;
    if (got >= 8 && GetInt64LE(header) == IndexMagic) return true;
    return got >= 40 && GetInt64LE(header + 32) == ChessOwnerSignature;
}

bool TChessDatabase::OpenFile(const std::string& FileName, bool CheckFormat, bool CreateMissing) {
    SetCheckTimeLimit(30);
    if (CheckFormat && Fs().Exists(FileName) && !IsDatabaseFile(FileName)) {
        // Not ours: refused before anything is written, so it is never rebuilt over.
        RefuseOpen(dbeNotDatabase);
        return false;
    }
    OpenDatabase(FileName, indexExt_, lockExt_, ChessOwnerSignature, 0, 0, 0, CreateMissing);
    return !this->FileName().empty();
}

bool TChessDatabase::IsRecordLead(unsigned char First) const {
    return First == PrefixPlain || First == PrefixEscaped || First == DeletedFill;
}

std::string TChessDatabase::MakeRecord(std::string_view Payload) {
    std::string record;
    if (Payload.find('\0') != std::string_view::npos) {
        record += static_cast<char>(PrefixEscaped);
        record += EscapeBytes(Payload);
    } else {
        record.reserve(Payload.size() + 1);
        record += static_cast<char>(PrefixPlain);
        record += Payload;
    }
    return record;
}

std::string TChessDatabase::StripRecordPrefix(std::string_view Record) {
    if (Record.empty()) return {};
    if (static_cast<unsigned char>(Record[0]) >= 0x80) return UnescapeBytes(Record.substr(1));
    return std::string(Record.substr(1));
}

std::string TrimPGNText(std::string_view Text) {
    if (Text.starts_with("\xEF\xBB\xBF")) Text.remove_prefix(3); // UTF-8 byte order mark
    return std::string(TrimBlanks(Text));
}

bool TChessDatabase::AddRecordKey(std::string& Key, const std::string& Payload) {
    return Add(Key, MakeRecord(Payload), true);
}

bool TChessDatabase::AddRecord(int64_t& NewIndex, const std::string& Payload) {
    NewIndex = -1;
    std::string key;
    if (!AddRecordKey(key, Payload)) return false;
    NewIndex = GetCount() - 1;
    return true;
}

bool TChessDatabase::AddGame(int64_t& NewIndex, const std::string& PGN) {
    NewIndex = -1;
    const std::string payload = PGNToRecord(PGN);
    if (payload.empty()) return false;
    return AddRecord(NewIndex, payload);
}

bool TChessDatabase::ReplaceRecord(const std::string& Payload, int64_t Index) {
    return Replace(MakeRecord(Payload), true, Index);
}

bool TChessDatabase::ReplaceGame(const std::string& PGN, int64_t Index) {
    const std::string payload = PGNToRecord(PGN);
    if (payload.empty()) return false;
    return ReplaceRecord(payload, Index);
}

bool TChessDatabase::DeleteGame(int64_t Index) {
    return Delete(Index);
}

bool TChessDatabase::ReadRecord(std::string& Key, std::string& Payload, bool& Deleted,
                                int64_t Index) {
    std::string record;
    if (Read(Key, record, Index, -1, true, false, 0, Deleted) != 0) return false;
    Payload = StripRecordPrefix(record);
    return true;
}

bool TChessDatabase::SameFile(const std::string& A, const std::string& B) {
    auto& fs = TFileSystem::Posix();
    const std::string a = fs.CanonicalPath(A), b = fs.CanonicalPath(B);
    return !a.empty() && a == b;
}

} // namespace kb
