// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: the notation's menu with the annotation signs, editing buttons,
// comment, clipboard, the board's menu items, and the captions.
#include "BrettWin.h"

#include "BrettWinFrame.h"
#include "Comment.h"
#include "NotationWidgetText.h"
#include "uReport.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QToolButton>

using namespace kb;

namespace {

struct TMoveGlyphItem {
    const char* Name;
    const char* Glyph;
};
constexpr TMoveGlyphItem MoveGlyphs[] = {
    {"N6", "!"}, {"N5", "?"}, {"N7", "!!"}, {"N8", "??"}, {"N9", "!?"}, {"N10", "?!"},
};

struct TPositionItem {
    const char* Name;
    const char* German; // also the caption in every language when Number is -1
    int Number;
    uint8_t Nag;
};
constexpr TPositionItem PositionSigns[] = {
    {"N13", "=", -1, 11},
    {"oo1", "oo", -1, 13},
    {"N12", "+ / =", -1, 14},
    {"N14", "= / +", -1, 15},
    {"N11", "+ / -", -1, 16},
    {"N15", "- / +", -1, 17},
    {"N3", "+  -", -1, 18},
    {"N16", "- +", -1, 19},
    {"mEinzigerZug", "Einziger Zug", 240, 8},
    {"mZugzwang", "Zugzwang", 239, 22},
    {"mEntwicklungsvorsprung", "Entwicklungsvorsprung", 237, 32},
    {"mInitiative", "Initiative", 234, 36},
    {"mAngriff", "Angriff", 235, 40},
    {"mKompensation", "Kompensation", 232, 44},
    {"mGegenspiel", "Gegenspiel", 233, 132},
    {"mZeitnot", "Zeitnot", 236, 138},
    {"mMitderIdee", "Mit der Idee", 242, 140},
    {"mBesserist", "Besser ist", 243, 142},
    {"mNeuerung", "Neuerung", 238, 146},
};

} // namespace

void TMDIBrett::BuildNotationMenu() {
    mStellungsBewertung = puNotation->addMenu(QString());
    mStellungsBewertung->setObjectName(QStringLiteral("mStellungsBewertung"));
    Caption(mStellungsBewertung, QStringLiteral("Stellungsbewertung"), 241);
    Nichts2 = mStellungsBewertung->addAction(QString());
    Nichts2->setObjectName(QStringLiteral("Nichts2"));
    Caption(Nichts2, QStringLiteral("Nichts"), 101);
    connect(Nichts2, &QAction::triggered, this, [this] { SetPositionGlyph(0); });
    for (const TPositionItem& p : PositionSigns) {
        QAction* a = mStellungsBewertung->addAction(QString::fromUtf8(p.German));
        a->setObjectName(QString::fromLatin1(p.Name));
        Caption(a, QString::fromUtf8(p.German), p.Number);
        const uint8_t nag = p.Nag;
        connect(a, &QAction::triggered, this, [this, nag] { SetPositionGlyph(nag); });
    }
    for (const TMoveGlyphItem& g : MoveGlyphs) {
        QAction* a = puNotation->addAction(QString::fromLatin1(g.Glyph));
        a->setObjectName(QString::fromLatin1(g.Name));
        const char* glyph = g.Glyph;
        connect(a, &QAction::triggered, this, [this, glyph] { SetMoveGlyph(glyph); });
    }
    Nichts1 = puNotation->addAction(QString());
    Nichts1->setObjectName(QStringLiteral("Nichts1"));
    Caption(Nichts1, QStringLiteral("Nichts"), 101);
    Hint(Nichts1, QStringLiteral("Kein Zeichen"), 102);
    connect(Nichts1, &QAction::triggered, this, [this] { SetMoveGlyph(""); });
    puNotation->addSeparator();
    mPGNCopy1 = puNotation->addAction(QString());
    mPGNCopy1->setObjectName(QStringLiteral("mPGNCopy1"));
    mPGNInsert = puNotation->addAction(QString());
    mPGNInsert->setObjectName(QStringLiteral("mPGNInsert"));
}

