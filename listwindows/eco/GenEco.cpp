// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time generator of the ECO table: reads an ECO classification in PGN
// (one game per row with the tags ECO, Opening and Variation and the moves
// that define it), plays each line with our own PGN reader and writes a C++
// source with code, opening, variation and the FEN after the line.
//
//   kb_geneco ECO.PGN OUT.cpp
//
// The table must have the shape the classifier is built for; anything else
// fails the build instead of producing a table that classifies wrongly.
#include "Notation.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace kb;

namespace {

struct Row {
    std::string Code, Opening, Variation, FEN;
    int Line = 0; // in the input, for messages
};

struct Entry {
    std::string Text; // tags and movetext of one game
    int Line = 0;
};

std::vector<Entry> SplitEntries(std::istream& in) {
    std::vector<Entry> entries;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("[ECO ", 0) == 0) entries.push_back({"", number});
        // Text before the first entry is the file's comment.
        if (entries.empty()) continue;
        entries.back().Text += line;
        entries.back().Text += '\n';
    }
    return entries;
}

bool Fail(const std::string& message) {
    std::cerr << "kb_geneco: " << message << '\n';
    return false;
}

// Plays one entry and fills its row. The moves must all be legal and the
// line must end with "*" (every entry is a line, not a game).
bool MakeRow(TNotation& N, const Entry& E, Row& R) {
    R.Line = E.Line;
    std::istringstream in(E.Text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] != '[') continue;
        const std::string value = ExtractTagValue(line);
        if (line.rfind("[ECO ", 0) == 0) R.Code = value;
        if (line.rfind("[Opening ", 0) == 0) R.Opening = value;
        if (line.rfind("[Variation ", 0) == 0) R.Variation = value;
    }
    const std::string at = "entry at line " + std::to_string(E.Line);
    const std::string& c = R.Code;
    if (c.size() != 3 || c[0] < 'A' || c[0] > 'E' ||
        !std::isdigit(static_cast<unsigned char>(c[1])) ||
        !std::isdigit(static_cast<unsigned char>(c[2])))
        return Fail(at + ": bad code \"" + c + "\"");
    if (R.Opening.empty()) return Fail(at + ": no opening name");
    if (N.LoadPGN(E.Text) != 0 || !N.HasMoves()) return Fail(at + ": moves do not read");
    if (N.ActiveFischerInfo() || !HasStandardStart(N.GameData))
        return Fail(at + ": does not start from the standard position");
    N.WorkBoard = N.GameData.Stellung;
    TZug before = N.GameData.Zug;
    for (const TBaum* n = N.RootLine->Erster; n; n = n->Next) {
        TZug probe = n->Zug;
        probe.Side = before.Side;
        probe.CastlingRights = before.CastlingRights;
        probe.EnPassant = before.EnPassant;
        if (n->Variations || !IsLegalMove(N.WorkBoard, probe, nullptr))
            return Fail(at + ": illegal move or a variation in the line");
        N.WorkMove = n->Zug;
        N.DoMove();
        before = n->Zug;
    }
    R.FEN = StellungToFEN(N.WorkBoard, before, 1, false);
    return true;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        if (ch == '"' || ch == '\\') out += '\\';
        if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned char>(ch));
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + '"';
}

// The shape the classifier relies on: the row count, codes and names, the
// order, and two rows known by heart.
bool CheckTable(const std::vector<Row>& rows) {
    if (rows.size() != static_cast<size_t>(2014))
        return Fail("expected 2014 rows, found " + std::to_string(rows.size()));
    std::set<std::string> codes;
    for (size_t i = 0; i < rows.size(); ++i) {
        codes.insert(rows[i].Code);
        if (i > 0 && rows[i].Code < rows[i - 1].Code)
            return Fail("rows not ordered by code at line " + std::to_string(rows[i].Line));
    }
    if (codes.size() != 500)
        return Fail("expected 500 distinct codes, found " + std::to_string(codes.size()));
    size_t noVariation = 0;
    for (const Row& r : rows)
        noVariation += r.Variation.empty();
    if (noVariation != 368)
        return Fail("expected 368 rows without a variation name, found " +
                    std::to_string(noVariation));
    struct Known {
        size_t Index;
        Row Want;
    };
    const Known known[] = {
        {2,
         {"A00", "Polish", "Outflank variation",
          "rnbqkbnr/pp1ppppp/2p5/8/1P6/8/P1PPPPPP/RNBQKBNR w KQkq - 0 1"}},
        {100,
         {"A14", "English", "Neo-Catalan declined",
          "rnbqk2r/ppp1bppp/4pn2/3p4/2P5/5NP1/PP1PPPBP/RNBQ1RK1 b kq - 0 1"}},
    };
    for (const Known& k : known) {
        const Row& r = rows[k.Index];
        if (r.Code != k.Want.Code || r.Opening != k.Want.Opening ||
            r.Variation != k.Want.Variation || r.FEN != k.Want.FEN)
            return Fail("row " + std::to_string(k.Index) + " is " + r.Code + " / " + r.Opening +
                        " / " + r.Variation + " / " + r.FEN + ", expected " + k.Want.Code + " / " +
                        k.Want.Opening + " / " + k.Want.Variation + " / " + k.Want.FEN);
    }
    return true;
}

bool WriteSource(const std::vector<Row>& rows, const std::string& path) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "// SPDX-License-Identifier: GPL-3.0-or-later\n"
               "// Generated by kb_geneco from an ECO classification in PGN; not to be edited.\n"
               "#include \"uEco.h\"\n\n"
               "namespace kb {\n\n"
               "const std::array<TEcoRow, EcoRowCount> EcoTable{{\n";
        for (const Row& r : rows)
            out << "    {" << Quoted(r.Code) << ", " << Quoted(r.Opening) << ", "
                << Quoted(r.Variation) << ", " << Quoted(r.FEN) << "},\n";
        out << "}};\n\n} // namespace kb\n";
        out.flush();
        if (!out) {
            std::filesystem::remove(temp);
            return Fail("cannot write " + temp);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp);
        return Fail("cannot rename " + temp + " to " + path + ": " + ec.message());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: kb_geneco ECO.PGN OUT.cpp\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        Fail(std::string("cannot read ") + argv[1] +
             " (the ECO classification comes with the pgn-extract package)");
        return 1;
    }
    const std::vector<Entry> entries = SplitEntries(in);
    std::vector<Row> rows(entries.size());
    TNotation notation;
    for (size_t i = 0; i < entries.size(); ++i)
        if (!MakeRow(notation, entries[i], rows[i])) return 1;
    if (!CheckTable(rows) || !WriteSource(rows, argv[2])) return 1;
    return 0;
}
