// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIPGN: filter, sort, delete, compress, drop, ECO run, printing and the
// pairing tables.
#include "Brett.h"
#include "ChessDatabase.h"
#include "IniFile.h"
#include "NotationWidgetText.h"
#include "PGNWin.h"
#include "PGNWinEco.h"
#include "PGNWinPairings.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <chrono>
#include <memory>

namespace kb {

// One long operation: the windows disabled, the board threads paused and
// the stop flag cleared; everything put back however the work ends.
class TMDIPGN::TLongWork {
public:
    explicit TLongWork(std::initializer_list<QWidget*> Windows) {
        for (QWidget* w : Windows) {
            if (!w) continue;
            windows_.push_back(w);
            w->setEnabled(false);
        }
        ListHost().LockBoards(true);
        ListHost().SetStopRequested(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TLongWork() {
        QApplication::restoreOverrideCursor();
        for (auto& w : windows_)
            if (w) w->setEnabled(true);
        ListHost().LockBoards(false);
    }
    TLongWork(const TLongWork&) = delete;
    TLongWork& operator=(const TLongWork&) = delete;

private:
    std::vector<QPointer<QWidget>> windows_;
};

namespace {

QString Upper(const std::string& S) {
    return DecodeGameText(S).toUpper();
}

} // namespace

// --- filter -----------------------------------------------------------------

void TMDIPGN::sbFilterClick() {
    FilterBox->setVisible(sbFilter->isChecked());
    // The list follows the button: the panel's filter while it is down,
    // every game while it is up.
    if (sbFilter->isChecked() ? FilterCriteria() : listFiltered_) bFilterClick();
}

bool TMDIPGN::FilterCriteria() const {
    return !eSpieler->text().trimmed().isEmpty() || !eEreignis->text().trimmed().isEmpty() ||
           !eECO->text().trimmed().isEmpty() || cbGewinn->isChecked() || cbRemis->isChecked() ||
           cbVerlust->isChecked() || cbZeitraum->isChecked() || cbPosition->isChecked() ||
           (cbMaterial->isChecked() && !MaterialFilter.IsEmpty());
}

void TMDIPGN::ListReread() {
    // Reading the file anew lists every game.
    listFiltered_ = false;
    if (sbFilter->isChecked() && FilterCriteria()) bFilterClick();
}

void TMDIPGN::bEmptyClick() {
    eSpieler->clear();
    eEreignis->clear();
    eECO->clear();
    rbBeide->setChecked(true);
    for (QCheckBox* c : {cbZeitraum, cbGewinn, cbRemis, cbVerlust, cbPosition, cbMaterial})
        c->setChecked(false);
}

void TMDIPGN::cbPositionClick() {
    if (cbPosition->isChecked()) SearchBrett->Aufbauen(true);
}

void TMDIPGN::cbMaterialClick() {
    if (!cbMaterial->isChecked() || !MaterialDialog()) return;
    TPiecesFilter edited = MaterialFilter;
    if (MaterialDialog()(this, edited)) MaterialFilter = edited;
}

void TMDIPGN::bFilterClick() {
    TPGN& pgn = PGN1->PGN();
    TLongWork work({this});
    ListHost().Log(QStringLiteral("Filtern"));
    if (cbPosition->isChecked()) {
        TSchachbrett b;
        SearchBrett->GetStellung(b);
        hNotation->SetSearchPosition(b);
    }
    listFiltered_ = sbFilter->isChecked() && FilterCriteria();
    if (!listFiltered_) {
        // Every game shows: no header needs reading.
        pgn.NoFilter = true;
        auto request = std::move(pgn.OnFilterRequest);
        pgn.OnFilterRequest = nullptr;
        pgn.ApplyFilter();
        pgn.OnFilterRequest = std::move(request);
        pgn.NoFilter = false;
    } else {
        pgn.ApplyFilter();
    }
}

void TMDIPGN::PGN1FilterRequest(const TEventData& H, bool& ShowThisGame) {
    if (!sbFilter->isChecked()) return;
    // Blanks around a pattern are no part of it (a trailing blank would hide
    // every game).
    const QString player = eSpieler->text().trimmed().toUpper();
    if (!player.isEmpty()) {
        const bool white = Upper(H.White).contains(player);
        const bool black = Upper(H.Black).contains(player);
        if (rbWeiss->isChecked() ? !white : rbSchwarz->isChecked() ? !black : !(white || black)) {
            ShowThisGame = false;
            return;
        }
    }
    const QString event = eEreignis->text().trimmed().toUpper();
    if (!event.isEmpty() && !Upper(H.Event).contains(event) && !Upper(H.Site).contains(event) &&
        !Upper(H.Annotator).contains(event)) {
        ShowThisGame = false;
        return;
    }
    const QString eco = eECO->text().trimmed().toUpper();
    if (!eco.isEmpty() && !Upper(H.ECO).contains(eco)) {
        ShowThisGame = false;
        return;
    }
    if (cbZeitraum->isChecked() && (H.Year < seAYear->value() || H.Year > seEYear->value())) {
        ShowThisGame = false;
        return;
    }
    if (cbGewinn->isChecked() || cbRemis->isChecked() || cbVerlust->isChecked()) {
        const bool ok = (cbGewinn->isChecked() && H.Result == "1-0") ||
                        (cbRemis->isChecked() && H.Result == "1/2-1/2") ||
                        (cbVerlust->isChecked() && H.Result == "0-1");
        if (!ok) {
            ShowThisGame = false;
            return;
        }
    }
    const bool material = cbMaterial->isChecked() && !MaterialFilter.IsEmpty();
    if (cbPosition->isChecked() || material) {
        std::string text = "[Event \"\"]";
        if (!H.FEN.empty()) text += "\r\n[FEN \"" + H.FEN + "\"]";
        text += "\r\n\r\n" + H.Movetext;
        hNotation->LoadPGN(text);
        if (!hNotation->PositionFound(material ? &MaterialFilter : nullptr,
                                      cbPosition->isChecked()))
            ShowThisGame = false;
    }
}

// --- sorting ----------------------------------------------------------------

void TMDIPGN::HeaderControlSectionClick(int Section) {
    static const uint8_t keys[6] = {skFileOrder, skWhite, skEvent, skYear, skResult, skECO};
    if (Section < 0 || Section > 5) return;
    TLongWork work({this});
    ListHost().Log(QStringLiteral("sort %1").arg(Section));
    PGN1->PGN().Sort(keys[Section]);
}

// --- deleting ---------------------------------------------------------------

void TMDIPGN::sbDeleteGameClick() {
    const std::vector<int> rows = SelectedRows();
    TPGN& pgn = PGN1->PGN();
    if (rows.empty() || ListHost().Busy() || pgn.Busy()) return;
    const bool db = pgn.IsDatabase();
    if (LwMessage(this, db ? TLwMsgType::Confirmation : TLwMsgType::Warning, LwText(db ? 10 : 246),
                  lbYes | lbNo) != lbYes)
        return;
    TLongWork work({this});
    pgn.KeepOpen(true);
    bool failed = false;
    if (!db) {
        // One new file without all the games, renamed over the old one: a
        // crash or a stop leaves every game where it was.
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            ListHost().Log(QStringLiteral("Delete %1").arg(*it));
        failed = !pgn.DeleteGames(rows) && !pgn.Cancelled();
    } else {
        const int total = static_cast<int>(rows.size());
        int done = 0;
        // From the last row up, so the rows still to go keep their numbers.
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            const bool ok = pgn.DeleteGame(*it);
            ListHost().Log(QStringLiteral("Delete %1").arg(*it));
            if (!ok) {
                failed = true;
                break;
            }
            ++done;
            TCancelMode mode = cmGoOn;
            Trace(done * 100 / total, mode);
            if (mode == cmCancel) break;
        }
    }
    pgn.KeepOpen(false);
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (failed) TellChangeFailed();
}

void TMDIPGN::sbDeleteDatabaseClick() {
    TPGN& pgn = PGN1->PGN();
    if (!pgn.Loaded() || ListHost().Busy() || pgn.Busy()) return;
    if (LwMessage(this, TLwMsgType::Warning, LwText(11), lbYes | lbNo) != lbYes) return;
    // The boards let go of the list before its file goes.
    if (ListInUse()) return;
    ReleaseBoards();
    const QString name = QString::fromStdString(pgn.FileName());
    if (pgn.IsDatabase()) {
        if (!pgn.DeleteDatabase()) {
            LwMessage(this, TLwMsgType::Error, LwText(19), lbOK);
            return;
        }
        ListHost().RemoveFromHistory(name);
        CloseWindow();
        return;
    }
    // A PGN file goes once this window, which holds it open, is gone.
    pendingDelete_ = name;
    CloseWindow();
    // Still set: the close was refused, and the file stays.
    pendingDelete_.clear();
}

void TMDIPGN::bCompressClick() {
    TPGN& pgn = PGN1->PGN();
    if (!pgn.IsDatabase() || ListHost().Busy() || pgn.Busy()) return;
    if (LwMessage(this, TLwMsgType::Confirmation, LwText(229), lbYes | lbNo | lbCancel) != lbYes)
        return;
    if (ListInUse()) return;
    ReleaseBoards();
    bool ok;
    {
        TLongWork work({this});
        ok = pgn.Compress();
        if (ok) {
            const std::string name = pgn.FileName();
            pgn.SetFileName("");
            pgn.SetFileName(name);
        }
    }
    if (ok) ListReread();
    // A database without deleted games has nothing to remove: no failure.
    const bool nothing = !ok && pgn.Database() && pgn.Database()->LastError() == 0;
    if (!ok && !nothing && !ListHost().StopRequested())
        LwMessage(this, TLwMsgType::Error, LwText(19), lbOK);
}

void TMDIPGN::TellChangeFailed() {
    TPGN& pgn = PGN1->PGN();
    if (pgn.IsDatabase() || pgn.LastRewrite() != TRewriteResult::Refused) {
        LwMessage(this, TLwMsgType::Error, LwText(19), lbOK);
        return;
    }
    const std::string name = pgn.FileName();
    ReadFileAgain();
    LwMessage(this, TLwMsgType::Error,
              QString::fromStdString(ChangeRefusedText(name, LwLanguageColumn() != 0)), lbOK);
}

void TMDIPGN::ReadFileAgain() {
    TPGN& pgn = PGN1->PGN();
    if (pgn.IsDatabase() || pgn.Busy()) return;
    // The boards' game numbers name games of the old reading.
    ReleaseBoards();
    {
        TLongWork work({this});
        pgn.Reread();
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
    }
    ListReread();
}

// --- drag and drop ----------------------------------------------------------

// Progress of a copy: the main window hears of it (and pumps messages) at
// the pace of TProgressPace.
std::function<bool(int, int, int)> TMDIPGN::CopyProgress(QPointer<TMDIPGN> Source) {
    auto pace = std::make_shared<TProgressPace>();
    return [this, Source, pace](int, int Done, int Total) {
        if (!pace->Due(Done, Total)) return !Source.isNull();
        TCancelMode mode = cmGoOn;
        Trace(pace->Percent, mode);
        return mode != cmCancel && !Source.isNull();
    };
}

TCopyResult TMDIPGN::DropFrom(TMDIPGN* Source, int DropRow) {
    TCopyResult result;
    if (!Source || Source == this || ListHost().Busy()) return result;
    TPGN& from = Source->PGN1->PGN();
    TPGN& to = PGN1->PGN();
    const std::vector<int> rows = Source->SelectedRows();
    if (rows.empty() || from.Busy() || to.Busy()) return result;
    const bool insert = sbDragInsert->isChecked() && sbDragInsert->isEnabled() && DropRow >= 0;
    QPointer<TMDIPGN> source(Source);
    {
        TLongWork work({this, Source});
        TCopyOptions options;
        options.Progress = CopyProgress(source);
        // The copied rows are deselected a batch at a time.
        options.Written = [&](size_t First, size_t Count) {
            if (source) source->PGN1->SetRowsSelected(rows, First, Count, false);
        };
        result = copyGames(from, rows, to, insert ? DropRow : -1, options);
        if (insert && result.Copied > 0 && sbFilter->isChecked()) to.ApplyFilter();
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
    }
    const std::string told = CopyEndText(result, LwLanguageColumn() != 0);
    if (!told.empty()) LwMessage(this, TLwMsgType::Error, QString::fromStdString(told), lbOK);
    if (result.End == TCopyEnd::Refused) ReadFileAgain();
    return result;
}

// --- ECO --------------------------------------------------------------------

void TMDIPGN::bECOClick() {
    TPGN& pgn = PGN1->PGN();
    if (!EcoClassifier() || !pgn.Loaded() || ListHost().Busy() || pgn.Busy()) return;
    if (LwMessage(this, TLwMsgType::Confirmation, LwText(171), lbYes | lbNo) != lbYes) return;
    ReleaseBoards();
    TEcoRunResult r;
    {
        TLongWork work({this});
        TEcoRunOptions options;
        int last = -1;
        options.Progress = [&](int Done, int Total) {
            TCancelMode mode = cmGoOn;
            const int percent = Total > 0 ? Done * 100 / Total : 0;
            if (percent != last) {
                last = percent;
                Trace(percent, mode);
            }
            return mode != cmCancel && !ListHost().StopRequested();
        };
        r = RunEcoClassification(pgn, EcoClassifier(), options);
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
    }
    // A PGN file is read anew after the run.
    if (r == TEcoRunResult::Done) ListReread();
    if (r == TEcoRunResult::Failed) TellChangeFailed();
}

// --- printing ---------------------------------------------------------------

void TMDIPGN::bPrintClick() {
    if (!GamePrinter()) return;
    TPGN& pgn = PGN1->PGN();
    std::string games;
    for (int row : SelectedRows()) {
        int no = -1;
        std::string text;
        pgn.GetGame(pgn.GameIndex(row), no, text);
        if (!text.empty()) games += text + "\r\n\r\n";
    }
    if (!games.empty()) GamePrinter()(this, games);
}

// --- pairing tables ---------------------------------------------------------

std::string TMDIPGN::CopyPairings(bool Html) {
    const QString ini = QDir(ListHost().ProgramDir()).filePath(QStringLiteral("Kestrelbay.ini"));
    const std::string draw = IniFile(ini.toStdString()).ReadString("Options", "remis", "1/2");
    TPGN& pgn = PGN1->PGN();
    std::vector<int> rows = SelectedRows();
    if (rows.size() < 2) {
        rows.resize(static_cast<size_t>(pgn.ItemCount()));
        for (int i = 0; i < pgn.ItemCount(); ++i)
            rows[static_cast<size_t>(i)] = i;
    }
    std::vector<TEventData> headers;
    {
        TLongWork work({this});
        pgn.KeepOpen(true);
        int last = -1;
        const int total = static_cast<int>(rows.size());
        for (int i = 0; i < total; ++i) {
            pgn.ReadHeader(pgn.GameIndex(rows[static_cast<size_t>(i)]));
            // An unreadable game is left out.
            if (!pgn.GameLines().empty() && pgn.GameHeader().Round <= 50) {
                TEventData h = pgn.GameHeader();
                h.Tags.reset();
                h.Movetext.clear();
                headers.push_back(std::move(h));
            }
            const int percent = (i + 1) * 100 / total;
            if (percent != last) {
                last = percent;
                TCancelMode mode = cmGoOn;
                Trace(percent, mode);
                if (mode == cmCancel) break;
            }
        }
        pgn.KeepOpen(false);
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
    }
    const std::string table = PairingTable(headers, Html, draw);
    QGuiApplication::clipboard()->setText(DecodeGameText(table));
    return table;
}

void TMDIPGN::HTMLkopieren1Click() {
    CopyPairings(true);
}

void TMDIPGN::extkopieren1Click() {
    CopyPairings(false);
}

} // namespace kb
