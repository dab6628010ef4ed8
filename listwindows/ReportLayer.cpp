// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportLayer.h"

#include "DialogsLng.h"

#include <QDialog>
#include <QFile>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <filesystem>
#include <system_error>

namespace kb {

TChessReport::TChessReport(QObject* Parent) : QObject(Parent) {}

void TChessReport::SetupPrinter(QPrinter& Printer) const {
    Printer.setFullPage(false);
    Printer.setPageSize(PageSize);
    Printer.setPageOrientation(Orientation);
    Printer.setPageMargins(MarginsMM, QPageLayout::Millimeter);
}

int TChessReport::Print(QPrinter& Printer) {
    if (running_) return -1;
    running_ = true;
    const int pages = PrintPages(Printer);
    // Before the printer goes: whatever was laid out for it lets go of it.
    if (AfterRun) AfterRun();
    running_ = false;
    return pages;
}

int TChessReport::PrintPages(QPrinter& Printer) {
    pageCount_ = 0;
    stopped_ = false;
    stopAsked_ = false;
    // Every run starts from the beginning, also a second one from the preview.
    if (BeforeRun) BeforeRun();

    const qreal res = Printer.resolution();
    const QSizeF area = Printer.pageLayout().paintRectPixels(static_cast<int>(res)).size();
    const qreal space = ColumnSpaceMM / 25.4 * res;
    const int columns = std::max(1, Columns);
    const qreal colWidth = (area.width() - (columns - 1) * space) / columns;
    const qreal headerHeight = FirstPageHeader && PageHeader.OnPrint ? PageHeader.Height : 0;
    // The footer's room is kept on every page: any page may turn out the last.
    const qreal footerHeight = LastPageFooter && PageFooter.OnPrint ? PageFooter.Height : 0;
    const qreal bottom = area.height() - footerHeight;

    QPainter painter;
    int page = 0; // the page being printed, 0 before the first
    auto startPage = [&](int Number) {
        if (Number == 1) {
            if (!painter.begin(&Printer)) return false;
        } else if (!Printer.newPage()) {
            return false;
        }
        page = pageCount_ = Number;
        if (Number == 1 && headerHeight > 0)
            PageHeader.OnPrint(painter, QRectF(0, 0, area.width(), headerHeight));
        return true;
    };

    // The next band's place: page, column and top. A page is started only
    // once a band has data for it, so no empty page trails the report.
    int slotPage = 1;
    int col = 0;
    qreal y = headerHeight;
    bool failed = false;
    while (true) {
        const qreal top = slotPage == 1 ? headerHeight : 0;
        if (bottom - top <= 1) break; // no room for any band
        // A fixed band taller than the column prints clipped to it.
        const qreal h = Detail.FillColumn ? bottom - y : std::min(Detail.Height, bottom - top);
        if (h <= 1 || y + h > bottom + 0.5) {
            // The column is full: the next column, or the next page.
            if (++col >= columns) {
                col = 0;
                ++slotPage;
            }
            y = slotPage == 1 ? headerHeight : 0;
            continue;
        }
        if (Detail.BeforePrint) Detail.BeforePrint(&Printer, QSizeF(colWidth, h));
        bool more = false;
        if (OnNeedData) OnNeedData(more);
        if (stopAsked_) {
            stopped_ = true;
            break;
        }
        if (!more) break;
        if (slotPage != page) {
            if (page > 0 && OnPage && !OnPage(page)) {
                stopped_ = true;
                break;
            }
            if (!startPage(slotPage)) {
                failed = true;
                break;
            }
        }
        if (Detail.OnPrint)
            Detail.OnPrint(painter, QRectF(col * (colWidth + space), y, colWidth, h));
        y += h;
        if (Detail.FillColumn) y = bottom;
    }
    if (!failed && page == 0 && PrintIfEmpty) failed = !startPage(1);
    if (failed) {
        if (painter.isActive()) painter.end();
        return -1;
    }
    if (page > 0) {
        if (footerHeight > 0 && !stopped_)
            PageFooter.OnPrint(painter, QRectF(0, bottom, area.width(), footerHeight));
        if (!stopped_ && OnPage) OnPage(page);
        painter.end();
    }
    if (Printer.printerState() == QPrinter::Error) return -1;
    return pageCount_;
}

int TChessReport::ExportPdf(const QString& FileName) {
    // Written beside the target and renamed over it once complete, so that a
    // failed or stopped run leaves an earlier file as it was.
    const QString part = FileName + QStringLiteral(".part");
    int pages = -1;
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(part);
        SetupPrinter(printer);
        pages = Print(printer);
    }
    if (pages <= 0 || stopped_) {
        QFile::remove(part);
        return stopped_ ? 0 : (pages == 0 ? 0 : -1);
    }
    std::error_code ec;
    std::filesystem::rename(part.toStdString(), FileName.toStdString(), ec);
    if (ec) {
        QFile::remove(part);
        return -1;
    }
    return pages;
}

bool TChessReport::Preview(QWidget* Parent) {
    QPrinter printer(QPrinter::HighResolution);
    SetupPrinter(printer);
    QPrintPreviewDialog dlg(&printer, Parent);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { Print(*p); });
    return ExecDialog(dlg) == QDialog::Accepted;
}

int TChessReport::PrintWithDialog(QWidget* Parent) {
    QPrinter printer(QPrinter::HighResolution);
    SetupPrinter(printer);
    QPrintDialog dlg(&printer, Parent);
    if (ExecDialog(dlg) != QDialog::Accepted) return 0;
    return Print(printer);
}

} // namespace kb
