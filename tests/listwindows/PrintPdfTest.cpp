// SPDX-License-Identifier: GPL-3.0-or-later
// Printed PDF files read back with poppler: the text of real games in
// order, pages growing with the games, and a diagram's pieces on its squares.
#include "DialogsLng.h"
#include "Main.h"
#include "NotationWidgetText.h"
#include "PGNWinHost.h"
#include "PrintTestSupport.h"
#include "uReport.h"

#include <QImage>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

#include <gtest/gtest.h>

#include <cmath>

using namespace kb;

namespace {

// The games' text as a reader sees it: column by column, page by page,
// without white space.
std::string PdfText(const std::string& pdftotext, const std::filesystem::path& pdf, int pages) {
    std::string all;
    for (int page = 1; page <= pages; ++page) {
        for (int col = 0; col < 2; ++col) {
            // A4 in points; the columns meet at the middle of the page.
            const kbtest::RunResult r =
                kbtest::Run({pdftotext, "-q", "-r", "72", "-f", std::to_string(page), "-l",
                             std::to_string(page), "-x", std::to_string(col * 298), "-y", "0", "-W",
                             "297", "-H", "842", pdf.string(), "-"});
            EXPECT_EQ(r.exitCode, 0);
            all += r.out;
        }
    }
    std::string out;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all.compare(i, 3, "\xE2\x80\x91") == 0) { // non-breaking hyphen
            out += '-';
            i += 2;
        } else if (all.compare(i, 3, "\xEF\xAC\x81") == 0) { // the font's "fi" ligature
            out += "fi";
            i += 2;
        } else if (all.compare(i, 3, "\xEF\xAC\x82") == 0) {
            out += "fl";
            i += 2;
        } else if (!std::isspace(static_cast<unsigned char>(all[i]))) {
            out += all[i];
        }
    }
    return out;
}

std::string NoSpace(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return out;
}

std::string SomeGames(const char* file, size_t count) {
    const std::vector<std::string> games =
        SplitPrintGames(kbtest::ReadFile(kbtest::TestData(file)));
    std::string text;
    for (size_t i = 0; i < games.size() && i < count; ++i)
        text += games[i] + "\r\n";
    return text;
}

// Finds the main line's moves of N in Text in order, from At on; moves
// past the last one found. The count of moves found, -1 at the first one
// missing.
int FindMovesInOrder(TNotation& N, const std::string& Text, size_t& At) {
    const std::string& layout = N.GetText();
    int found = 0;
    for (const TBaum* b = N.RootLine ? N.RootLine->Erster : nullptr; b; b = b->Next) {
        const std::string move =
            NoSpace(DecodeGameText(layout.substr(static_cast<size_t>(b->TextPos - 1),
                                                 static_cast<size_t>(b->TextLen)))
                        .toStdString());
        const size_t m = Text.find(move, At);
        if (m == std::string::npos) {
            ADD_FAILURE() << "move missing or out of order: " << move;
            return -1;
        }
        At = m + move.size();
        ++found;
    }
    return found;
}

} // namespace

TEST(PrintPdf, RealGamesReadBackInOrder) {
    KB_REQUIRE_PEER(pdftotext, "pdftotext");
    kbtest::TempDir dir;
    const std::string games = SomeGames("pgn/Korchnoi.pgn", 50) + printtest::Annotated();
    const int pages =
        TfrmReport::PrintGames(games, nullptr, TReportOutput::Pdf, nullptr,
                               QString::fromStdString((dir / "g.pdf").string()), true);
    ASSERT_GT(pages, 3);
    const std::string text = PdfText(pdftotext, dir / "g.pdf", pages);

    size_t at = 0;
    int checkedMoves = 0;
    const std::vector<std::string> split = SplitPrintGames(games);
    ASSERT_EQ(split.size(), 53u);
    for (const std::string& g : split) {
        TNotation n;
        ASSERT_EQ(n.LoadPGN(g), 0);
        const TEventData& e = n.GameData.EventData;
        // Each player on his own: poppler joins a line ending in " -" with
        // the next one, taking the hyphen for a hyphenation.
        for (const std::string& player : {e.White, e.Black}) {
            const std::string name = NoSpace(DecodeGameText(player).toStdString());
            const size_t found = text.find(name, at);
            ASSERT_NE(found, std::string::npos) << "player missing: " << name;
            at = found + name.size();
        }
        const int moves = FindMovesInOrder(n, text, at);
        ASSERT_GE(moves, 0);
        checkedMoves += moves;
    }
    EXPECT_GT(checkedMoves, 50 * 20);
}

