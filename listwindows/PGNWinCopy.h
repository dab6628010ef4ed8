// SPDX-License-Identifier: GPL-3.0-or-later
// The drag that carries games between list windows; the copy itself is
// PGNCopy's.
#pragma once

#include "PGN.h"
#include "PGNCopy.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kb {

// The drag between windows: which list the rows come from.
inline const QString kGamesMimeType = QStringLiteral("application/x-kestrelbay-games");
QByteArray EncodeGamesDrag(const TPGN* Source, const std::vector<int>& Rows);
// False when the data is no drag of this program (or of another copy of it).
bool DecodeGamesDrag(const QByteArray& Data, const TPGN*& Source, std::vector<int>& Rows);

} // namespace kb
