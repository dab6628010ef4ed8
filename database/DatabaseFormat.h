// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes of the database files: the main file (records ended by 0x00), the
// index file (little-endian 64-bit header and slots) and the escape codec
// that keeps 0x00 out of records.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

namespace kb {

inline constexpr int64_t IndexMagic = 1234567890;
inline constexpr int64_t ChessOwnerSignature = 9876543210;
inline constexpr int64_t IndexHeaderRecords = 8;
inline constexpr int64_t IndexHeaderBytes = IndexHeaderRecords * 8;

// Header records of the index file.
enum TIndexHeader : int64_t {
    ihMagic = 0,
    ihWasted = 1, // bytes of records marked deleted since the last compress
    ihValid = 2,  // slots holding a positive value
    ihZero = 3,
    ihOwner1 = 4,
};

// The lock file's one byte. Clean: the last session closed the files
// cleanly. In use: a session had them open for writing and has not closed
// them yet (the next open checks fully). Compressing: a compress is under
// way, and the temporary pair beside the main file is its own. Rebuilding
// + k: an index rebuild is under way into its temporary name k.
inline constexpr char LockClean = 0;
inline constexpr char LockInUse = 1;
inline constexpr char LockCompressing = 2;
inline constexpr char LockRebuilding = 0x10;
inline constexpr int RebuildTempNames = 8;

inline constexpr char RecordEnd = '\0';
inline constexpr char DeletedFill = '\x07'; // a record made only of these counts as deleted
inline constexpr unsigned char PrefixPlain = 0x01;
inline constexpr unsigned char PrefixEscaped = 0x81;

// 0x00 -> 0xFF 0x06, 0xFF -> 0xFF 0x05.
std::string EscapeBytes(std::string_view Text);
// The inverse; 0xFF followed by anything but 0x05 gives 0x00, a lone 0xFF at
// the very end stays.
std::string UnescapeBytes(std::string_view Text);

void PutInt64LE(char* Out, int64_t Value);
int64_t GetInt64LE(const char* In);

// Offset of the record a slot value points at (0 stays 0).
inline int64_t SlotOffset(int64_t Slot) {
    if (Slot == INT64_MIN) return INT64_MAX;
    return Slot < 0 ? -Slot - 1 : (Slot == 0 ? 0 : Slot - 1);
}

// FileName with its extension (from the last '.' after the last '/') replaced by Ext.
std::string ChangeFileExt(const std::string& FileName, const std::string& Ext);
std::string ExtractFileExt(const std::string& FileName);
std::string UpperAscii(std::string_view Text);

// Which file of a database a name is, by its extension in any case: the
// main file (.kbf), its index (.kbfidx) or its lock file (.kbftmp).
enum class TDatabasePart { None, Main, Index, Lock };
TDatabasePart DatabasePartOf(const std::string& FileName);

} // namespace kb
