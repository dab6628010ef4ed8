// SPDX-License-Identifier: GPL-3.0-or-later
#include "uReport.h"

#include "Main.h"
#include "PGN.h"
#include "PGNWinHost.h"

#include <QAction>
#include <QPainter>

namespace kb {

namespace {

void LogLine(const QString& Text) {
    if (TMainForm* m = MainForm()) m->Log(Text);
}

} // namespace

TfrmReport::TfrmReport(QWidget* Parent, std::optional<bool> Use1Echecs)
    : QWidget(Parent), ChessReport(new TChessReport(this)) {
    setWindowTitle(QStringLiteral("frmReport"));
    setVisible(false);

    TChessReport& r = *ChessReport;
    r.PageSize = QPageSize(QPageSize::A4);
    r.Orientation = QPageLayout::Portrait;
    r.Columns = 2;
    r.FirstPageHeader = true;
    r.LastPageFooter = true;
    r.PrintIfEmpty = true;
    r.Detail.FillColumn = true;
    r.Detail.BeforePrint = [this](QPaintDevice* Device, const QSizeF& Size) {
        QRChessRichText1.SetBounds(Device, Size);
    };
    r.Detail.OnPrint = [this](QPainter& Painter, const QRectF& Rect) {
        QRChessRichText1.Print(Painter, Rect.topLeft());
    };
    r.OnNeedData = [this](bool& MoreData) { ChessReportNeedData(MoreData); };
    r.BeforeRun = [this] {
        // From the start on every run: a second run from the preview
        // prints the same pages again. A stop pressed during an earlier
        // run has had its effect there and must not end this one.
        if (TMainForm* m = MainForm()) m->StopRequested = false;
        recordDone_ = false;
        printedUpTo_ = 0;
        QRChessRichText1.ClearPrintText();
    };
    r.AfterRun = [this] {
        // A run stopped early ends the later runs of this report (the
        // preview repaints and prints) where its last band ended.
        if (ChessReport->Stopped() && printedUpTo_ > 0) shownUpTo_ = printedUpTo_;
        QRChessRichText1.EndRun();
        // The bar is empty again also while the preview stays open.
        if (OnProgress) OnProgress(0);
    };
    r.OnPage = [this](int) { return !OnProgress || OnProgress(Percent()); };
    QRChessRichText1.OnBuildProgress = [this](int Percent) {
        return !OnProgress || OnProgress(Percent);
    };

    // Design fonts of the form.
    TQRChessRichText& t = QRChessRichText1;
    t.FirstPosition = true;
    t.FontHeadLine.Font.setFamily(QStringLiteral("Arial"));
    t.FontHeadLine.Font.setBold(true);
    t.FontHVar.Font.setFamily(QStringLiteral("Courier New"));
    t.FontHVar.Font.setBold(true);
    t.Font1Var.Font.setFamily(QStringLiteral("Courier New"));
    t.Font1Var.Font.setBold(false);
    t.Font2Var.Font.setFamily(QStringLiteral("Courier New"));
    t.Font2Var.Font.setPointSize(8);
    t.FontResult.Font = QFont(QStringLiteral("Courier New"), 12, QFont::Bold);
    t.FontResult.Font.setStyleHint(QFont::Monospace);
    t.FontResult.Color = QColor(0x80, 0x00, 0x00);
    t.FontDia.Font.setFamily(QStringLiteral("Chess Merida"));

    FormCreate(Use1Echecs);
}

TfrmReport::~TfrmReport() = default;

void TfrmReport::FormCreate(std::optional<bool> Use1Echecs) {
    bool echecs = true; // the print-font setting's default
    TMainForm* m = MainForm();
    if (m && m->m1Echecs) echecs = m->m1Echecs->isChecked();
    if (m && !OnProgress) {
        OnProgress = [m](int Percent) {
            int cancel = cmGoOn;
            m->PGNTrace(nullptr, Percent, cancel);
            return cancel != cmCancel;
        };
    }
    if (Use1Echecs) echecs = *Use1Echecs;
    QRChessRichText1.FontDia.Font.setFamily(echecs ? QStringLiteral("1Echecs")
                                                   : QStringLiteral("Chess Merida"));
}

void TfrmReport::ChessReportNeedData(bool& MoreData) {
    if (Tag != 0) {
        MoreData = !recordDone_;
        recordDone_ = true;
        return;
    }
    const TChessPrintText& d = QRChessRichText1.PrintData();
    if (shownUpTo_ > 0 && !d.PrintText.empty() && d.PrintPos >= shownUpTo_) {
        QRChessRichText1.ClearPrintText();
        MoreData = false;
        return;
    }
    // Every band asked for before this one has been printed.
    printedUpTo_ = d.PrintPos;
    MoreData = QRChessRichText1.NextChunk();
    if (QRChessRichText1.Cancelled()) ChessReport->Stop();
}

int TfrmReport::Percent() const {
    const TChessPrintText& d = QRChessRichText1.PrintData();
    if (Tag != 0 || d.PrintText.empty()) return 100;
    const int64_t end = shownUpTo_ > 0 ? shownUpTo_ : static_cast<int64_t>(d.PrintText.size());
    return kb::Percent(std::min<int64_t>(d.PrintPos, end), end);
}

int TfrmReport::Run(TReportOutput Output, QWidget* Parent, const QString& PdfFile) {
    shownUpTo_ = 0;
    int pages = 0;
    switch (Output) {
    case TReportOutput::Preview:
        // Accepted once printed from there: the last run was the print.
        pages = ChessReport->Preview(Parent) ? ChessReport->PageCount() : 0;
        break;
    case TReportOutput::Printer:
        pages = ChessReport->PrintWithDialog(Parent);
        break;
    case TReportOutput::Pdf:
        // A stopped export writes no file at all.
        pages = ChessReport->ExportPdf(PdfFile);
        break;
    }
    if (OnProgress) OnProgress(0);
    if (pages < 0) {
        LogLine(QStringLiteral("Printing failed"));
    } else if (pages > 0 && ChessReport->Stopped()) {
        LogLine(QStringLiteral("Printing stopped after %1 pages").arg(pages));
        // Paper that holds only the first pages must not pass for the whole.
        const QString text = LwLanguageColumn() == 0
                                 ? QStringLiteral("Der Druck wurde nach Seite %1 angehalten.")
                                 : QStringLiteral("Printing was stopped after page %1.");
        LwMessage(Parent, TLwMsgType::Information, text.arg(pages), lbOK);
    } else if (pages > 0) {
        LogLine(QStringLiteral("Printed %1 pages").arg(pages));
    }
    return pages;
}

int TfrmReport::PrintDiagram(const std::string& FEN, TReportOutput Output, QWidget* Parent,
                             const QString& PdfFile, std::optional<bool> Use1Echecs) {
    TfrmReport form(nullptr, Use1Echecs);
    form.QRChessRichText1.SetFEN(FEN);
    form.Tag = 1;
    return form.Run(Output, Parent, PdfFile);
}

TPrintMoveStyle BoardMoveStyle() {
    TPrintMoveStyle s;
    s.Font = ListHost().NotationFont();
    s.English = LwLanguageColumn() != 0;
    if (TMainForm* m = MainForm()) {
        s.Color = m->FontDialog1.Color;
        s.Letters = {m->figK, m->figQ, m->figR, m->figB, m->figN, m->figP};
    }
    return s;
}

int TfrmReport::PrintGames(const std::string& PGNGames, const TPrintMoveStyle* Moves,
                           TReportOutput Output, QWidget* Parent, const QString& PdfFile,
                           std::optional<bool> Use1Echecs) {
    if (PGNGames.empty()) return 0;
    TfrmReport form(nullptr, Use1Echecs);
    TQRChessRichText& t = form.QRChessRichText1;
    if (Moves) {
        for (TPrintFont* f : {&t.FontHVar, &t.Font1Var, &t.Font2Var}) {
            f->Font = Moves->Font;
            f->Color = Moves->Color;
        }
        t.FontHVar.Font.setBold(true);
        t.Font1Var.Font.setBold(false);
        t.Font1Var.Font.setItalic(false);
        t.Font2Var.Font.setBold(false);
        t.Font2Var.Font.setItalic(true);
        TNotation& n = t.HiddenNotation();
        const auto& l = Moves->Letters;
        n.SetPieceLetters(l[0], l[1], l[2], l[3], l[4], l[5]);
        n.SetEnglish(Moves->English);
    }
    t.PGNGames = PGNGames;
    return form.Run(Output, Parent, PdfFile);
}

} // namespace kb
