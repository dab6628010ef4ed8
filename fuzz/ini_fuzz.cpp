// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file reader on any bytes: every key reads as text and as a
// number without undefined behaviour; a file written back reads the same;
// a value written reads back as written, also after the file is saved.
// Input: the file, optionally followed by 0x00 and "section\x01key\x01value".
#include "IniFile.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* What, const std::string& Detail) {
    std::fprintf(stderr, "%s: %s\n", What, Detail.c_str());
    __builtin_trap();
}

const std::string& TempName() {
    static const std::string name =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/kb-ini-fuzz-" +
        std::to_string(::getpid()) + ".ini";
    return name;
}

void WriteAll(const std::string& Bytes) {
    FILE* f = std::fopen(TempName().c_str(), "wb");
    if (!f) Fail("cannot write", TempName());
    std::fwrite(Bytes.data(), 1, Bytes.size(), f);
    std::fclose(f);
}

// Every section with its keys and their values, in file order.
std::vector<std::string> Dump(const kb::IniFile& Ini) {
    std::vector<std::string> out;
    for (const std::string& s : Ini.ReadSections()) {
        out.push_back("[" + s + "]");
        for (const std::string& k : Ini.ReadSection(s)) {
            const long n = Ini.ReadInteger(s, k, -7);
            out.push_back(k + "=" + Ini.ReadString(s, k, "\x01") + " " + std::to_string(n) +
                          (Ini.ReadBool(s, k, false) ? " t" : " f"));
        }
    }
    return out;
}

std::vector<std::string> Split(const std::string& Text, char By) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = Text.find(By, from)) != std::string::npos; from = at + 1)
        parts.push_back(Text.substr(from, at - from));
    parts.push_back(Text.substr(from));
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size > 64 * 1024) return 0;
    const std::string input(reinterpret_cast<const char*>(Data), Size);
    const size_t nul = input.find('\0');
    WriteAll(input.substr(0, nul));

    kb::IniFile ini(TempName());
    const std::vector<std::string> before = Dump(ini);
    // Saved unchanged, the file reads the same.
    if (!ini.UpdateFile()) Fail("cannot save", TempName());
    if (Dump(kb::IniFile(TempName())) != before) Fail("saved unchanged, reads otherwise", "");

    if (nul != std::string::npos) {
        const std::vector<std::string> w = Split(input.substr(nul + 1), '\x01');
        if (w.size() == 3 && ini.WriteString(w[0], w[1], w[2])) {
            if (ini.ReadString(w[0], w[1], "\x02") != w[2])
                Fail("written value reads otherwise", w[2]);
            if (!ini.UpdateFile()) Fail("cannot save", TempName());
            const kb::IniFile saved(TempName());
            if (saved.ReadString(w[0], w[1], "\x02") != w[2])
                Fail("saved value reads otherwise", w[2]);
        }
    }
    std::remove(TempName().c_str());
    return 0;
}
