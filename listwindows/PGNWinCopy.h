// SPDX-License-Identifier: GPL-3.0-or-later
// Copying games from one game list into another: the copy itself, used by
// drops between list windows, and the MIME type that carries a drag.
#pragma once

#include "PGN.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace kb {

struct TCopyResult {
    int Copied = 0;
    int Failed = 0; // games that could not be read or written
    bool Stopped = false;
};

struct TCopyOptions {
    // After each game: the source row and the games done so far; answers
    // false to stop.
    std::function<bool(int SourceRow, int Done, int Total)> Progress;
};

// Copies the games of the source rows into Target, in the order given.
// With InsertRow a row of Target (PGN files only), every game goes before
// the game that row shows now, so the copies keep their order; with -1 they
// are appended. Two databases exchange their records as stored. Games are
// copied, never moved. A failed write stops the copy.
TCopyResult copyGames(TPGN& Source, const std::vector<int>& Rows, TPGN& Target, int InsertRow,
                      const TCopyOptions& Options = {});

// The drag between windows: which list the rows come from.
inline const QString kGamesMimeType = QStringLiteral("application/x-kestrelbay-games");
QByteArray EncodeGamesDrag(const TPGN* Source, const std::vector<int>& Rows);
// False when the data is no drag of this program (or of another copy of it).
bool DecodeGamesDrag(const QByteArray& Data, const TPGN*& Source, std::vector<int>& Rows);

} // namespace kb
