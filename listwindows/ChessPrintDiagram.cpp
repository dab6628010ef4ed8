// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChessPrintDiagram.h"

#include "Schachfiguren.h"

#include <QFontDatabase>
#include <QHash>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextDocument>
#include <QTextFormat>

#include <array>
#include <cmath>

namespace kb {

namespace {

constexpr int BoardProperty = QTextFormat::UserProperty + 17;
constexpr int SizeProperty = QTextFormat::UserProperty + 18;

// The chess glyphs, read once: per piece type 1..6 the filled (black) and
// the outlined (white) shape, in font units at a size of 1000 pixels.
struct TPieceGlyphs {
    bool Ok = false;
    std::array<QPainterPath, 7> Solid;
    std::array<QPainterPath, 7> Outline;
    QRectF Union; // of all filled shapes: one scale and baseline for every piece
};

const TPieceGlyphs& PieceGlyphs() {
    static const TPieceGlyphs glyphs = [] {
        TPieceGlyphs g;
        QRawFont raw(PieceFontFile(), 1000);
        if (!raw.isValid()) raw = QRawFont::fromFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        if (!raw.isValid()) return g;
        raw.setPixelSize(1000);
        // Offsets from the king in the Unicode chess block, by piece code.
        constexpr std::array<int, 7> offset = {0, 5, 2, 3, 4, 1, 0};
        auto path = [&](char16_t code) {
            const QList<quint32> idx = raw.glyphIndexesForString(QString(QChar(code)));
            if (idx.isEmpty() || idx.front() == 0) return QPainterPath();
            return raw.pathForGlyph(idx.front());
        };
        g.Ok = true;
        for (int t = 1; t <= 6; ++t) {
            const auto i = static_cast<size_t>(t);
            g.Solid[i] = path(static_cast<char16_t>(0x265A + offset[i]));
            g.Outline[i] = path(static_cast<char16_t>(0x2654 + offset[i]));
            if (g.Solid[i].isEmpty() || g.Outline[i].isEmpty()) g.Ok = false;
            g.Union = g.Union.united(g.Solid[i].boundingRect());
        }
        return g;
    }();
    return glyphs;
}

void DrawPiece(QPainter& p, const QRectF& cell, int32_t piece) {
    const TPieceGlyphs& g = PieceGlyphs();
    const int type = piece < 0 ? -piece : piece;
    if (type < 1 || type > 6) return;
    const auto i = static_cast<size_t>(type);
    if (!g.Ok) {
        // No glyphs: a plain disc keeps the square readable as occupied.
        p.setPen(QPen(Qt::black, cell.width() / 20));
        p.setBrush(piece > 0 ? Qt::white : Qt::black);
        p.drawEllipse(cell.adjusted(cell.width() / 4, cell.height() / 4, -cell.width() / 4,
                                    -cell.height() / 4));
        return;
    }
    const qreal s = cell.height() * 0.86 / std::max(g.Union.width(), g.Union.height());
    QTransform t;
    t.translate(cell.center().x(), cell.top() + cell.height() * 0.07);
    t.scale(s, s);
    t.translate(-g.Solid[i].boundingRect().center().x(), -g.Union.top());
    p.setPen(Qt::NoPen);
    // The whole shape white first, so that the hatching of a dark square
    // stays out of the piece.
    p.setBrush(Qt::white);
    for (const QPolygonF& poly : g.Solid[i].toSubpathPolygons(t))
        p.drawPolygon(poly);
    p.setBrush(Qt::black);
    p.drawPath(t.map(piece > 0 ? g.Outline[i] : g.Solid[i]));
}

} // namespace

bool ChessFontInstalled(const QString& Family) {
    static QHash<QString, bool> known;
    const QString key = Family.trimmed().toLower();
    auto it = known.find(key);
    if (it != known.end()) return *it;
    bool found = false;
    for (const QString& f : QFontDatabase::families())
        if (f.toLower() == key) {
            found = true;
            break;
        }
    known.insert(key, found);
    return found;
}

void DrawPrintDiagram(QPainter& Painter, const QRectF& Rect, const TSchachbrett& Board) {
    const qreal cell = std::min(Rect.width(), Rect.height()) / 10;
    const QPointF origin(Rect.left() + cell, Rect.top() + cell);
    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing, true);

    // Frame: a heavy line a little outside the squares, a thin one at their edge.
    const QRectF squares(origin, QSizeF(8 * cell, 8 * cell));
    Painter.setBrush(Qt::NoBrush);
    Painter.setPen(QPen(Qt::black, cell * 0.08, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const qreal gap = cell * 0.16;
    Painter.drawRect(squares.adjusted(-gap, -gap, gap, gap));
    Painter.setPen(QPen(Qt::black, cell * 0.025));
    Painter.drawRect(squares);

    for (int rank = 8; rank >= 1; --rank) {
        for (int file = 1; file <= 8; ++file) {
            const auto square = static_cast<uint8_t>((rank - 1) * 8 + (file - 1));
            const QRectF r(origin.x() + (file - 1) * cell, origin.y() + (8 - rank) * cell, cell,
                           cell);
            if (FeldFarben[square] == 1) {
                // Dark squares hatched, as chess fonts print them.
                Painter.save();
                Painter.setClipRect(r, Qt::IntersectClip);
                Painter.setPen(QPen(Qt::black, cell * 0.022));
                const int lines = 7;
                for (int k = 1; k < 2 * lines; ++k) {
                    const qreal d = k * cell / lines;
                    Painter.drawLine(QPointF(r.left() + d, r.top()),
                                     QPointF(r.left() + d - cell, r.bottom()));
                }
                Painter.restore();
            }
            DrawPiece(Painter, r, Board[Index64To120(square)]);
        }
    }
    Painter.restore();
}

QTextCharFormat TDiagramObject::Format(const TSchachbrett& Board, qreal PointSize) {
    QTextCharFormat f;
    f.setObjectType(Type);
    QByteArray squares(64, 0);
    for (int s = 0; s < 64; ++s)
        squares[s] = static_cast<char>(Board[Index64To120(static_cast<uint8_t>(s))]);
    f.setProperty(BoardProperty, squares);
    f.setProperty(SizeProperty, PointSize);
    return f;
}

bool TDiagramObject::BoardOf(const QTextFormat& Format, TSchachbrett& Board) {
    const QByteArray squares = Format.property(BoardProperty).toByteArray();
    if (squares.size() != 64) return false;
    Board = LeeresBrett;
    for (int s = 0; s < 64; ++s)
        Board[Index64To120(static_cast<uint8_t>(s))] = static_cast<signed char>(squares[s]);
    return true;
}

QSizeF TDiagramObject::intrinsicSize(QTextDocument* Doc, int, const QTextFormat& Format) {
    // One cell per character of the font: its size in points on the device
    // the text is laid out for.
    const QPaintDevice* device =
        Doc && Doc->documentLayout() ? Doc->documentLayout()->paintDevice() : nullptr;
    const qreal dpi = device ? device->logicalDpiY() : 96.0;
    const qreal cell = Format.property(SizeProperty).toReal() * dpi / 72.0;
    return {10 * cell, 10 * cell};
}

void TDiagramObject::drawObject(QPainter* Painter, const QRectF& Rect, QTextDocument*, int,
                                const QTextFormat& Format) {
    TSchachbrett board;
    if (Painter && BoardOf(Format, board)) DrawPrintDiagram(*Painter, Rect, board);
}

} // namespace kb
