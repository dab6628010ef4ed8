// SPDX-License-Identifier: GPL-3.0-or-later
// The tactics trainer: its menu, the drawing of puzzles and the filter.
#include "Tactics.h"

#include "Local.h"
#include "Main.h"

#include "PGN.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <unistd.h>

const TTacticTheme TacticThemes[10] = {
    {"BeliebigesThema1", "Beliebiges Thema", 217, "0"},
    {"BeseitigungderVerteidigung1", "Beseitigung der Verteidigung", 218, "Z"},
    {"Ablenkung1", "Ablenkung", 219, "A"},
    {"Hinlenkung1", "Hinlenkung", 220, "H"},
    {"Rumung1", "Räumung", 221, "R"},
    {"Fesselung1", "Fesselung", 222, "F"},
    {"Unterbrechung1", "Unterbrechung", 223, "U"},
    {"Bauernumwandlung1", "Bauernumwandlung", 224, "W"},
    {"Remiskombinationen1", "Remiskombinationen", 225, "P"},
    {"Verschiedenes1", "Verschiedenes", 226, "X"},
};

const TTacticLevel TacticLevels[4] = {
    {"Beliebige Schwierigkeit", 213},
    {"Leicht", 214},
    {"Mittel", 215},
    {"Schwer", 216},
};

void SplitTacticTag(int Tag, int& Theme, int& Level) {
    const QString digits = QString::number(Tag);
    if (digits.size() == 1) {
        Theme = 0;
        Level = digits[0].digitValue();
    } else {
        Theme = digits[0].digitValue();
        Level = digits[1].digitValue();
    }
}

bool TacticMatches(const std::string& Annotator, const QString& ThemeCode,
                   const QString& LevelCode) {
    auto has = [&Annotator](const char* S) { return Annotator.find(S) != std::string::npos; };
    if (ThemeCode != "0" && !has(ThemeCode.toStdString().c_str())) return false;
    if (LevelCode == "0") return true;
    if (LevelCode == "1") return has("1") || has("2");
    if (LevelCode == "2") return has("3");
    if (LevelCode == "3") return has("4") || has("5");
    return false;
}

std::vector<int> DrawTacticPicks(int Rows, const std::function<int(int)>& Random) {
    std::vector<int> picks;
    if (Rows <= 0) return picks;
    auto taken = [&picks](int r) {
        return std::find(picks.begin(), picks.end(), r) != picks.end();
    };
    for (int turn = 0; turn < 10; ++turn) {
        const int r = Random(Rows);
        if (!taken(r)) {
            picks.push_back(r);
            continue;
        }
        // A repeat takes the first row still free instead.
        int j = 0;
        while (j < Rows && taken(j))
            ++j;
        if (j < Rows) picks.push_back(j);
        if (j >= Rows - 1) break;
    }
    return picks;
}

std::optional<uint32_t>& TacticSeed() {
    static std::optional<uint32_t> seed;
    return seed;
}

QString TacticsFile(const QString& ProgramDir) {
    const QString pgn = ProgramDir + "t1.pgn";
    const QString kom = ProgramDir + "t1.kom";
    if (!QFileInfo::exists(pgn) && QFileInfo::exists(kom)) {
        // Linking cannot replace a file that appeared meanwhile; then the old name goes.
        const QByteArray from = QFile::encodeName(kom), to = QFile::encodeName(pgn);
        if (::link(from.constData(), to.constData()) == 0)
            ::unlink(from.constData());
        else if (errno != EEXIST)
            QFile::rename(kom, pgn); // QFile never replaces either
    }
    return QFileInfo::exists(pgn) ? pgn : QString();
}

// === the frame's part =======================================================

void TMainForm::BuildTacticsMenu() {
    tacticPGN->OnFilterRequest = [this](kb::TPGN* Sender, const kb::TEventData& Header,
                                        bool& Show) {
        tacticPGNFilterRequest(Sender, Header, Show);
    };
    // The trainer reads its file and never makes one.
    tacticPGN->BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) {
        Create = false;
    };
    tacticPGN->OnPGNTrace = [this](kb::TPGN* Sender, int Percent, kb::TCancelMode& Mode) {
        PGNTrace(Sender, Percent, Mode);
    };
    for (int t = 0; t < 10; ++t) {
        const TTacticTheme& theme = TacticThemes[t];
        QMenu* sub = mKombis->addMenu(QString::fromUtf8(theme.German));
        sub->setObjectName(theme.Name);
        RegisterCaption(sub->menuAction(), theme.TextNumber);
        for (int l = 0; l < 4; ++l) {
            auto* item = sub->addAction(QString::fromUtf8(TacticLevels[l].German));
            item->setObjectName(QString("%1_%2").arg(theme.Name).arg(l + 1));
            item->setData(t * 10 + l + 1);
            RegisterCaption(item, TacticLevels[l].TextNumber);
            connect(item, &QAction::triggered, this,
                    [this, item] { BeliebigeSchwierigkeit1Click(item); });
            if (l == 0) sub->addSeparator();
        }
    }
}

void TMainForm::BeliebigeSchwierigkeit1Click(QObject* Sender) {
    if (Busy() || tacticPGN->Busy()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore {
        ~TRestore() { QApplication::restoreOverrideCursor(); }
    } restore;

    if (tacticPGN->FileName().empty()) {
        const QString file = TacticsFile(ProgramDir);
        StopRequested = false;
        if (!file.isEmpty()) tacticPGN->SetFileName(file.toStdString());
    }
    if (tacticPGN->FileName().empty()) return;

    int theme = 0, level = 0;
    if (auto* a = qobject_cast<QAction*>(Sender)) SplitTacticTag(a->data().toInt(), theme, level);
    if (theme >= 0 && theme <= 9) ThemeCode = TacticThemes[theme].Letter;
    if (level >= 1 && level <= 4) LevelCode = QString::number(level - 1);

    tacticPGN->ApplyFilter();

    TacticPicks.clear();
    const uint32_t seed = TacticSeed().value_or(
        static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::mt19937 random(seed);
    TacticPicks = DrawTacticPicks(tacticPGN->ItemCount(), [&random](int n) {
        return std::uniform_int_distribution<int>(0, n - 1)(random);
    });
    if (TacticPicks.empty()) return;

    const int index = tacticPGN->GameIndex(TacticPicks.front());
    int gameNo = -1;
    std::string text;
    tacticPGN->GetGame(index, gameNo, text);
    if (text.empty()) return;
    mKombis->setEnabled(false);
    // The window finds its place among the picks by this game's index.
    OpenBoardWindow(tacticPGN, text, index, false);
    const auto boards = BoardWindows();
    const bool opened = std::any_of(boards.begin(), boards.end(), [this](TBoardWindowIntf* b) {
        return b->SourcePGN() == tacticPGN;
    });
    // Only an open training window enables the menu again when it closes.
    if (!opened) mKombis->setEnabled(true);
}

void TMainForm::tacticPGNFilterRequest(kb::TPGN* Sender, const kb::TEventData& GameHeader,
                                       bool& ShowThisGame) {
    Q_UNUSED(Sender);
    if (!TacticMatches(GameHeader.Annotator, ThemeCode, LevelCode)) ShowThisGame = false;
}
