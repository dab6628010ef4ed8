// SPDX-License-Identifier: GPL-3.0-or-later
// Piece sprite strips: building the built-in sets from font glyphs, loading
// user strips, and drawing with the erase/invert pair of raster operations.
#include "Schachfiguren.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <array>
#include <cmath>

namespace kb {
namespace {

// White pieces get the glyph's inner lines from this cell size up.
constexpr int InnerLinesFrom = 29;

constexpr std::array<int, 15> CellSizes = {32, 32, 21, 25, 29, 33, 37, 40,
                                           45, 49, 54, 58, 64, 72, 80};

// Solid glyphs in cell order: pawn, rook, bishop, knight, queen, king. Both
// colours are drawn from them: the font's outline glyphs fill some parts
// black (the bishop's mitre), and its solid king and queen are mostly
// hollow, so neither reads as its colour as it stands.
constexpr std::array<char16_t, 6> SolidGlyphs = {0x265F, 0x265C, 0x265D, 0x265E, 0x265B, 0x265A};

double SignedArea(const QPolygonF& P) {
    double a = 0;
    for (qsizetype i = 0; i + 1 < P.size(); ++i)
        a += P[i].x() * P[i + 1].y() - P[i + 1].x() * P[i].y();
    return a / 2;
}

const QRawFont& PieceFont() {
    // Loaded from the file itself so that no other font is substituted.
    static const QRawFont font(PieceFontFile(), 200.0);
    return font;
}

bool GlyphPath(char16_t Code, QPainterPath& Path) {
    const QRawFont& font = PieceFont();
    if (!font.isValid()) return false;
    const QList<quint32> glyphs = font.glyphIndexesForString(QString(QChar(Code)));
    if (glyphs.size() != 1 || glyphs[0] == 0) return false;
    Path = font.pathForGlyph(glyphs[0]);
    return !Path.isEmpty();
}

// Draws one cell: the picture at (x0, 0) of the strip and the mask at (x0, s).
// Black: the silhouette dark, cut only by the glyph's small marks (bands,
// crosses, the mane). White: the silhouette light inside a dark rim; the
// glyph's inner contours (the king's loops and band) are drawn as lines only
// where the cell has room for them: on small cells they knot into a dark
// patch and the white piece reads as black.
void DrawCell(QImage& Strip, int x0, int s, const QPainterPath& Glyph, const QTransform& T,
              bool White, bool Bishop) {
    const QList<QPolygonF> contours = Glyph.toSubpathPolygons(T);
    qsizetype outer = -1; // the outer contour, its area with its turning sign
    double largest = 0;
    for (qsizetype i = 0; i < contours.size(); ++i)
        if (std::abs(SignedArea(contours[i])) > std::abs(largest)) {
            largest = SignedArea(contours[i]);
            outer = i;
        }
    QPainterPath body;
    body.setFillRule(Qt::WindingFill);
    QList<QPolygonF> inner;
    for (qsizetype i = 0; i < contours.size(); ++i) {
        const QPolygonF& c = contours[i];
        const double a = SignedArea(c);
        // Contours turning the other way are holes; only small ones stay.
        if (a * largest > 0) {
            body.addPolygon(c);
            if (i != outer &&
                contours[outer].containsPoint(c.boundingRect().center(), Qt::OddEvenFill))
                inner.append(c);
        } else if (std::abs(a) < 0.08 * std::abs(largest)) {
            body.addPolygon(c);
        }
    }
    QImage pic(s, s, QImage::Format_ARGB32);
    pic.fill(Qt::white);
    QImage cover(s, s, QImage::Format_ARGB32);
    cover.fill(Qt::white);
    const double line = std::max(1.0, s / 28.0);
    // Below this an antialiased outline of one pixel turns pale grey where
    // it falls between pixels, and a white piece loses its edge: small cells
    // get crisp lines.
    const bool smooth = s >= 24;
    {
        QPainter p(&pic);
        p.setRenderHint(QPainter::Antialiasing, smooth);
        if (White) {
            if (s >= InnerLinesFrom) {
                p.setPen(QPen(Qt::black, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p.setBrush(Qt::NoBrush);
                for (const QPolygonF& c : inner)
                    p.drawPolygon(c);
            }
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawPath(body);
        }
        if (Bishop) {
            // The solid glyph has no slit in its mitre, and without one a
            // small bishop reads as a pawn: cut it in the other colour.
            const QRectF b = T.map(Glyph).boundingRect();
            const double w = std::max(1.4, s / 16.0);
            p.setPen(QPen(White ? Qt::black : Qt::white, w, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(QPointF(b.center().x() + 0.16 * b.width(), b.top() + 0.24 * b.height()),
                       QPointF(b.center().x() - 0.02 * b.width(), b.top() + 0.42 * b.height()));
        }
    }
    {
        // The silhouette: every closed contour filled on its own, so the
        // holes of the glyph still belong to the piece. The same for both
        // colours: the white rim lies inside it.
        QPainter p(&cover);
        p.setRenderHint(QPainter::Antialiasing, smooth);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        for (const QPolygonF& poly : contours)
            p.drawPolygon(poly, Qt::OddEvenFill);
    }
    auto inside = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= s || y >= s) return false;
        return qGray(cover.pixel(x, y)) < 128;
    };
    // The white rim: every pixel of the silhouette that lies within the rim's
    // width of its edge. It follows the mask exactly, so the light inside is
    // closed all round.
    const int rim = std::max(1, static_cast<int>(std::lround(s / 40.0)));
    auto onRim = [&](int x, int y) {
        for (int dy = -rim; dy <= rim; ++dy)
            for (int dx = -rim; dx <= rim; ++dx)
                if (dx * dx + dy * dy <= rim * rim + rim / 2 && !inside(x + dx, y + dy))
                    return true;
        return false;
    };
    for (int y = 0; y < s; ++y) {
        const QRgb* pl = reinterpret_cast<const QRgb*>(pic.constScanLine(y));
        QRgb* top = reinterpret_cast<QRgb*>(Strip.scanLine(y));
        QRgb* bottom = reinterpret_cast<QRgb*>(Strip.scanLine(s + y));
        for (int x = 0; x < s; ++x) {
            const bool in = inside(x, y);
            const int g = White && in && onRim(x, y) ? 0 : qGray(pl[x]);
            top[x0 + x] = in ? qRgb(g, g, g) : qRgb(255, 255, 255);
            bottom[x0 + x] = in ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        }
    }
}

} // namespace

QString PieceFontFile() {
    return QStringLiteral(":/kb/fonts/DejaVuSans.ttf");
}

int FigurenGroesse(TFigurenset Set) {
    const auto i = static_cast<size_t>(Set);
    return i < CellSizes.size() ? CellSizes[i] : 32;
}

QImage BuildFigurenStrip(TFigurenset Set) {
    return BuildFigurenStrip(FigurenGroesse(Set));
}

QImage BuildFigurenStrip(int CellSize) {
    const int s = CellSize;
    if (s < 1) return {};
    std::array<QPainterPath, 12> paths;
    QRectF all;
    for (int i = 0; i < 12; ++i) {
        const char16_t code = SolidGlyphs[static_cast<size_t>(i % 6)];
        if (!GlyphPath(code, paths[i])) return {};
        all = all.united(paths[i].boundingRect());
    }
    // One scale for all twelve so pawns stay smaller than kings.
    const double scale = std::min(0.84 * s / all.height(), 0.90 * s / all.width());
    const double baseLine = s - std::max(1.0, std::round(0.07 * s));

    QImage strip(12 * s, 2 * s, QImage::Format_RGB32);
    strip.fill(Qt::white);
    for (int i = 0; i < 12; ++i) {
        const QRectF b = paths[i].boundingRect();
        const double dx = i * s + (s - b.width() * scale) / 2.0 - b.left() * scale;
        const double dy = baseLine - b.bottom() * scale;
        QTransform t;
        t.translate(dx - i * s, dy);
        t.scale(scale, scale);
        DrawCell(strip, i * s, s, paths[i], t, i < 6, i % 6 == 2);
    }
    return strip;
}

int FigurenZelle(int32_t Piece) {
    if (Piece >= 1 && Piece <= 6) return Piece;
    if (Piece <= -1 && Piece >= -6) return 6 - Piece;
    return 0;
}

QRect FigurenBildRect(const QImage& Strip, int Cell) {
    const int w = Strip.width() / 12;
    const int h = Strip.height() / 2;
    if (Cell < 1 || Cell > 12 || w <= 0 || h <= 0) return {};
    return QRect((Cell - 1) * w, 0, w, h);
}

QRect FigurenMaskeRect(const QImage& Strip, int Cell) {
    // Both rows are H div 2 high; an odd last line is not used.
    const QRect r = FigurenBildRect(Strip, Cell);
    return r.isEmpty() ? r : r.translated(0, r.height());
}

void CopyRectMode(QImage& Dst, const QRect& D, const QImage& Src, const QRect& S, TCopyMode Mode) {
    if (D.isEmpty() || S.isEmpty() || Dst.isNull() || Src.isNull()) return;
    const QImage* src = &Src;
    QImage converted;
    if (Src.format() != QImage::Format_RGB32 && Src.format() != QImage::Format_ARGB32) {
        converted = Src.convertToFormat(QImage::Format_RGB32);
        src = &converted;
    }
    if (Dst.format() != QImage::Format_RGB32 && Dst.format() != QImage::Format_ARGB32)
        Dst = Dst.convertToFormat(QImage::Format_RGB32);
    const QRect clip = D.intersected(Dst.rect());
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int sy = S.top() + static_cast<int>(int64_t(y - D.top()) * S.height() / D.height());
        if (sy < 0 || sy >= src->height()) continue;
        const QRgb* sl = reinterpret_cast<const QRgb*>(src->constScanLine(sy));
        QRgb* dl = reinterpret_cast<QRgb*>(Dst.scanLine(y));
        for (int x = clip.left(); x <= clip.right(); ++x) {
            const int sx =
                S.left() + static_cast<int>(int64_t(x - D.left()) * S.width() / D.width());
            if (sx < 0 || sx >= src->width()) continue;
            const QRgb sv = sl[sx] & 0xFFFFFFu;
            const QRgb dv = dl[x] & 0xFFFFFFu;
            QRgb r = sv;
            if (Mode == TCopyMode::SrcErase)
                r = sv & ~dv;
            else if (Mode == TCopyMode::SrcInvert)
                r = sv ^ dv;
            dl[x] = 0xFF000000u | (r & 0xFFFFFFu);
        }
    }
}

void DrawFigurFromStrip(QImage& Dst, const QRect& D, const QImage& Strip, int32_t Piece) {
    const int cell = FigurenZelle(Piece);
    if (cell == 0) return;
    const QRect mask = FigurenMaskeRect(Strip, cell);
    const QRect pic = FigurenBildRect(Strip, cell);
    if (mask.isEmpty() || pic.isEmpty()) return;
    CopyRectMode(Dst, D, Strip, mask, TCopyMode::SrcErase);
    CopyRectMode(Dst, D, Strip, pic, TCopyMode::SrcInvert);
}

TStripLoad LoadUserStrip(const QString& Path, QImage& Strip) {
    const QFileInfo info(Path);
    if (!info.exists() || !info.isFile()) return TStripLoad::NotFound;
    QImage img;
    if (!img.load(Path)) return TStripLoad::LoadFailed;
    // Half the height, rounded half to even; kept wide so that a huge
    // height cannot wrap round into the accepted range.
    const auto s = static_cast<int64_t>(std::nearbyint(img.height() / 2.0));
    if (s < 10 || s > 100 || img.width() < 12 * s) return TStripLoad::BadSize;
    Strip = img.convertToFormat(QImage::Format_RGB32);
    return TStripLoad::Ok;
}

} // namespace kb
