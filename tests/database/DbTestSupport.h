// SPDX-License-Identifier: GPL-3.0-or-later
// The failing file system under its short names, and a few helpers over the
// database files.
#pragma once

#include "DatabaseFormat.h"
#include "FaultyFileSystem.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace dbtest {

using TFault = kb::TFault;
using TFaultyFs = kb::TFaultyFileSystem;

// Index file values, read straight from the file.
inline std::vector<int64_t> IndexValues(const std::string& Bytes) {
    std::vector<int64_t> v;
    for (size_t i = 0; i + 8 <= Bytes.size(); i += 8)
        v.push_back(kb::GetInt64LE(Bytes.data() + i));
    return v;
}

// Random payload bytes, 0x00 and 0xFF included, sometimes longer than a read block.
inline std::string RandomPayload(std::mt19937_64& Rng) {
    std::uniform_int_distribution<int> kind(0, 9);
    const int k = kind(Rng);
    size_t len = k < 6 ? Rng() % 200 : k < 9 ? 200 + Rng() % 2200 : 4000 + Rng() % 5000;
    std::string s(len, '\0');
    for (auto& c : s) {
        const int r = static_cast<int>(Rng() % 20);
        c = r == 0 ? '\0' : r == 1 ? '\xFF' : static_cast<char>(' ' + Rng() % 90);
    }
    return s;
}

} // namespace dbtest
