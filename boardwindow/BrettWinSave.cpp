// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: saving the game into an open game list, the game-data dialog,
// replacing the game in its list, and the save question before leaving it.
//
// A training game comes from the tactics file: nothing here ever writes it.
#include "BrettWin.h"

#include "BrettWinFrame.h"
#include "MdiWindows.h"
#include "NotationWidgetText.h"
#include "PGNList.h"
#include "PGNSave.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

using namespace kb;

namespace {

// The list face of a list window (the window implements the frame's interface).
TPGNList* ListFace(TListWindowIntf* W) {
    if (!W || !W->Window()) return nullptr;
    TPGN* pgn = W->PGN();
    for (TPGNList* l : W->Window()->findChildren<TPGNList*>())
        if (&l->PGN() == pgn) return l;
    return nullptr;
}

// A save or replace into a list window's PGN file did not go through. When
// another program held or changed the file, the user hears so and the list
// reads the file again (the boards holding its games, this one among them,
// let go of it and keep their edits), so the next try can go through.
void TellSaveFailed(TPGN* Pgn) {
    if (!Pgn || Pgn->IsDatabase() || Pgn->LastRewrite() != TRewriteResult::Refused) {
        bw::Message(bw::Text(19), bw::TMsgType::Error, bw::mbOK);
        return;
    }
    const std::string name = Pgn->FileName();
    for (TListWindowIntf* w : bw::OpenListWindows())
        if (w->PGN() == Pgn) w->ReadFileAgain();
    bw::Message(QString::fromStdString(ChangeRefusedText(name, bw::English())),
                bw::TMsgType::Error, bw::mbOK);
}

} // namespace

bool TMDIBrett::SelectDatabases() {
    FDatabases.clear();
    for (TListWindowIntf* w : bw::OpenListWindows())
        FDatabases << bw::HistoryEntry(bw::ListWindowCaption(w));
    if (FDatabases.isEmpty()) {
        bw::Message(bw::Text(2), bw::TMsgType::Information, bw::mbOK);
        return false;
    }
    return true;
}

void TMDIBrett::sbSaveClick() {
    if (bw::Busy() || FTraining) return;
    if (!SelectDatabases()) {
        bw::OpenHistoryWindow();
        return;
    }
    EditGameData(true);
}

void TMDIBrett::mGameDataClick() {
    EditGameData(false);
}

