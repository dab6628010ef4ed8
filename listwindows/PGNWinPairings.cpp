// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinPairings.h"

#include <algorithm>
#include <array>

namespace kb {

namespace {

constexpr int kRounds = 51;

std::string EloText(uint16_t Elo) {
    return Elo == 0 ? std::string(" ") : std::to_string(Elo);
}

std::string ResultText(const std::string& Result, const std::string& DrawText) {
    if (Result == "1/2-1/2") return DrawText;
    if (Result == "*") return " ";
    return Result;
}

} // namespace

std::string HtmlEscape(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (char c : Text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string PairingTable(const std::vector<TEventData>& Games, bool Html,
                         const std::string& DrawText) {
    // Per round the games with their Elo sum as text.
    std::array<std::vector<std::pair<std::string, const TEventData*>>, kRounds> rounds;
    for (const auto& g : Games)
        if (g.Round < kRounds)
            rounds[g.Round].emplace_back(std::to_string(g.WhiteElo + g.BlackElo), &g);

    std::string out;
    for (int r = 0; r < kRounds; ++r) {
        auto& games = rounds[static_cast<size_t>(r)];
        if (games.empty()) continue;
        // Highest key first, compared as text; equal keys in list order.
        std::stable_sort(games.begin(), games.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        if (Html) {
            if (r != 0) out += "<b>Runde " + std::to_string(r) + "</b><br>";
            out += "<table>";
        } else if (r != 0) {
            out += "Runde " + std::to_string(r) + "\r\n\r\n";
        }
        for (const auto& [key, g] : games) {
            const std::string result = ResultText(g->Result, DrawText);
            if (Html) {
                out += "<tr><td>" + HtmlEscape(g->White) + "</td><td>" + EloText(g->WhiteElo) +
                       "</td><td>-</td><td>" + HtmlEscape(g->Black) + "</td><td>" +
                       EloText(g->BlackElo) + "</td><td>" + HtmlEscape(result) + "</td></tr>";
            } else {
                out += g->White + " " + EloText(g->WhiteElo) + " - " + g->Black + " " +
                       EloText(g->BlackElo) + " " + result + "\r\n";
            }
        }
        // Every table is closed, the last round's too.
        if (Html)
            out += "</table><br>";
        else if (r < kRounds - 1)
            out += "\r\n";
    }
    return out;
}

} // namespace kb
