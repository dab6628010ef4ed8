// SPDX-License-Identifier: GPL-3.0-or-later
#include "DatabaseFormat.h"

namespace kb {

std::string EscapeBytes(std::string_view Text) {
    std::string out;
    out.reserve(Text.size() + Text.size() / 16 + 2);
    for (const char c : Text) {
        if (c == '\0') {
            out += '\xFF';
            out += '\x06';
        } else if (c == '\xFF') {
            out += '\xFF';
            out += '\x05';
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeBytes(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c != '\xFF' || i + 1 == Text.size()) {
            out += c;
            continue;
        }
        ++i;
        out += Text[i] == '\x05' ? '\xFF' : '\0';
    }
    return out;
}

void PutInt64LE(char* Out, int64_t Value) {
    const auto v = static_cast<uint64_t>(Value);
    for (int i = 0; i < 8; ++i)
        Out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int64_t GetInt64LE(const char* In) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(In[i]);
    return static_cast<int64_t>(v);
}

std::string ExtractFileExt(const std::string& FileName) {
    const auto slash = FileName.find_last_of('/');
    const auto dot = FileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Ext) {
    const std::string ext = ExtractFileExt(FileName);
    return FileName.substr(0, FileName.size() - ext.size()) + Ext;
}

std::string UpperAscii(std::string_view Text) {
    std::string out(Text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

TDatabasePart DatabasePartOf(const std::string& FileName) {
    const std::string ext = UpperAscii(ExtractFileExt(FileName));
    if (ext == ".KBF") return TDatabasePart::Main;
    if (ext == ".KBFIDX") return TDatabasePart::Index;
    if (ext == ".KBFTMP") return TDatabasePart::Lock;
    return TDatabasePart::None;
}

} // namespace kb
