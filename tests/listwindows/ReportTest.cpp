// SPDX-License-Identifier: GPL-3.0-or-later
// The banded report over QPrinter and the report form: pages and columns,
// header and footer, single records, runs repeated from the preview,
// stopping, and the PDF file replaced only by a complete one.
#include "DialogsLng.h"
#include "Main.h"
#include "PGNWin.h"
#include "PrintTestSupport.h"
#include "ReportLayer.h"
#include "UfrmMaterial.h"
#include "uReport.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressBar>
#include <QSpinBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kb;

namespace {

QString Path(const kbtest::TempDir& d, const char* name) {
    return QString::fromStdString((d / name).string());
}

// A report whose detail band has Bands records; it notes where things print.
struct TCountingReport {
    TChessReport Report;
    int Bands = 0;
    int Asked = 0;
    std::vector<QRectF> Details;
    std::vector<int> DetailPages, Headers, Footers;
    int Page = 1;

    explicit TCountingReport(int bands, bool fill = true) : Bands(bands) {
        Report.Detail.FillColumn = fill;
        Report.Detail.Height = 1500;
        Report.OnNeedData = [this](bool& More) { More = Asked++ < Bands; };
        Report.Detail.OnPrint = [this](QPainter&, const QRectF& R) {
            Details.push_back(R);
            DetailPages.push_back(Page);
        };
        Report.PageHeader.Height = 300;
        Report.PageHeader.OnPrint = [this](QPainter&, const QRectF&) { Headers.push_back(Page); };
        Report.PageFooter.Height = 200;
        Report.PageFooter.OnPrint = [this](QPainter&, const QRectF&) { Footers.push_back(Page); };
        Report.OnPage = [this](int P) {
            Page = P + 1;
            return true;
        };
        Report.BeforeRun = [this] {
            Asked = 0;
            Page = 1;
            Details.clear();
            DetailPages.clear();
            Headers.clear();
            Footers.clear();
        };
    }
};

} // namespace

TEST(Report, ColumnsPagesHeaderAndFooter) {
    kbtest::TempDir dir;
    for (int bands : {1, 2, 3, 4, 5, 9}) {
        TCountingReport r(bands);
        const int pages = r.Report.ExportPdf(Path(dir, "a.pdf"));
        // Two columns a page, and no empty page after the last band.
        EXPECT_EQ(pages, (bands + 1) / 2) << bands;
        ASSERT_EQ(static_cast<int>(r.Details.size()), bands);
        for (int i = 0; i < bands; ++i)
            EXPECT_EQ(r.DetailPages[static_cast<size_t>(i)], i / 2 + 1);
        EXPECT_LT(r.Details[0].left(), 1);
        if (bands > 1) {
            EXPECT_GT(r.Details[1].left(), r.Details[0].right());
        }
        // Header on the first page only, below it the first band; footer on the last.
        EXPECT_EQ(r.Headers, std::vector<int>{1});
        EXPECT_EQ(r.Footers, std::vector<int>{pages});
        EXPECT_NEAR(r.Details[0].top(), 300, 0.5);
        if (bands > 2) {
            EXPECT_NEAR(r.Details[2].top(), 0, 0.5);
        }
        // Every page keeps the footer's room.
        for (const QRectF& d : r.Details)
            EXPECT_LE(d.bottom(), r.Details[0].bottom() + 0.5);
    }
}

TEST(Report, FixedBandsFillTheColumnAndTallOnesAreClipped) {
    kbtest::TempDir dir;
    TCountingReport r(30, false);
    ASSERT_GT(r.Report.ExportPdf(Path(dir, "b.pdf")), 0);
    ASSERT_EQ(r.Details.size(), 30u);
    // Several bands one below the other in a column.
    EXPECT_NEAR(r.Details[1].top(), r.Details[0].bottom(), 0.5);

    TCountingReport tall(3, false);
    tall.Report.Detail.Height = 1e7;
    EXPECT_EQ(tall.Report.ExportPdf(Path(dir, "c.pdf")), 2);
    EXPECT_EQ(tall.Details.size(), 3u);
}

