// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinTestUtil.h"

#include "Local.h"
#include "TestSupport.h"

#include <QItemSelectionModel>

#include <regex>

namespace kbtest {

THostScope::THostScope() {
    kb::ResetListHost();
    ResetStringTable();
    TAnswerer a;
    a.Message = [this](const TMessageRequest& R) {
        const kb::TLwMsgType type = R.DlgType == mtWarning       ? kb::TLwMsgType::Warning
                                    : R.DlgType == mtError       ? kb::TLwMsgType::Error
                                    : R.DlgType == mtInformation ? kb::TLwMsgType::Information
                                                                 : kb::TLwMsgType::Confirmation;
        // The dialog shows the table's carriage returns as line feeds.
        Messages.push_back({type, QString(R.Msg).replace(QLatin1Char('\n'), QLatin1Char('\r'))});
        int answer = kb::lbYes;
        if (!Answers.empty()) {
            answer = Answers.front();
            Answers.pop_front();
        }
        return answer == kb::lbYes  ? mrYes
               : answer == kb::lbNo ? mrNo
               : answer == kb::lbOK ? mrOk
                                    : mrCancel;
    };
    a.InputText = [this](const QString&, const QString&, const QString&) -> std::optional<QString> {
        if (Inputs.empty() || !Inputs.front().has_value()) {
            if (!Inputs.empty()) Inputs.pop_front();
            return std::nullopt;
        }
        const QString v = *Inputs.front();
        Inputs.pop_front();
        return v;
    };
    answers_ = std::make_unique<TAnswererScope>(a);
}

THostScope::~THostScope() {
    kb::ResetListHost();
    ResetStringTable();
}

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::vector<std::string> SplitGames(const std::string& Bytes) {
    std::vector<std::string> games;
    size_t start = std::string::npos;
    size_t pos = 0;
    while (pos <= Bytes.size()) {
        const bool lineStart = pos == 0 || Bytes[pos - 1] == '\n';
        if (lineStart && Bytes.compare(pos, 7, "[Event ") == 0) {
            if (start != std::string::npos) games.push_back(Trim(Bytes.substr(start, pos - start)));
            start = pos;
        }
        const size_t nl = Bytes.find('\n', pos);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    if (start != std::string::npos) games.push_back(Trim(Bytes.substr(start)));
    return games;
}

std::vector<std::string> GamesOfFile(const std::filesystem::path& File) {
    return SplitGames(ReadFile(File));
}

std::filesystem::path WriteGames(const std::filesystem::path& File,
                                 const std::vector<std::string>& Games, int From, int To) {
    std::string text;
    for (int i = From; i < To; ++i)
        text += Games[static_cast<size_t>(i)] + "\r\n\r\n";
    WriteFile(File, text);
    return File;
}

std::map<std::string, std::string> TagsOf(const std::string& Game) {
    static const std::regex tag(R"(^\s*\[(\w+)\s+\"(.*)\"\s*\]\s*$)");
    std::map<std::string, std::string> tags;
    size_t pos = 0;
    while (pos < Game.size()) {
        size_t nl = Game.find('\n', pos);
        std::string line = Game.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::smatch m;
        if (!std::regex_match(line, m, tag)) break;
        tags[m[1]] = m[2];
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return tags;
}

std::string MovesOf(const std::string& Game) {
    std::string moves;
    size_t pos = 0;
    bool inTags = true;
    while (pos < Game.size()) {
        size_t nl = Game.find('\n', pos);
        std::string line =
            Trim(Game.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (inTags && !line.empty() && line[0] == '[') {
        } else {
            inTags = false;
            if (!line.empty()) moves += (moves.empty() ? "" : " ") + line;
        }
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return moves;
}

std::unique_ptr<kb::TMDIPGN> OpenWindow(const std::filesystem::path& File) {
    auto w = std::make_unique<kb::TMDIPGN>();
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->OpenFile(QString::fromStdString(File.string()));
    return w;
}

std::vector<std::map<std::string, std::string>> ShownTags(kb::TMDIPGN& W) {
    std::vector<std::map<std::string, std::string>> out;
    kb::TPGN& pgn = *W.PGN();
    for (int r = 0; r < pgn.ItemCount(); ++r) {
        bool deleted = false;
        std::string text;
        pgn.ReadGameText(pgn.GameIndex(r), deleted, text);
        out.push_back(TagsOf(text));
    }
    return out;
}

void SelectRows(kb::TMDIPGN& W, const std::vector<int>& Rows) {
    W.PGN1->clearSelection();
    for (int r : Rows)
        W.PGN1->SetSelected(r, true);
}

} // namespace kbtest
