// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniFile.h"

#include "FileIO.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kb {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view t) {
    while (!t.empty() && IsBlank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && IsBlank(t.back()))
        t.remove_suffix(1);
    return t;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool HasLineBreak(std::string_view t) {
    return t.find_first_of("\r\n") != std::string_view::npos;
}

bool ValidSectionName(std::string_view s) {
    s = Trim(s);
    return !s.empty() && !HasLineBreak(s) && s.find(']') == std::string_view::npos;
}

bool ValidKeyName(std::string_view k) {
    k = Trim(k);
    return !k.empty() && !HasLineBreak(k) && k.find('=') == std::string_view::npos &&
           k.front() != ';' && k.front() != '[';
}

// The text to write so that reading gives Value back exactly: values that
// would lose blanks or a pair of quotes are quoted.
std::string StoredValue(std::string_view Value) {
    const bool edgeBlank = !Value.empty() && (IsBlank(Value.front()) || IsBlank(Value.back()));
    const bool quoted = Value.size() >= 2 && Value.front() == '"' && Value.back() == '"';
    if (edgeBlank || quoted) return "\"" + std::string(Value) + "\"";
    return std::string(Value);
}

} // namespace

IniFile::IniFile(std::string FileName) : fileName_(std::move(FileName)) {
    std::error_code ec;
    if (!fs::exists(fileName_, ec)) return;
    std::ifstream in(fileName_, std::ios::binary);
    std::ostringstream s;
    if (in) s << in.rdbuf();
    if (!in || in.bad() || fs::is_directory(fileName_, ec)) {
        readFailed_ = true;
        return;
    }
    Parse(s.str());
}

IniFile::Line IniFile::MakeLine(std::string Text, std::string Ending) {
    Line l;
    l.Text = std::move(Text);
    l.Ending = std::move(Ending);
    const std::string_view t = Trim(l.Text);
    if (t.empty() || t.front() == ';') return l;
    if (t.front() == '[') {
        const size_t close = t.find(']');
        if (close != std::string_view::npos) {
            l.Type = Kind::Section;
            l.Name = std::string(Trim(t.substr(1, close - 1)));
        }
        return l;
    }
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) return l;
    const std::string_view key = Trim(t.substr(0, eq));
    if (key.empty()) return l;
    std::string_view value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    l.Type = Kind::Key;
    l.Name = std::string(key);
    l.Value = std::string(value);
    return l;
}

void IniFile::Parse(std::string_view Content) {
    if (Content.substr(0, 3) == "\xEF\xBB\xBF") {
        bom_ = "\xEF\xBB\xBF";
        Content.remove_prefix(3);
    }
    bool endingSeen = false;
    size_t start = 0;
    while (start < Content.size()) {
        size_t i = Content.find_first_of("\r\n", start);
        std::string ending;
        size_t next;
        if (i == std::string_view::npos) {
            i = Content.size();
            next = i;
        } else if (Content[i] == '\r' && i + 1 < Content.size() && Content[i + 1] == '\n') {
            ending = "\r\n";
            next = i + 2;
        } else {
            ending = std::string(1, Content[i]);
            next = i + 1;
        }
        if (!endingSeen && !ending.empty()) {
            ending_ = ending;
            endingSeen = true;
        }
        lines_.push_back(MakeLine(std::string(Content.substr(start, i - start)), ending));
        start = next;
    }
}

const std::string& IniFile::DefaultEnding() const {
    return ending_;
}

long IniFile::FindSection(std::string_view Section) const {
    const std::string_view name = Trim(Section);
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].Type == Kind::Section && SameName(lines_[i].Name, name))
            return static_cast<long>(i);
    return -1;
}

size_t IniFile::SectionEnd(size_t Header) const {
    size_t i = Header + 1;
    while (i < lines_.size() && lines_[i].Type != Kind::Section)
        ++i;
    return i;
}

long IniFile::FindKey(std::string_view Section, std::string_view Ident) const {
    const long h = FindSection(Section);
    if (h < 0) return -1;
    const std::string_view key = Trim(Ident);
    const size_t end = SectionEnd(static_cast<size_t>(h));
    for (size_t i = static_cast<size_t>(h) + 1; i < end; ++i)
        if (lines_[i].Type == Kind::Key && SameName(lines_[i].Name, key))
            return static_cast<long>(i);
    return -1;
}

std::string IniFile::ReadString(std::string_view Section, std::string_view Ident,
                                std::string_view Default) const {
    const long k = FindKey(Section, Ident);
    return k < 0 ? std::string(Default) : lines_[static_cast<size_t>(k)].Value;
}

