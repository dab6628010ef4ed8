// SPDX-License-Identifier: GPL-3.0-or-later
// TfrmReport: the print form. It holds one report (A4 portrait, two
// columns) whose detail band prints a TQRChessRichText: flowing game text
// band by band (Tag 0), or one diagram as a single record (Tag 1).
//
// Entry points for the windows:
//
//   Board window, one diagram of the current position (printer dialog, then
//   paper):
//     TfrmReport::PrintDiagram(FEN, TReportOutput::Printer, this);
//
//   Game list, the selected games joined (each game's PGN text from its
//   [Event tag line on), with the moves as the board windows show them (the
//   notation font and colour: bold main line, plain first level, italic
//   deeper; the chosen piece letters, else the language's), in the preview:
//     const TPrintMoveStyle moves = BoardMoveStyle();
//     TfrmReport::PrintGames(Text, &moves, TReportOutput::Preview, this);
//
//   Either into a PDF file: TReportOutput::Pdf and the file name.
//
// Game list windows print through the hook RegisterPrinting() installs
// (it also installs the material dialog); RegisterProgramWindows() calls it.
//
// The diagram font follows the main window's print-font choice ("1Echecs" or
// "Chess Merida"); a caller may pass the choice instead.
#pragma once

#include "ChessPrint.h"
#include "ReportLayer.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace kb {

enum class TReportOutput {
    Preview, // the print preview; printing from there prints on paper
    Printer, // the print dialog, then the chosen printer
    Pdf,     // a PDF file, no dialog
};

// How printed moves look: font, colour and the piece letters K, Q, R, B, N,
// P (an empty one: the built-in letter of the language).
struct TPrintMoveStyle {
    QFont Font;
    QColor Color = Qt::black;
    std::array<std::string, 6> Letters;
    bool English = false;
};

// The moves as the board windows show them: the main window's notation
// font, colour and letters, and its language.
TPrintMoveStyle BoardMoveStyle();

class TfrmReport : public QWidget {
    Q_OBJECT

public:
    // Use1Echecs: the diagram font, "1Echecs" when true, "Chess Merida" when
    // false; left out, the main window's choice ("1Echecs" without one).
    explicit TfrmReport(QWidget* Parent = nullptr, std::optional<bool> Use1Echecs = std::nullopt);
    ~TfrmReport() override;

    // 1: one record (a single diagram set through QRChessRichText1.SetFEN);
    // 0: flowing text from QRChessRichText1.PGNGames.
    int Tag = 0;
    TChessReport* ChessReport = nullptr;
    TReportBand& bandDetail() { return ChessReport->Detail; }
    TQRChessRichText QRChessRichText1;
    // Progress of a run in percent of the text; false stops it. Set to the
    // main window's progress and stop button when there is one.
    std::function<bool(int Percent)> OnProgress;

    void FormCreate(std::optional<bool> Use1Echecs);
    void ChessReportNeedData(bool& MoreData);

    // Prints as Output says; the page count, 0 when cancelled, -1 on failure.
    int Run(TReportOutput Output, QWidget* Parent = nullptr, const QString& PdfFile = {});

    // One diagram of the position, as the board window prints it.
    static int PrintDiagram(const std::string& FEN, TReportOutput Output, QWidget* Parent = nullptr,
                            const QString& PdfFile = {},
                            std::optional<bool> Use1Echecs = std::nullopt);
    // Games as PGN text. Moves, when given, sets the move fonts and letters.
    static int PrintGames(const std::string& PGNGames, const TPrintMoveStyle* Moves,
                          TReportOutput Output, QWidget* Parent = nullptr,
                          const QString& PdfFile = {},
                          std::optional<bool> Use1Echecs = std::nullopt);

private:
    bool recordDone_ = false;
    // Text position at the end of the last band printed in this run, and
    // where the last run stopped early ended (0: it was not stopped). Later
    // runs of the same report print no further than the stopped one did:
    // a stopped preview repaints and prints the pages it shows.
    int32_t printedUpTo_ = 0;
    int32_t shownUpTo_ = 0;
    int Percent() const;
};

// Installs printing of selected games (TMDIPGN::GamePrinter, the preview)
// and the material dialog (TMDIPGN::MaterialDialog) into the game lists.
void RegisterPrinting();

} // namespace kb
