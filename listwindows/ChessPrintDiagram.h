// SPDX-License-Identifier: GPL-3.0-or-later
// Printed diagrams without the chess font: the chess fonts are rarely
// installed, so a diagram whose font is missing is drawn square by square
// from its text, in the room the font would take (ten by ten cells of the
// font size: the frame around eight by eight squares).
#pragma once

#include "SchachProcs.h"

#include <QObject>
#include <QSizeF>
#include <QTextObjectInterface>

class QPainter;
class QRectF;
class QString;
class QTextCharFormat;

namespace kb {

// True when a font of that family is installed (letter case ignored).
bool ChessFontInstalled(const QString& Family);

// Draws the board into Rect, a square of ten cells: a frame in the outer
// ring, light and hatched dark squares, pieces from the DejaVu Sans chess
// glyphs.
void DrawPrintDiagram(QPainter& Painter, const QRectF& Rect, const TSchachbrett& Board);

// The inline object that stands for a whole diagram in a printed text.
class TDiagramObject : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int Type = QTextFormat::UserObject + 17;
    // A character format for the object: the board and the font size in
    // points (one cell).
    static QTextCharFormat Format(const TSchachbrett& Board, qreal PointSize);
    static bool BoardOf(const QTextFormat& Format, TSchachbrett& Board);

    QSizeF intrinsicSize(QTextDocument* Doc, int PosInDocument, const QTextFormat& Format) override;
    void drawObject(QPainter* Painter, const QRectF& Rect, QTextDocument* Doc, int PosInDocument,
                    const QTextFormat& Format) override;
};

} // namespace kb
