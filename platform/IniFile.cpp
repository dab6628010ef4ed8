// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniFile.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

bool WriteAll(int fd, const std::string& s) {
    const char* p = s.data();
    size_t left = s.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

IniFile::IniFile(std::string FileName) : FileName_(std::move(FileName)) {
    std::error_code ec;
    if (!fs::exists(FileName_, ec)) return;
    std::ifstream in(FileName_, std::ios::binary);
    std::ostringstream s;
    if (in) s << in.rdbuf();
    if (!in || in.bad() || fs::is_directory(FileName_, ec)) {
        ReadFailed_ = true;
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
        Bom_ = "\xEF\xBB\xBF";
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
            Ending_ = ending;
            endingSeen = true;
        }
        Lines_.push_back(MakeLine(std::string(Content.substr(start, i - start)), ending));
        start = next;
    }
}

const std::string& IniFile::DefaultEnding() const {
    return Ending_;
}

long IniFile::FindSection(std::string_view Section) const {
    const std::string_view name = Trim(Section);
    for (size_t i = 0; i < Lines_.size(); ++i)
        if (Lines_[i].Type == Kind::Section && SameName(Lines_[i].Name, name))
            return static_cast<long>(i);
    return -1;
}

size_t IniFile::SectionEnd(size_t Header) const {
    size_t i = Header + 1;
    while (i < Lines_.size() && Lines_[i].Type != Kind::Section)
        ++i;
    return i;
}

long IniFile::FindKey(std::string_view Section, std::string_view Ident) const {
    const long h = FindSection(Section);
    if (h < 0) return -1;
    const std::string_view key = Trim(Ident);
    const size_t end = SectionEnd(static_cast<size_t>(h));
    for (size_t i = static_cast<size_t>(h) + 1; i < end; ++i)
        if (Lines_[i].Type == Kind::Key && SameName(Lines_[i].Name, key))
            return static_cast<long>(i);
    return -1;
}

std::string IniFile::ReadString(std::string_view Section, std::string_view Ident,
                                std::string_view Default) const {
    const long k = FindKey(Section, Ident);
    return k < 0 ? std::string(Default) : Lines_[static_cast<size_t>(k)].Value;
}

long IniFile::ReadInteger(std::string_view Section, std::string_view Ident, long Default) const {
    const long k = FindKey(Section, Ident);
    if (k < 0) return Default;
    const std::string& v = Lines_[static_cast<size_t>(k)].Value;
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
        Line& l = Lines_[static_cast<size_t>(k)];
        if (l.Value == Value) return true;
        l.Text = l.Name + "=" + stored;
        l.Value = std::string(Value);
        return true;
    }
    Line nl = MakeLine(std::string(Trim(Ident)) + "=" + stored, DefaultEnding());
    long h = FindSection(Section);
    if (h < 0) {
        // A new section goes to the end, after a blank line.
        if (!Lines_.empty() && Lines_.back().Ending.empty()) Lines_.back().Ending = DefaultEnding();
        if (!Lines_.empty() && !Trim(Lines_.back().Text).empty())
            Lines_.push_back(MakeLine("", DefaultEnding()));
        Lines_.push_back(MakeLine("[" + std::string(Trim(Section)) + "]", DefaultEnding()));
        Lines_.push_back(std::move(nl));
        return true;
    }
    // After the section's last key or other content line, so that blank
    // lines and comments leading into the next section stay where they are.
    size_t at = static_cast<size_t>(h);
    const size_t end = SectionEnd(at);
    for (size_t i = at + 1; i < end; ++i) {
        const std::string_view t = Trim(Lines_[i].Text);
        if (!t.empty() && t.front() != ';') at = i;
    }
    if (Lines_[at].Ending.empty()) Lines_[at].Ending = DefaultEnding();
    Lines_.insert(Lines_.begin() + static_cast<long>(at) + 1, std::move(nl));
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
        if (Lines_[i].Type != Kind::Key) continue;
        bool seen = false;
        for (const std::string& k : keys)
            seen = seen || SameName(k, Lines_[i].Name);
        if (!seen) keys.push_back(Lines_[i].Name);
    }
    return keys;
}

std::vector<std::string> IniFile::ReadSections() const {
    std::vector<std::string> names;
    for (const Line& l : Lines_) {
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
        Lines_.erase(Lines_.begin() + h, Lines_.begin() + static_cast<long>(end));
    }
}

void IniFile::DeleteKey(std::string_view Section, std::string_view Ident) {
    for (long k = FindKey(Section, Ident); k >= 0; k = FindKey(Section, Ident))
        Lines_.erase(Lines_.begin() + k);
}

bool IniFile::SectionExists(std::string_view Section) const {
    return FindSection(Section) >= 0;
}

bool IniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
    return FindKey(Section, Ident) >= 0;
}

bool IniFile::UpdateFile() {
    if (FileName_.empty()) return false;
    std::error_code ec;
    // Write through a symbolic link to the file it names.
    fs::path target = FileName_;
    if (fs::is_symlink(target, ec)) {
        const fs::path real = fs::weakly_canonical(target, ec);
        if (ec) return false;
        target = real;
    }
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";

    std::string content = Bom_;
    for (const Line& l : Lines_)
        content += l.Text + l.Ending;

    // A fresh name beside the file, created with the usual permissions
    // (or those of the file it replaces).
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (folder / (target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                          std::to_string(attempt)))
                   .string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = true;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, content);
    ok = ok && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

} // namespace kb
