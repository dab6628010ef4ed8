// SPDX-License-Identifier: GPL-3.0-or-later
// Piece sprite strips: twelve cells side by side, the picture row above and
// the mask row below. Pieces are drawn with the two raster operations that
// let the square show around the piece, applied per pixel.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>

namespace kb {

enum class TFigurenset : uint8_t {
    User,
    F32,
    WinboardF21,
    WinboardF25,
    WinboardF29,
    WinboardF33,
    WinboardF37,
    WinboardF40,
    WinboardF45,
    WinboardF49,
    WinboardF54,
    WinboardF58,
    WinboardF64,
    WinboardF72,
    WinboardF80,
};

// Cell size in pixels of a built-in set; User and unknown values give 32.
int FigurenGroesse(TFigurenset Set);

// The DejaVu Sans font file the pieces are drawn from, built into the
// program as a resource: load it with QRawFont, never by family name.
QString PieceFontFile();

// Builds the strip of a built-in set (12 s x 2 s pixels) from the chess
// glyphs of PieceFontFile(). Returns a null image when the font cannot be
// read.
QImage BuildFigurenStrip(TFigurenset Set);
// The same pieces drawn for cells of CellSize pixels.
QImage BuildFigurenStrip(int CellSize);

// Cell 1..12 of a signed piece code, 0 for anything that is not a piece.
int FigurenZelle(int32_t Piece);

// Picture and mask rectangles of cell 1..12; empty when the strip is too
// small to hold a cell (zero-width cells, fewer than two rows).
QRect FigurenBildRect(const QImage& Strip, int Cell);
QRect FigurenMaskeRect(const QImage& Strip, int Cell);

enum class TCopyMode { SrcCopy, SrcErase, SrcInvert };

// Copies the source rectangle S onto the destination rectangle D, stretched
// (nearest pixel), combining per pixel: SrcCopy d = s, SrcErase d = s AND NOT
// d, SrcInvert d = s XOR d. Parts of D outside Dst are skipped. Both images
// are expected in QImage::Format_RGB32.
void CopyRectMode(QImage& Dst, const QRect& D, const QImage& Src, const QRect& S, TCopyMode Mode);

// Draws Piece from the strip onto D: the mask with SrcErase, then the
// picture with SrcInvert. Nothing for non-pieces or unusable strips.
void DrawFigurFromStrip(QImage& Dst, const QRect& D, const QImage& Strip, int32_t Piece);

enum class TStripLoad { Ok, NotFound, LoadFailed, BadSize };

// Reads a user strip once and checks its size: s = height / 2 rounded half to
// even must lie in 10..100 and the width must hold 12 cells of s. On Ok the
// image is returned in Strip (as stored, converted to RGB32).
TStripLoad LoadUserStrip(const QString& Path, QImage& Strip);

} // namespace kb
