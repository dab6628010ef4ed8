// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinCopy.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>

namespace kb {

QByteArray EncodeGamesDrag(const TPGN* Source, const std::vector<int>& Rows) {
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << static_cast<qint64>(QCoreApplication::applicationPid())
        << static_cast<quint64>(reinterpret_cast<quintptr>(Source))
        << static_cast<qint32>(Rows.size());
    for (int r : Rows)
        out << static_cast<qint32>(r);
    return data;
}

bool DecodeGamesDrag(const QByteArray& Data, const TPGN*& Source, std::vector<int>& Rows) {
    QDataStream in(Data);
    qint64 pid = 0;
    quint64 address = 0;
    qint32 count = 0;
    in >> pid >> address >> count;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid() || count < 0)
        return false;
    Rows.clear();
    for (qint32 i = 0; i < count; ++i) {
        qint32 r = 0;
        in >> r;
        if (in.status() != QDataStream::Ok) return false;
        Rows.push_back(r);
    }
    Source = reinterpret_cast<const TPGN*>(static_cast<quintptr>(address));
    return true;
}

} // namespace kb