void TMDIBrett::EditGameData(bool Save) {
    if (Save && FTraining) return;
    TNotation& n = Notation1->Notation();
    TEventData& e = n.GameData.EventData;
    TfPGNSave dlg(this);
    dlg.eWeiss->setText(DecodeGameText(e.White));
    dlg.eSchwarz->setText(DecodeGameText(e.Black));
    dlg.eQuelle->setText(DecodeGameText(e.Event));
    dlg.eSite->setText(DecodeGameText(e.Site));
    dlg.eKommentator->setText(DecodeGameText(e.Annotator));
    dlg.eeco->setText(DecodeGameText(e.ECO));
    dlg.sewElo->setValue(e.WhiteElo);
    dlg.sesElo->setValue(e.BlackElo);
    dlg.seJahr->setValue(e.Year);
    dlg.seMonat->setValue(e.Month);
    dlg.seTag->setValue(e.Day);
    dlg.seRunde->setValue(e.Round);
    // A round the number cannot say ("1.1") is shown as read while left at 0.
    if (e.Round == 0 && !e.RoundText.empty())
        dlg.seRunde->setSpecialValueText(DecodeGameText(RoundTagValue(e)));
    if (e.Result == "1-0")
        dlg.rbGewinn->setChecked(true);
    else if (e.Result == "1/2-1/2")
        dlg.rbRemis->setChecked(true);
    else if (e.Result == "0-1")
        dlg.rbVerlust->setChecked(true);
    else
        dlg.rbKeinErgebnis->setChecked(true);
    if (Save) {
        dlg.cbFileName->addItems(FDatabases);
        const qsizetype last = FDatabases.indexOf(bw::SaveDataBase());
        dlg.cbFileName->setCurrentIndex(last >= 0 ? static_cast<int>(last) : 0);
        dlg.ShowSaveTarget(true);
        dlg.bOk->setText(bw::Text(1));
    }
    if (RunModal(dlg) != QDialog::Accepted) return;

    if (!FTraining) {
        e.White = EncodeGameText(dlg.eWeiss->text());
        e.Black = EncodeGameText(dlg.eSchwarz->text());
        e.Event = EncodeGameText(dlg.eQuelle->text());
        e.Site = EncodeGameText(dlg.eSite->text());
        e.Annotator = EncodeGameText(dlg.eKommentator->text());
        e.ECO = EncodeGameText(dlg.eeco->text());
        e.WhiteElo = static_cast<uint16_t>(dlg.sewElo->value());
        e.BlackElo = static_cast<uint16_t>(dlg.sesElo->value());
        e.Year = static_cast<uint16_t>(dlg.seJahr->value());
        e.Month = static_cast<uint16_t>(dlg.seMonat->value());
        e.Day = static_cast<uint16_t>(dlg.seTag->value());
        e.Round = static_cast<uint16_t>(dlg.seRunde->value());
        e.Result = dlg.rbGewinn->isChecked()    ? "1-0"
                   : dlg.rbRemis->isChecked()   ? "1/2-1/2"
                   : dlg.rbVerlust->isChecked() ? "0-1"
                                                : "*";
        n.Refresh();
    }

    if (!Save) {
        if (!FTraining) {
            n.SetModified(true);
            sbReplace->setEnabled(true);
        }
        SetCaptionFromGame();
        return;
    }

    const QString entry = dlg.cbFileName->currentText();
    const QString path = bw::HistoryEntryPath(entry);
    TListWindowIntf* target = nullptr;
    for (TListWindowIntf* w : bw::OpenListWindows()) {
        if (!path.isEmpty() && bw::ListWindowCaption(w) == path) {
            target = w;
            break;
        }
    }
    TPGN* pgn = target ? target->PGN() : nullptr;
    if (!pgn) {
        bw::Message(bw::Text(19), bw::TMsgType::Error, bw::mbOK);
        return;
    }
    std::string text;
    n.GetPGN(text);
    int gameNo = -1;
    if (pgn->InsertGame(-1, gameNo, text) && gameNo >= 0) {
        // Bound only once the game is in the list: a failed append keeps
        // the old binding, so a later replace cannot hit a wrong game.
        FSourceTactic = nullptr;
        FSourceList = ListFace(target);
        FSourceIndex = gameNo;
        n.SetModified(false);
        sbReplace->setEnabled(false);
        bPrev->setEnabled(true);
        bNext->setEnabled(true);
        bw::SetSaveDataBase(entry);
    } else {
        TellSaveFailed(pgn);
    }
    SetCaptionFromGame();
}

void TMDIBrett::sbReplaceClick() {
    if (bw::Busy() || FTraining) return;
    TNotation& n = Notation1->Notation();
    if (!n.Modified) return;
    TPGN* pgn = FSourceList ? &FSourceList->PGN() : nullptr;
    if (!pgn || FSourceIndex < 0) {
        sbSaveClick();
        return;
    }
    bw::SetStopRequested(false);
    bw::ShowBackupHint(true);
    bw::Log(QStringLiteral("Replace %1").arg(FSourceIndex));
    std::string text;
    n.GetPGN(text);
    int gameNo = FSourceIndex;
    if (pgn->ReplaceGame(gameNo, text)) {
        FSourceIndex = gameNo;
        sbReplace->setEnabled(false);
        n.SetModified(false);
    } else {
        TellSaveFailed(pgn);
    }
    bw::ShowBackupHint(false);
}

bool TMDIBrett::AskSaveGame() {
    TNotation& n = Notation1->Notation();
    if (FTraining || !n.Modified) return true;
    const int answer = bw::Message(windowTitle() + QStringLiteral("\n\n") + bw::Text(21),
                                   bw::TMsgType::Confirmation, bw::mbYes | bw::mbNo | bw::mbCancel);
    if (answer == bw::mrNo) return true;
    if (answer != bw::mrYes) return false;
    if (!SelectDatabases()) return false;
    sbReplaceClick();
    bw::ShowBackupHint(false);
    return !n.Modified;
}