long IniFile::ReadInteger(std::string_view Section, std::string_view Ident, long Default) const {
    const long k = FindKey(Section, Ident);
    if (k < 0) return Default;
    const std::string& v = lines_[static_cast<size_t>(k)].Value;
    if (v.empty()) return Default;
    std::string digits = v;
    int base = 10;
    size_t signLen = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    if (digits.compare(signLen, 2, "0x") == 0 || digits.compare(signLen, 2, "0X") == 0) {
        base = 16;
        digits.erase(signLen, 2);
    } else if (digits.compare(signLen, 1, "$") == 0) {
        base = 16;
        digits.erase(signLen, 1);
    }
    if (digits.size() == signLen) return Default;
    for (size_t i = signLen; i < digits.size(); ++i) {
        const char c = digits[i];
        const bool ok =
            base == 10 ? (c >= '0' && c <= '9') : std::isxdigit(static_cast<unsigned char>(c));
        if (!ok) return Default;
    }
    errno = 0;
    const long r = std::strtol(digits.c_str(), nullptr, base);
    if (errno == ERANGE) return Default;
    return r;
}

bool IniFile::ReadBool(std::string_view Section, std::string_view Ident, bool Default) const {
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

bool IniFile::WriteString(std::string_view Section, std::string_view Ident,
                          std::string_view Value) {
    if (!ValidSectionName(Section) || !ValidKeyName(Ident) || HasLineBreak(Value)) return false;
    const std::string stored = StoredValue(Value);
    const long k = FindKey(Section, Ident);
    if (k >= 0) {
        Line& l = lines_[static_cast<size_t>(k)];
        if (l.Value == Value) return true;
        l.Text = l.Name + "=" + stored;
        l.Value = std::string(Value);
        return true;
    }
    Line nl = MakeLine(std::string(Trim(Ident)) + "=" + stored, DefaultEnding());
    long h = FindSection(Section);
    if (h < 0) {
        // A new section goes to the end, after a blank line.
        if (!lines_.empty() && lines_.back().Ending.empty()) lines_.back().Ending = DefaultEnding();
        if (!lines_.empty() && !Trim(lines_.back().Text).empty())
            lines_.push_back(MakeLine("", DefaultEnding()));
        lines_.push_back(MakeLine("[" + std::string(Trim(Section)) + "]", DefaultEnding()));
        lines_.push_back(std::move(nl));
        return true;
    }
    // After the section's last key or other content line, so that blank
    // lines and comments leading into the next section stay where they are.
    size_t at = static_cast<size_t>(h);
    const size_t end = SectionEnd(at);
    for (size_t i = at + 1; i < end; ++i) {
        const std::string_view t = Trim(lines_[i].Text);
        if (!t.empty() && t.front() != ';') at = i;
    }
    if (lines_[at].Ending.empty()) lines_[at].Ending = DefaultEnding();
    lines_.insert(lines_.begin() + static_cast<long>(at) + 1, std::move(nl));
    return true;
}

bool IniFile::WriteInteger(std::string_view Section, std::string_view Ident, long Value) {
    return WriteString(Section, Ident, std::to_string(Value));
}

bool IniFile::WriteBool(std::string_view Section, std::string_view Ident, bool Value) {
    return WriteString(Section, Ident, Value ? "1" : "0");
}

std::vector<std::string> IniFile::ReadSection(std::string_view Section) const {
    std::vector<std::string> keys;
    const long h = FindSection(Section);
    if (h < 0) return keys;
    const size_t end = SectionEnd(static_cast<size_t>(h));
    for (size_t i = static_cast<size_t>(h) + 1; i < end; ++i) {
        if (lines_[i].Type != Kind::Key) continue;
        bool seen = false;
        for (const std::string& k : keys)
            seen = seen || SameName(k, lines_[i].Name);
        if (!seen) keys.push_back(lines_[i].Name);
    }
    return keys;
}

std::vector<std::string> IniFile::ReadSections() const {
    std::vector<std::string> names;
    for (const Line& l : lines_) {
        if (l.Type != Kind::Section) continue;
        bool seen = false;
        for (const std::string& n : names)
            seen = seen || SameName(n, l.Name);
        if (!seen) names.push_back(l.Name);
    }
    return names;
}

void IniFile::EraseSection(std::string_view Section) {
    for (long h = FindSection(Section); h >= 0; h = FindSection(Section)) {
        const size_t end = SectionEnd(static_cast<size_t>(h));
        lines_.erase(lines_.begin() + h, lines_.begin() + static_cast<long>(end));
    }
}

void IniFile::DeleteKey(std::string_view Section, std::string_view Ident) {
    for (long k = FindKey(Section, Ident); k >= 0; k = FindKey(Section, Ident))
        lines_.erase(lines_.begin() + k);
}

bool IniFile::SectionExists(std::string_view Section) const {
    return FindSection(Section) >= 0;
}

bool IniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
    return FindKey(Section, Ident) >= 0;
}

bool IniFile::UpdateFile(TFileSystem& Fs) {
    std::string content = bom_;
    for (const Line& l : lines_)
        content += l.Text + l.Ending;
    return ReplaceFileContent(Fs, fileName_, content);
}

std::function<bool(const std::string&, const std::string&, std::string&)>
IniValueReader(const std::string& FileName) {
    auto ini = std::make_shared<const IniFile>(FileName);
    if (FileName.empty() || ini->ReadFailed()) ini.reset();
    return [ini](const std::string& Section, const std::string& Key, std::string& Value) {
        if (!ini || !ini->ValueExists(Section, Key)) return false;
        Value = ini->ReadString(Section, Key, "");
        return true;
    };
}

} // namespace kb