TEST(PrintPdf, LongCommentTagAndGamePrintWhole) {
    KB_REQUIRE_PEER(pdftotext, "pdftotext");
    kbtest::TempDir dir;
    const QString file = QString::fromStdString((dir / "long.pdf").string());
    // All of the comment's words, in order.
    {
        const int words = 12000;
        const int pages = TfrmReport::PrintGames(printtest::LongGame('c', words), nullptr,
                                                 TReportOutput::Pdf, nullptr, file, true);
        std::string want;
        for (int i = 0; i < words; ++i)
            want += "w" + std::to_string(i);
        EXPECT_GT(pages, 3);
        EXPECT_LT(pages, 30);
        EXPECT_NE(PdfText(pdftotext, dir / "long.pdf", pages).find(want), std::string::npos);
    }
    // The whole White, also where it is taller than a column.
    {
        const std::string game = printtest::LongGame('t', 40000);
        const int pages =
            TfrmReport::PrintGames(game, nullptr, TReportOutput::Pdf, nullptr, file, true);
        TNotation n;
        ASSERT_EQ(n.LoadPGN(game), 0);
        ASSERT_EQ(n.GameData.EventData.White.size(), 40000u);
        EXPECT_GT(pages, 3);
        EXPECT_LT(pages, 40);
        const std::string text = PdfText(pdftotext, dir / "long.pdf", pages);
        const size_t at = text.find(n.GameData.EventData.White + "-BetaSeries,Bay2026");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(text.find("1.e4e52.", at), std::string::npos);
        EXPECT_EQ(text.substr(text.size() - 3), "1-0");
    }
    // Every move of a game of 3,000 moves, in order.
    {
        const std::string game = printtest::LongGame('m', 3000);
        const int pages =
            TfrmReport::PrintGames(game, nullptr, TReportOutput::Pdf, nullptr, file, true);
        EXPECT_GT(pages, 3);
        EXPECT_LT(pages, 40);
        const std::string text = PdfText(pdftotext, dir / "long.pdf", pages);
        TNotation n;
        ASSERT_EQ(n.LoadPGN(game), 0);
        size_t at = 0;
        EXPECT_EQ(FindMovesInOrder(n, text, at), 6000);
    }
}

TEST(PrintPdf, PagesGrowWithTheGames) {
    kbtest::TempDir dir;
    int last = 0;
    for (size_t count : {5, 25, 80}) {
        const int pages =
            TfrmReport::PrintGames(SomeGames("pgn/Carlsen.pgn", count), nullptr, TReportOutput::Pdf,
                                   nullptr, QString::fromStdString((dir / "p.pdf").string()), true);
        EXPECT_GT(pages, last) << count << " games";
        last = pages;
    }
}

TEST(PrintPdf, DiagramShowsThePiecesOnTheirSquares) {
    KB_REQUIRE_PEER(pdftoppm, "pdftoppm");
    kbtest::TempDir dir;
    for (const std::string fen :
         {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 1",
          "8/2k5/3p4/p2P1p2/P2P1P2/8/3K4/8 w - - 0 1"}) {
        SCOPED_TRACE(fen);
        const auto pdf = dir / "d.pdf";
        ASSERT_EQ(TfrmReport::PrintDiagram(fen, TReportOutput::Pdf, nullptr,
                                           QString::fromStdString(pdf.string()), false),
                  1);
        const kbtest::RunResult r = kbtest::Run({pdftoppm, "-r", "150", "-gray", "-png", "-f", "1",
                                                 "-l", "1", pdf.string(), (dir / "d").string()});
        ASSERT_EQ(r.exitCode, 0);
        QImage img(QString::fromStdString((dir / "d-1.png").string()));
        ASSERT_FALSE(img.isNull());
        img = img.convertToFormat(QImage::Format_Grayscale8);
        auto ink = [&](int x, int y) { return qGray(img.pixel(x, y)) < 128; };

        // The frame: the ink of the top left quarter of the page.
        int left = img.width(), top = img.height(), right = -1, bottom = -1;
        for (int y = 0; y < img.height() / 2; ++y)
            for (int x = 0; x < img.width() / 2; ++x)
                if (ink(x, y)) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
        ASSERT_GT(right, left);
        const double cell = (right - left + 1) / 8.4;
        EXPECT_NEAR((bottom - top + 1) / 8.4, cell, 1.0);
        // 20 points a square.
        EXPECT_NEAR(cell, 20.0 * 150 / 72, 2.0);

        TSchachbrett board;
        TZug zug{};
        uint16_t no = 1;
        ASSERT_TRUE(FENToStellung(fen, board, zug, no, nullptr));
        // The middle of a square: on a light one any ink is a piece; on a
        // dark one the hatching leaves only short runs of white or black
        // pixels along a row, a piece's body makes long ones.
        auto middle = [&](int square, auto&& pixel) {
            const int file = square % 8, rank = square / 8;
            const double x0 = left + 0.2 * cell + file * cell,
                         y0 = top + 0.2 * cell + (7 - rank) * cell;
            for (int y = static_cast<int>(y0 + 0.2 * cell); y < y0 + 0.8 * cell; ++y)
                for (int x = static_cast<int>(x0 + 0.2 * cell); x < x0 + 0.8 * cell; ++x)
                    pixel(x, y, x == static_cast<int>(x0 + 0.2 * cell));
        };
        auto inkShare = [&](int square) {
            int n = 0, inked = 0;
            middle(square, [&](int x, int y, bool) {
                ++n;
                inked += ink(x, y);
            });
            return static_cast<double>(inked) / n;
        };
        auto longestRun = [&](int square) {
            int best = 0, run = 0, kind = -1;
            middle(square, [&](int x, int y, bool rowStart) {
                const int g = qGray(img.pixel(x, y));
                const int k = g > 200 ? 0 : (g < 60 ? 1 : -1);
                run = !rowStart && k >= 0 && k == kind ? run + 1 : 1;
                kind = k;
                if (k >= 0) best = std::max(best, run);
            });
            return best;
        };
        for (int s = 0; s < 64; ++s) {
            const bool piece = board[Index64To120(static_cast<uint8_t>(s))] != 0;
            if (FeldFarben[s] == 0) {
                const double share = inkShare(s);
                EXPECT_EQ(share > 0.04, piece) << FeldNamen[s] << " ink " << share;
            } else {
                const int run = longestRun(s);
                EXPECT_EQ(run > cell / 5, piece) << FeldNamen[s] << " longest run " << run;
            }
        }
    }
}

