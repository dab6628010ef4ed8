// SPDX-License-Identifier: GPL-3.0-or-later
// TQRChessRichText: the printable chess text of a report band. It prints
// either games given as PGN text (PGNGames: headline per game, moves in
// fonts by variation depth, comments, diagrams at the comments' diagram
// marks, results) band by band through NextChunk, or one diagram of a
// position (FEN).
//
// What a band holds is measured with Qt's text layout on the device that
// prints it (SetBounds gives the printer and the band size), so what is
// measured is what prints. A diagram is set in its chess font when that font
// is installed, otherwise drawn square by square in the same room.
#pragma once

#include "ChessPrintText.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPaintDevice;
class QPainter;
class QTextDocument;

namespace kb {

class TDiagramObject;

// A font with its colour.
struct TPrintFont {
    QFont Font;
    QColor Color;
};

class TQRChessRichText {
public:
    TQRChessRichText();
    ~TQRChessRichText();
    TQRChessRichText(const TQRChessRichText&) = delete;
    TQRChessRichText& operator=(const TQRChessRichText&) = delete;

    // --- published properties ----------------------------------------------
    bool FirstPosition = false;
    // Set before a report starts; changing it while printing is not supported.
    std::string PGNGames;
    const std::string& FEN() const { return fen_; }
    // One diagram of the position; an unreadable FEN leaves the text empty.
    void SetFEN(const std::string& Value);
    TPrintFont FontHeadLine, FontHVar, Font1Var, Font2Var, FontDia, FontResult, FontComment;
    // Font table file for the diagram text functions; never set.
    std::string FontIniFile;

    // --- printing ------------------------------------------------------------
    // The band this element fills: the device it prints on and its size in
    // that device's pixels. Without a device the screen's resolution is used.
    void SetBounds(QPaintDevice* Device, const QSizeF& Size);
    QSizeF Size() const { return size_; }
    // Loads the next band's worth of text; false when all was handed out
    // (the state is then cleared, so the next call starts over).
    bool NextChunk();
    // Percent of the games laid out while the text is built; false stops
    // the build, and NextChunk then answers false with Cancelled() set.
    std::function<bool(int Percent)> OnBuildProgress;
    bool Cancelled() const { return cancelled_; }
    void ClearPrintText();
    int SegmentAt(int32_t Position) const { return text_.SegmentAt(Position); }
    // Draws what NextChunk or SetFEN loaded, clipped to the band.
    void Print(QPainter& Painter, const QPointF& TopLeft);
    // Ends a run while its device still exists: the band documents are
    // emptied and measure on the screen again, so that no layout left
    // pending (Qt finishes long texts from a timer, which runs whenever
    // events are pumped) reaches the printer once it is gone.
    void EndRun();

    // What prints: the band's text as laid out.
    QTextDocument& HiddenRichEdit() { return *hiddenRichEdit_; }
    // Text, runs and chunk state.
    const TChessPrintText& PrintData() const { return text_; }
    TNotation& HiddenNotation() { return *hiddenNotation_; }
    // Diagrams are drawn (the diagram font is not installed).
    bool DrawnDiagrams() const;
    const TPrintFont& FontOfKind(uint8_t Kind) const;
    // Characters handed to the text layout since construction, measuring and
    // printing together, and the most in one layout: the work a print run
    // does grows with the first, and the second stays within a band's worth.
    struct TLayoutWork {
        int64_t Chars = 0;
        int64_t Largest = 0;
    };
    const TLayoutWork& LayoutWork() const { return work_; }

private:
    void PrepareRenderer();
    void SetupDocument(QTextDocument& Doc) const;
    // Fills Doc with the text First..Last of Text in the runs' fonts; Map
    // gets for each document position the 1-based text position it came from.
    void FillDocument(QTextDocument& Doc, const std::string& Text,
                      const std::vector<TPrintSegment>& Runs, int32_t First, int32_t Last,
                      std::vector<int32_t>* Map) const;
    TChunkFit FitChars(int32_t First);
    int32_t EstimateLast(int32_t First) const;
    void ShowFEN();

    std::string fen_;
    bool fenShown_ = false;
    bool cancelled_ = false;
    TChessPrintText text_;
    std::unique_ptr<TNotation> hiddenNotation_;
    std::unique_ptr<TDiagramObject> diagramObject_; // before the documents that use it
    std::unique_ptr<QTextDocument> hiddenRichEdit_;
    std::unique_ptr<QTextDocument> measureDoc_;
    QPaintDevice* device_ = nullptr;
    QSizeF size_{600, 800};
    mutable TLayoutWork work_;
};

} // namespace kb