TEST(Report, EmptyReports) {
    kbtest::TempDir dir;
    TCountingReport r(0);
    EXPECT_EQ(r.Report.ExportPdf(Path(dir, "e.pdf")), 1); // print if empty
    EXPECT_EQ(r.Headers, std::vector<int>{1});
    EXPECT_TRUE(std::filesystem::exists(dir / "e.pdf"));

    TCountingReport none(0);
    none.Report.PrintIfEmpty = false;
    EXPECT_EQ(none.Report.ExportPdf(Path(dir, "n.pdf")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "n.pdf"));
}

TEST(Report, StoppedRunLeavesTheOldFile) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "old.pdf", "earlier file");
    TCountingReport r(20);
    r.Report.OnPage = [](int Page) { return Page < 2; };
    EXPECT_EQ(r.Report.ExportPdf(Path(dir, "old.pdf")), 0);
    EXPECT_TRUE(r.Report.Stopped());
    EXPECT_EQ(r.Report.PageCount(), 2);
    EXPECT_EQ(kbtest::ReadFile(dir / "old.pdf"), "earlier file");
    EXPECT_FALSE(std::filesystem::exists(dir / "old.pdf.part"));

    // An unwritable target is a failure, not a success.
    TCountingReport w(3);
    EXPECT_EQ(w.Report.ExportPdf(Path(dir, "no/such/folder/x.pdf")), -1);
}

