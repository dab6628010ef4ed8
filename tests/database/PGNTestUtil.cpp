// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNTestUtil.h"

#include <algorithm>

namespace pgntest {

std::vector<int64_t> PlainStarts(const std::string& Bytes) {
    std::vector<int64_t> starts;
    const std::string first = "[Event ";
    size_t p = Bytes.find(first);
    if (p == std::string::npos) return starts;
    starts.push_back(static_cast<int64_t>(p));
    // A line starts after LF, CR LF or a lone CR, and a byte order mark at
    // its start is not part of the game.
    for (const std::string& lead : {std::string(), std::string("\xEF\xBB\xBF")}) {
        const std::string tag = lead + first;
        for (size_t i = p + 1; i + 1 + tag.size() <= Bytes.size(); ++i) {
            if ((Bytes[i] == '\n' || Bytes[i] == '\r') &&
                Bytes.compare(i + 1, tag.size(), tag) == 0)
                starts.push_back(static_cast<int64_t>(i + 1 + lead.size()));
        }
    }
    std::sort(starts.begin(), starts.end());
    return starts;
}

std::string MakeGame(int Id, size_t Length, std::mt19937& Rng) {
    std::string g = "[Event \"Event " + std::to_string(Id % 7) + "\"]\r\n";
    g += "[Site \"Town\"]\r\n";
    g += "[White \"Player " + std::to_string(Id) + "\"]\r\n";
    g += "[Black \"Other " + std::to_string(Id * 7 % 13) + "\"]\r\n";
    g += "[Result \"1-0\"]\r\n";
    g += "[WhiteElo \"" + std::to_string(900 + Id * 37 % 1500) + "\"]\r\n\r\n";
    static const char* moves[] = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O"};
    int n = 1;
    size_t lineLen = 0;
    while (g.size() + 6 < Length) {
        std::string m =
            std::to_string(n++) + ". " + moves[Rng() % 9] + " " + moves[Rng() % 9] + " ";
        g += m;
        lineLen += m.size();
        if (lineLen > 70) {
            g += "\r\n";
            lineLen = 0;
        }
    }
    g += "1-0";
    return g;
}

std::vector<kb::TPGNGameRecord> Records(const kb::TPGN& P) {
    std::vector<kb::TPGNGameRecord> r;
    for (int i = 0; i < P.RecordCount(); ++i)
        r.push_back(P.Record(i));
    return r;
}

std::vector<int64_t> FreshStarts(const std::filesystem::path& File) {
    kb::TPGN p;
    std::vector<int64_t> s;
    if (!p.SetFileName(File.string())) return {-1};
    for (int i = 0; i < p.RecordCount(); ++i)
        s.push_back(p.Record(i).Start);
    return s;
}

std::vector<int> RowGameNos(const kb::TPGN& P) {
    std::vector<int> v;
    for (int r = 0; r < P.ItemCount(); ++r)
        v.push_back(P.Record(P.GameIndex(r)).GameNo);
    return v;
}

std::vector<std::string> OtherFiles(const std::filesystem::path& Dir, const std::string& Keep) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir))
        if (e.path().filename() != Keep) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace pgntest