void TMDIBrett::RegisterCaptions() {
    auto pair = [this](QObject* o, const char* caption, const char* hint, int n) {
        Caption(o, QString::fromUtf8(caption), n);
        Hint(o, QString::fromUtf8(hint), n + 1);
    };
    pair(mDiaCopy, "Diagramm kopieren", "Diagramm als Bild in die Zwischenablage kopieren", 84);
    pair(mFENCopy, "FEN kopieren", "Stellung als FEN in die Zwischenablage kopieren", 86);
    pair(mPrint, "Diagramm drucken", "", 88);
    pair(mAufbauen, "Stellung aufbauen", "Eine neue Stellung aufbauen", 90);
    pair(mInsertFEN, "FEN einfügen", "Stellung als FEN aus der Zwischenablage einfügen", 92);
    pair(mDrehen, "Brett drehen", "Das Brett drehen", 94);
    pair(mMessages, "Meldungen", "Meldungen zur 50-Züge-Regel usw. ein- oder ausschalten", 96);
    pair(Blind1, "Blind spielen", "Mit oder ohne Sicht auf die Figuren spielen", 98);
    pair(mPGNCopy1, "Partie kopieren", "Partie als PGN in die Zwischenablage kopieren", 103);
    pair(mPGNInsert, "Partie einfügen", "Partie als PGN aus der Zwischenablage einfügen", 105);
    Caption(mNext, QStringLiteral("Restliche Züge"), 147);
    Caption(mPrev, QStringLiteral("Vorherige Züge"), 148);

    auto hint = [this](QObject* o, const char* text, int n) {
        Hint(o, QString::fromUtf8(text), n);
    };
    hint(Notation1,
         "|Rechte Maustaste für das Kontextmenü. Die Maus auf die Trennlinie bewegen, um das Brett "
         "zu vergrößern oder zu verkleinern.",
         111);
    hint(sbSave, "Partie anhängen|Datenbank wählen und Partie anhängen", 112);
    hint(sbReplace, "Partie speichern", 113);
    hint(mGameData, "Partiedaten|Partiedaten anzeigen und ändern", 114);
    hint(bNew, "Neue Partie", 115);
    hint(bPrev, "Vorherige Partie", 116);
    hint(bNext, "Nächste Partie", 117);
    hint(bUndo, "Rückgängig|Letztes Löschen rückgängig machen", 118);
    hint(bCut, "Züge abschneiden", 119);
    hint(bDelete, "Variante löschen", 120);
    hint(mAufwerten, "Variante aufwerten", 121);
    hint(bComment, "Kommentar|Kommentar eingeben", 122);
    hint(sbAnalyse, "Analyse|Analyse ein- oder ausschalten (Leertaste: sofort ziehen)", 123);
    hint(sbPlay,
         "Spielen (nur mit MiniMax) / Analyse|Gedrückt = der Computer antwortet auf jeden "
         "eingegebenen Zug (nur mit MiniMax; Leertaste: sofort ziehen)",
         124);
    hint(sbPrev, "Zur vorigen Variante", 125);
    hint(sbBack, "|Voriger Zug", 126);
    hint(sbAhead, "|Nächster Zug", 127);
    hint(sbNext, "Zur nächsten Variante", 128);
    hint(lFRC, "Fischer-Random-Chess|Zur Fischer-Rochade <Strg> gedrückt halten", 194);
    hint(bNextMain, "|Nächster Zug der Hauptvariante", 195);
    hint(bAutoplay, "Automatisch abspielen", 196);
}

// ---------------------------------------------------------------------------
// Annotations and editing

void TMDIBrett::SetMoveGlyph(const char* Glyph) {
    Notation1->Notation().SetMoveGlyph(Glyph);
}

void TMDIBrett::SetPositionGlyph(uint8_t Nag) {
    Notation1->Notation().SetPositionGlyph(Nag);
}

void TMDIBrett::bDeleteClick() {
    Notation1->Notation().DeleteVariation();
}

void TMDIBrett::mAufwertenClick() {
    Notation1->Notation().PromoteVariation();
}

void TMDIBrett::bUndoClick() {
    Notation1->Notation().UndoDelete();
}

void TMDIBrett::bCutClick() {
    puCut->exec(bCut->mapToGlobal(QPoint(0, bCut->height())));
}

void TMDIBrett::mPrevClick() {
    Notation1->Notation().CutMoves(false);
}

void TMDIBrett::mNextClick() {
    Notation1->Notation().CutMoves(true);
}

void TMDIBrett::bCommentClick() {
    TNotation& n = Notation1->Notation();
    std::string comment;
    n.GetComment(comment);
    TKomm dialog(this);
    dialog.Memo1->setPlainText(DecodeGameText(comment));
    if (RunModal(dialog) != QDialog::Accepted) return;
    // The notation reads a CR LF pair as one line break.
    QString text = dialog.Memo1->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    n.SetComment(EncodeGameText(text));
}

// ---------------------------------------------------------------------------
// Clipboard and the board's menu

void TMDIBrett::mPGNCopy1Click() {
    Notation1->Notation().CopyPGN();
}

void TMDIBrett::mPGNInsertClick() {
    if (!AskSaveGame()) return;
    Notation1->Notation().PastePGN();
    SetCaptionFromGame();
    PositionChanged();
}

void TMDIBrett::mFENCopyClick() {
    Brett1->FENCopy();
}

void TMDIBrett::mDiaCopyClick() {
    Brett1->DiaCopy();
}

void TMDIBrett::mMessagesClick() {
    // The action toggles its own check before this runs.
    FMessagesOff = !mMessages->isChecked();
}

void TMDIBrett::Blind1Click() {
    Brett1->Blind = Blind1->isChecked();
    Brett1->RedrawAll();
}

void TMDIBrett::mPrintClick() {
    // One diagram of the shown position, numbered as a first move.
    const std::string fen = StellungToFEN(BoardStellung(), BoardZug(), 1, false);
    TfrmReport::PrintDiagram(fen, TReportOutput::Printer, this);
}