TEST(PrintPdf, MovesInTheLettersAndColourOfTheBoardWindows) {
    KB_REQUIRE_PEER(pdftotext, "pdftotext");
    KB_REQUIRE_PEER(pdftoppm, "pdftoppm");
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "Kestrelbay.ini", "");
    TAnswerer answers;
    answers.Message = [](const TMessageRequest&) { return mrOk; };
    TAnswererScope scope(answers);
    auto frame = std::make_unique<TMainForm>(QString::fromStdString(dir.path().string()));
    const int language = LwLanguageColumn();
    const std::string game = "[Event \"E\"]\n[White \"W\"]\n[Black \"B\"]\n[Result \"1-0\"]\n\n"
                             "1. e4 e5 2. Nf3 Nc6 3. Bb5 (3. Bc4 Bc5) a6 4. Qe2 1-0\n";
    const auto pdf = dir / "m.pdf";
    // Ink of the page in the notation colour: blue.
    int blue = 0;
    auto print = [&] {
        const TPrintMoveStyle moves = BoardMoveStyle();
        const int pages = TfrmReport::PrintGames(game, &moves, TReportOutput::Pdf, nullptr,
                                                 QString::fromStdString(pdf.string()), true);
        EXPECT_EQ(pages, 1);
        const kbtest::RunResult r = kbtest::Run({pdftoppm, "-r", "72", "-png", "-f", "1", "-l", "1",
                                                 pdf.string(), (dir / "m").string()});
        EXPECT_EQ(r.exitCode, 0);
        const QImage img(QString::fromStdString((dir / "m-1.png").string()));
        blue = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                blue += c.blue() > 150 && c.red() < 100 && c.green() < 100;
            }
        return PdfText(pdftotext, pdf, pages);
    };

    LwSetLanguageColumn(1);
    EXPECT_EQ(BoardMoveStyle().Color, QColor(Qt::black));
    std::string text = print();
    EXPECT_NE(text.find("Nf3Nc63.Bb5"), std::string::npos) << text;
    EXPECT_NE(text.find("Bc4Bc5"), std::string::npos) << text;
    EXPECT_NE(text.find("4.Qe2"), std::string::npos) << text;
    EXPECT_EQ(blue, 0);

    LwSetLanguageColumn(0);
    text = print();
    EXPECT_NE(text.find("Sf3Sc63.Lb5"), std::string::npos) << text;
    EXPECT_NE(text.find("4.De2"), std::string::npos) << text;

    // The letters chosen for the board windows win over the language's.
    frame->figN = "N";
    frame->figQ = "Q";
    frame->FontDialog1.Color = QColor(0, 0, 255);
    text = print();
    EXPECT_NE(text.find("Nf3Nc63.Lb5"), std::string::npos) << text;
    EXPECT_NE(text.find("4.Qe2"), std::string::npos) << text;
    EXPECT_GT(blue, 50) << "moves not in the notation colour";
    LwSetLanguageColumn(language);
}

