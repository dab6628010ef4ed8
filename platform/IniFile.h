// SPDX-License-Identifier: GPL-3.0-or-later
// Sectioned key=value settings files read and written the way Windows
// private profiles are: section and key names ignore letter case, values
// are trimmed and lose one pair of surrounding double quotes, lines that
// start with ";" are comments. The whole file is held in memory; changes
// reach the disk only through UpdateFile, which keeps every line it did not
// change (comments, unknown sections and keys) and replaces the file
// atomically.
#pragma once

#include "FileIO.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

class IniFile {
public:
    // Reads the file; a missing file is an empty one.
    explicit IniFile(std::string FileName);

    const std::string& FileName() const { return fileName_; }
    // True when the file exists but could not be read.
    bool ReadFailed() const { return readFailed_; }

    std::string ReadString(std::string_view Section, std::string_view Ident,
                           std::string_view Default) const;
    // Decimal (or 0x hex) integer; Default when missing or not a number.
    long ReadInteger(std::string_view Section, std::string_view Ident, long Default) const;
    // An integer other than 0 is true; Default when missing or not a number.
    bool ReadBool(std::string_view Section, std::string_view Ident, bool Default) const;

    // False, and nothing changed, for names or values that cannot be stored
    // in a line (line breaks, a key with "=" or starting with ";" or "[",
    // a section name with "]", empty names).
    bool WriteString(std::string_view Section, std::string_view Ident, std::string_view Value);
    bool WriteInteger(std::string_view Section, std::string_view Ident, long Value);
    bool WriteBool(std::string_view Section, std::string_view Ident, bool Value);

    // Key names of a section in file order.
    std::vector<std::string> ReadSection(std::string_view Section) const;
    // Section names in file order, each once.
    std::vector<std::string> ReadSections() const;
    void EraseSection(std::string_view Section);
    void DeleteKey(std::string_view Section, std::string_view Ident);
    bool SectionExists(std::string_view Section) const;
    bool ValueExists(std::string_view Section, std::string_view Ident) const;

    // Writes the file through a temporary file in the same folder, synced
    // and renamed over the old one (ReplaceFileContent). False when anything
    // failed; the old file is then unchanged, unless only the final folder
    // sync failed.
    bool UpdateFile(TFileSystem& Fs = TFileSystem::Posix());

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string Text;   // the line as read or as rebuilt, without its line end
        std::string Ending; // "\r\n", "\n", "\r" or "" for the last line
        Kind Type = Kind::Other;
        std::string Name;  // section or key name, trimmed
        std::string Value; // key value, trimmed and unquoted
    };

    void Parse(std::string_view Content);
    static Line MakeLine(std::string Text, std::string Ending);
    // Index of the first header of Section, or -1.
    long FindSection(std::string_view Section) const;
    // One past the last line of the section whose header is at Header.
    size_t SectionEnd(size_t Header) const;
    long FindKey(std::string_view Section, std::string_view Ident) const;
    const std::string& DefaultEnding() const;

    std::string fileName_;
    std::vector<Line> lines_;
    std::string bom_;
    std::string ending_ = "\n";
    bool readFailed_ = false;
};

// The values of the settings file FileName as one lookup, read once, now;
// a missing or unreadable file has no values. For readers that take a plain
// function instead of this class (the diagram fonts of the rules core).
std::function<bool(const std::string& Section, const std::string& Key, std::string& Value)>
IniValueReader(const std::string& FileName);

} // namespace kb