TEST(ReportForm, SingleDiagramIsOneRecord) {
    kbtest::TempDir dir;
    TfrmReport form(nullptr, false);
    EXPECT_EQ(form.QRChessRichText1.FontDia.Font.family(), QStringLiteral("Chess Merida"));
    form.QRChessRichText1.SetFEN("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    form.Tag = 1;
    int details = 0;
    auto print = form.bandDetail().OnPrint;
    form.bandDetail().OnPrint = [&](QPainter& p, const QRectF& r) {
        ++details;
        print(p, r);
    };
    for (int run = 1; run <= 2; ++run) {
        details = 0;
        EXPECT_EQ(form.Run(TReportOutput::Pdf, nullptr, Path(dir, "d.pdf")), 1);
        EXPECT_EQ(details, 1) << "run " << run;
    }
    TfrmReport echecs(nullptr, true);
    EXPECT_EQ(echecs.QRChessRichText1.FontDia.Font.family(), QStringLiteral("1Echecs"));
}

TEST(ReportForm, PreviewPrintsAgainFromTheStart) {
    TfrmReport form(nullptr, true);
    form.QRChessRichText1.PGNGames =
        printtest::Annotated() +
        kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    std::vector<int> pages;
    TAnswerer answers;
    answers.Dialog = [&](QDialog& d) {
        auto* preview = d.findChild<QPrintPreviewWidget*>();
        EXPECT_NE(preview, nullptr);
        if (!preview) return mrCancel;
        // Each repaint of the preview, and printing from it, is a new run.
        for (int i = 0; i < 3; ++i) {
            preview->updatePreview();
            pages.push_back(preview->pageCount());
        }
        return mrOk;
    };
    TAnswererScope scope(answers);
    EXPECT_GT(form.Run(TReportOutput::Preview), 1);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_GT(pages[0], 1);
    EXPECT_EQ(pages[1], pages[0]);
    EXPECT_EQ(pages[2], pages[0]);
}

TEST(ReportForm, PrintingFromThePreviewTwiceAndClosingItHalfway) {
    // Printing pumps events (the main window's progress and stop button);
    // Qt finishes long text layouts from a timer then, and the preview's
    // printer lives only as long as the preview. The real dialog runs here.
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "Kestrelbay.ini", "");
    TAnswerer answers;
    answers.Message = [](const TMessageRequest&) { return mrOk; };
    TAnswererScope scope(answers);
    auto frame = std::make_unique<TMainForm>(QString::fromStdString(dir.path().string()));
    frame->show();
    TfrmReport form;
    std::string games;
    for (int i = 0; i < 4; ++i)
        games += kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    form.QRChessRichText1.PGNGames = printtest::Annotated() + games;
    auto pump = form.OnProgress;
    ASSERT_TRUE(pump);
    QPointer<QDialog> closeDuring;
    int calls = 0, closeAt = -1;
    form.OnProgress = [&](int Percent) {
        // Printing takes time: Qt's layout timers come due meanwhile.
        QTest::qWait(12);
        if (++calls == closeAt && closeDuring) closeDuring->close();
        return pump(Percent);
    };
    std::vector<int> pages;
    std::vector<qint64> sizes;
    int previewPages = 0;
    TAnswerer preview = answers;
    preview.Dialog = [&](QDialog& d) {
        auto* dlg = qobject_cast<QPrintPreviewDialog*>(&d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg) return mrCancel;
        // Once the preview shows (its first pages are a run of their own).
        std::function<void()> act;
        act = [&, dlg] {
            if (!dlg->isVisible()) {
                QTimer::singleShot(5, dlg, act);
                return;
            }
            auto* widget = dlg->findChild<QPrintPreviewWidget*>();
            previewPages = widget->pageCount();
            QPrinter* p = dlg->printer();
            p->setOutputFormat(QPrinter::PdfFormat);
            for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
                const QString file = Path(dir, name);
                p->setOutputFileName(file);
                // The last one with the preview closed halfway through.
                if (std::string(name) == "c.pdf") {
                    closeDuring = dlg;
                    closeAt = calls + 2;
                }
                widget->print();
                pages.push_back(form.ChessReport->PageCount());
                sizes.push_back(QFileInfo(file).size());
                QTest::qWait(12);
            }
            if (dlg->isVisible()) dlg->accept();
        };
        QTimer::singleShot(0, dlg, act);
        return dlg->exec() == QDialog::Accepted ? mrOk : mrCancel;
    };
    {
        TAnswererScope previewScope(preview);
        // Closed at last: the preview answers cancelled.
        EXPECT_EQ(form.Run(TReportOutput::Preview), 0);
    }
    // Events after the run, as the main loop pumps them.
    QTest::qWait(30);
    EXPECT_EQ(form.QRChessRichText1.HiddenRichEdit().documentLayout()->paintDevice(), nullptr);
    EXPECT_GT(calls, closeAt);
    EXPECT_GT(previewPages, 1);
    ASSERT_EQ(pages.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i], previewPages) << i;
        EXPECT_GT(sizes[i], 10000) << i;
    }
    EXPECT_EQ(frame->prBar->value(), 0) << "the progress bar is empty again";
}

TEST(ReportForm, CancelledDialogsPrintNothing) {
    TAnswerer answers;
    answers.Dialog = [](QDialog&) { return mrCancel; };
    TAnswererScope scope(answers);
    EXPECT_EQ(TfrmReport::PrintDiagram("8/8/8/8/8/8/8/K6k w - - 0 1", TReportOutput::Printer), 0);
    EXPECT_EQ(TfrmReport::PrintGames(printtest::Annotated(), nullptr, TReportOutput::Preview), 0);
    EXPECT_EQ(TfrmReport::PrintGames("", nullptr, TReportOutput::Pdf), 0);
}

