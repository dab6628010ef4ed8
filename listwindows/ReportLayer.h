// SPDX-License-Identifier: GPL-3.0-or-later
// A small banded report over QPrinter: pages in columns, a detail band that
// asks for data before each print (the need-data event) and fills the
// column, a page header on the first page and a page footer on the last.
// The same run prints on paper, into a PDF file and into the print preview.
#pragma once

#include <QMarginsF>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>

#include <functional>

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace kb {

// One band: its height in device pixels, told its room before it prints.
struct TReportBand {
    qreal Height = 0;
    // Stretch to the rest of the column (the detail band of a flowing text).
    bool FillColumn = false;
    std::function<void(QPaintDevice* Device, const QSizeF& Size)> BeforePrint;
    std::function<void(QPainter& Painter, const QRectF& Rect)> OnPrint;
};

class TChessReport : public QObject {
    Q_OBJECT

public:
    explicit TChessReport(QObject* Parent = nullptr);

    // Page: A4 portrait by default, margins in millimetres.
    QPageSize PageSize{QPageSize::A4};
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    QMarginsF MarginsMM{12, 12, 12, 12};
    int Columns = 2;
    qreal ColumnSpaceMM = 8;
    // Options.
    bool FirstPageHeader = true;
    bool LastPageFooter = true;
    bool PrintIfEmpty = true;

    TReportBand PageHeader;
    TReportBand PageFooter;
    TReportBand Detail;
    // Asked once before every detail band; MoreData false ends the report.
    std::function<void(bool& MoreData)> OnNeedData;
    // Called from OnNeedData when the user stopped the run there.
    void Stop() { stopAsked_ = true; }
    // Start of every print run (the preview runs it again for each repaint).
    std::function<void()> BeforeRun;
    // End of every run, however it ended, while the printer still exists.
    std::function<void()> AfterRun;
    // After every page; false stops the report there.
    std::function<bool(int Page)> OnPage;

    // Prints every page on Printer (paper or PDF as set up there); the page
    // count, -1 when the printer could not be started or a run is already
    // going on (events pumped by a run must not start another one).
    int Print(QPrinter& Printer);
    // Prints into a PDF file; the page count, 0 when stopped (no file is
    // written then), -1 on failure. An earlier file is replaced only by a
    // complete one.
    int ExportPdf(const QString& FileName);
    // Shows the report in the print preview; false when cancelled.
    bool Preview(QWidget* Parent);
    // Both dialogs run through the answerer of modal questions (ExecDialog).
    // Asks for a printer with the print dialog, then prints; the page count,
    // 0 when the user cancelled, -1 on failure.
    int PrintWithDialog(QWidget* Parent);

    // Puts the page setup into a printer.
    void SetupPrinter(QPrinter& Printer) const;
    // Pages of the last run, and whether OnPage stopped it.
    int PageCount() const { return pageCount_; }
    bool Stopped() const { return stopped_; }

private:
    int pageCount_ = 0;
    bool stopped_ = false;
    bool stopAsked_ = false;
    bool running_ = false;
    int PrintPages(QPrinter& Printer);
};

} // namespace kb