TEST(PrintPdf, StoppedPreviewRepaintsAndPrintsThePagesItShows) {
    // The main window's stop button ends the preview's first run after
    // page 3. Its later runs (a repaint, landscape, printing from the
    // preview) start afresh and print those pages, not a blank one; a print
    // from the preview that is itself stopped says so.
    KB_REQUIRE_PEER(pdftotext, "pdftotext");
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "Kestrelbay.ini", "");
    std::vector<QString> messages;
    TAnswerer answers;
    answers.Message = [&](const TMessageRequest& M) {
        messages.push_back(M.Msg);
        return mrOk;
    };
    TAnswererScope scope(answers);
    auto frame = std::make_unique<TMainForm>(QString::fromStdString(dir.path().string()));
    const std::string games = SomeGames("pgn/Korchnoi.pgn", 40);
    const int whole =
        TfrmReport::PrintGames(games, nullptr, TReportOutput::Pdf, nullptr,
                               QString::fromStdString((dir / "all.pdf").string()), true);
    ASSERT_GT(whole, 4);
    const std::string firstThree = PdfText(pdftotext, dir / "all.pdf", 3);

    TfrmReport form(nullptr, true);
    form.QRChessRichText1.PGNGames = games;
    int stopAfter = 3;
    auto onPage = form.ChessReport->OnPage;
    form.ChessReport->OnPage = [&](int Page) {
        if (Page == stopAfter) frame->StopRequested = true; // the status bar's stop
        return onPage(Page);
    };
    std::vector<int> shown;
    std::vector<int> printed;
    std::string portrait, landscape;
    // The preview, as the user works it (the scope above puts it back).
    Answerer().Dialog = [&](QDialog& D) {
        auto* dlg = qobject_cast<QPrintPreviewDialog*>(&D);
        auto* widget = D.findChild<QPrintPreviewWidget*>();
        EXPECT_TRUE(dlg && widget);
        if (!dlg || !widget) return mrCancel;
        auto printTo = [&](const char* Name) {
            QPrinter* p = dlg->printer();
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(QString::fromStdString((dir / Name).string()));
            widget->print();
            printed.push_back(form.ChessReport->PageCount());
        };
        widget->updatePreview(); // stopped after page 3
        shown.push_back(widget->pageCount());
        stopAfter = 0;
        widget->updatePreview();
        shown.push_back(widget->pageCount());
        printTo("portrait.pdf");
        portrait = PdfText(pdftotext, dir / "portrait.pdf", 3);
        widget->setLandscapeOrientation();
        shown.push_back(widget->pageCount());
        printTo("landscape.pdf");
        const kbtest::RunResult r =
            kbtest::Run({pdftotext, "-q", (dir / "landscape.pdf").string(), "-"});
        landscape = NoSpace(r.out);
        // Printed once more, and stopped after its second page.
        stopAfter = 2;
        printTo("stopped.pdf");
        return mrOk;
    };
    EXPECT_EQ(form.Run(TReportOutput::Preview), 2);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], 3);
    EXPECT_EQ(shown[1], 3);
    EXPECT_GE(shown[2], 2) << "landscape";
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(printed[0], 3);
    EXPECT_EQ(printed[1], shown[2]);
    EXPECT_EQ(printed[2], 2);
    EXPECT_EQ(portrait, firstThree);
    // Landscape: the same text from the first game on, no more than a band
    // past where the stopped run ended.
    const std::vector<std::string> split = SplitPrintGames(games);
    TNotation first;
    ASSERT_EQ(first.LoadPGN(split[0]), 0);
    const std::string white = NoSpace(DecodeGameText(first.GameData.EventData.White).toStdString());
    EXPECT_NE(landscape.find(white), std::string::npos);
    EXPECT_GT(landscape.size(), firstThree.size() * 9 / 10);
    EXPECT_LT(landscape.size(), PdfText(pdftotext, dir / "all.pdf", 5).size());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QLatin1Char('2'))) << messages[0].toStdString();
}

TEST(PrintPdf, BenchCommand) {
    kbtest::TempDir dir;
    const std::string out = (dir / "b.pdf").string();
    kbtest::RunResult r =
        kbtest::Run({kbtest::BenchPath(), "print-pdf", out,
                     kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn").string(), "0-1,4"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("games\t3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pages\t1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("seconds\t"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::exists(out));

    r = kbtest::Run({kbtest::BenchPath(), "print-pdf", out, "--fen", "8/8/8/8/8/8/8/K6k", "w", "-",
                     "-", "0", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("pages\t1\n"), std::string::npos) << r.out;

    r = kbtest::Run({kbtest::BenchPath(), "print-pdf", out,
                     kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn").string(), "2-x"});
    EXPECT_EQ(r.exitCode, 2);
    r = kbtest::Run({kbtest::BenchPath(), "print-pdf", out, (dir / "missing.pgn").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.pgn"));
}