TEST(ReportForm, ProgressCanStopARun) {
    kbtest::TempDir dir;
    TfrmReport form(nullptr, true);
    std::string games;
    for (int i = 0; i < 8; ++i)
        games += kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    form.QRChessRichText1.PGNGames = games;
    std::vector<int> seen;
    form.OnProgress = [&](int Percent) {
        seen.push_back(Percent);
        return seen.size() < 2;
    };
    EXPECT_EQ(form.Run(TReportOutput::Pdf, nullptr, Path(dir, "s.pdf")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "s.pdf"));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_GT(seen[0], 0);
    EXPECT_LT(seen[0], 100);
    EXPECT_EQ(seen.back(), 0); // progress reset at the end

    // Stopped after the first page, once the text is built.
    bool built = false;
    form.OnProgress = [&](int Percent) {
        if (built) return false;
        built = Percent == 100;
        return true;
    };
    EXPECT_EQ(form.Run(TReportOutput::Pdf, nullptr, Path(dir, "s.pdf")), 0);
    EXPECT_EQ(form.ChessReport->PageCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "s.pdf"));

    // The next run starts from the first game again.
    form.OnProgress = nullptr;
    const int pages = form.Run(TReportOutput::Pdf, nullptr, Path(dir, "s.pdf"));
    TfrmReport fresh(nullptr, true);
    fresh.QRChessRichText1.PGNGames = games;
    EXPECT_EQ(pages, fresh.Run(TReportOutput::Pdf, nullptr, Path(dir, "t.pdf")));
    EXPECT_GT(pages, 2);
}

TEST(ReportForm, DiagramFontFollowsTheMainWindow) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "Kestrelbay.ini", "");
    TAnswerer answers;
    answers.Message = [](const TMessageRequest&) { return mrOk; };
    TAnswererScope scope(answers);
    auto frame = std::make_unique<TMainForm>(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(MainForm(), frame.get());
    ASSERT_NE(frame->m1Echecs, nullptr);
    frame->m1Echecs->setChecked(false);
    EXPECT_EQ(TfrmReport().QRChessRichText1.FontDia.Font.family(), QStringLiteral("Chess Merida"));
    frame->m1Echecs->setChecked(true);
    EXPECT_EQ(TfrmReport().QRChessRichText1.FontDia.Font.family(), QStringLiteral("1Echecs"));
    // A caller's choice wins.
    EXPECT_EQ(TfrmReport(nullptr, false).QRChessRichText1.FontDia.Font.family(),
              QStringLiteral("Chess Merida"));

    // Printing reports its progress in the main window's status bar, and
    // its stop button ends the run.
    TfrmReport form;
    std::string games;
    for (int i = 0; i < 8; ++i)
        games += kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    form.QRChessRichText1.PGNGames = games;
    auto report = form.OnProgress;
    ASSERT_TRUE(report);
    int calls = 0;
    form.OnProgress = [&](int Percent) {
        if (++calls == 2) frame->StopRequested = true;
        return report(Percent);
    };
    EXPECT_EQ(
        form.Run(TReportOutput::Pdf, nullptr, QString::fromStdString((dir / "m.pdf").string())), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "m.pdf"));
}

TEST(ReportForm, GameListPrintsThroughTheInstalledHooks) {
    RegisterPrinting();
    ASSERT_TRUE(TMDIPGN::GamePrinter());
    ASSERT_TRUE(TMDIPGN::MaterialDialog());
    int previewPages = 0;
    TAnswerer answers;
    answers.Dialog = [&](QDialog& d) {
        if (auto* preview = d.findChild<QPrintPreviewWidget*>()) {
            preview->updatePreview();
            previewPages = preview->pageCount();
            return mrOk;
        }
        // The material dialog: one criterion, then OK.
        auto& m = dynamic_cast<TfrmMaterial&>(d);
        m.cbbR->setChecked(true);
        m.sebRe->setValue(2);
        return mrOk;
    };
    TAnswererScope scope(answers);
    TMDIPGN::GamePrinter()(nullptr, printtest::Annotated());
    EXPECT_EQ(previewPages, 1);
    TPiecesFilter filter;
    filter.Reset();
    EXPECT_TRUE(TMDIPGN::MaterialDialog()(nullptr, filter));
    EXPECT_TRUE(filter.Enabled[TPiecesFilter::Index(-2)]);
    EXPECT_EQ(filter.Max[TPiecesFilter::Index(-2)], 2);
    TMDIPGN::GamePrinter() = nullptr;
    TMDIPGN::MaterialDialog() = nullptr;
}
