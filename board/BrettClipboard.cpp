// SPDX-License-Identifier: GPL-3.0-or-later
// TBrett: FEN and picture through the clipboard.
#include "Brett.h"

#include <QClipboard>
#include <QGuiApplication>

namespace kb {

namespace {

// A pasted FEN may come quoted, as in a tag line: [FEN "..."].
QString BareFen(QString Text) {
    Text = Text.trimmed();
    const qsizetype open = Text.indexOf(QLatin1Char('"'));
    if (open >= 0) {
        const qsizetype close = Text.indexOf(QLatin1Char('"'), open + 1);
        Text = close > open ? Text.mid(open + 1, close - open - 1) : Text.mid(open + 1);
        Text = Text.trimmed();
    }
    // A FEN is far shorter; longer text is not one.
    return Text.left(99);
}

} // namespace

void TBrett::FENCopy() {
    // A Chess960 position names its castling rooks by their files, so that
    // it pastes back, here and elsewhere, as Chess960.
    const std::string fen = IsFischer(FischerInfo)
                                ? StellungToFEN960(board_, zug_, 1, *FischerInfo, true)
                                : StellungToFEN(board_, zug_, 1, false);
    QGuiApplication::clipboard()->setText(QString::fromStdString(fen));
}

bool TBrett::FENInsert() {
    const QClipboard* cb = QGuiApplication::clipboard();
    const QString text = cb->text();
    if (text.isEmpty()) return false;
    const std::string fen = BareFen(text).toStdString();
    if (fen.empty()) return false;
    // Read into copies so that a rejected text leaves the board as it was.
    TSchachbrett board = board_;
    TZug zug = zug_;
    uint16_t moveNo = 1;
    TFischerInfo fischer{};
    if (!FENToStellung(fen, board, zug, moveNo, &fischer)) return false;
    // Well-formed is not enough: no game reaches a board without its kings
    // or with the side not to move in check, and nothing could be played on.
    if (!IsPlayablePosition(board, zug)) {
        ShowError(English ? QStringLiteral("This position cannot occur in a game: each side needs "
                                           "exactly one king, no pawn may stand on the first or "
                                           "last rank, and the side not to move must not be in "
                                           "check.")
                          : QStringLiteral("Diese Stellung kann in keiner Partie vorkommen: Jede "
                                           "Seite braucht genau einen König, kein Bauer darf auf "
                                           "der ersten oder letzten Reihe stehen, und die Seite, "
                                           "die nicht am Zug ist, darf nicht im Schach stehen."));
        return false;
    }
    CancelDrag();
    board_ = board;
    zug_ = zug;
    NewFischerInfo = fischer;
    Redraw(false);
    if (OnNewPosition) OnNewPosition(this, board_, zug_, 1);
    return true;
}

void TBrett::DiaCopy() {
    QGuiApplication::clipboard()->setImage(picture_);
}

} // namespace kb
