// SPDX-License-Identifier: GPL-3.0-or-later
// The printable rich text on a printer: bands measured with Qt's layout on
// the printer hold what was measured, and print the text they were given.
#include "ChessPrint.h"
#include "ChessPrintDiagram.h"
#include "NotationWidgetText.h"
#include "PrintTestSupport.h"

#include <QAbstractTextDocumentLayout>
#include <QPrinter>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace kb;

namespace {

struct TPrinterFixture {
    kbtest::TempDir dir;
    QPrinter printer{QPrinter::HighResolution};
    TPrinterFixture() {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString((dir / "x.pdf").string()));
    }
    // One column of an A4 page in two columns.
    QSizeF Column() const { return {printer.resolution() * 3.5, printer.resolution() * 10.5}; }
};

QString Visible(QString s) {
    s.replace(QChar(0x2011), QLatin1Char('-'));
    s.remove(QChar::ObjectReplacementCharacter);
    QString out;
    for (QChar c : s)
        if (!c.isSpace()) out += c;
    return out;
}

int Lines(QTextDocument& doc) {
    int n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        n += b.layout() ? b.layout()->lineCount() : 0;
    return n;
}

// Runs a whole print text through the element; per chunk the layout height
// of what prints and whether its text is the chunk's.
void RunBands(TQRChessRichText& t, QPrinter& printer, const QSizeF& band, bool mustFit) {
    t.SetBounds(&printer, band);
    int chunks = 0;
    int32_t last = 0;
    while (t.NextChunk()) {
        const TChessPrintText& d = t.PrintData();
        ASSERT_GT(d.ChunkLast, last);
        ASSERT_GE(d.ChunkFirst, last + 1);
        last = d.ChunkLast;
        ASSERT_LT(++chunks, 100000);
        QTextDocument& doc = t.HiddenRichEdit();
        const qreal h = doc.documentLayout()->documentSize().height();
        if (mustFit)
            EXPECT_LE(h, band.height() + 1) << "chunk " << chunks;
        else if (h > band.height() + 1) {
            // Only a single line or a single headline or diagram may overflow.
            const int first = d.SegmentAt(d.ChunkFirst);
            const uint8_t kind = d.Segments[static_cast<size_t>(first)].Kind;
            EXPECT_TRUE(Lines(doc) == 1 || kind == pkHeadline || kind == pkDiagram)
                << "chunk " << chunks << " overflows with " << Lines(doc) << " lines";
        }
        // What prints is the chunk's text (drawn diagrams aside).
        std::string expected;
        for (int32_t p = d.ChunkFirst; p <= d.ChunkLast; ++p) {
            const TPrintSegment& s = d.Segments[static_cast<size_t>(d.SegmentAt(p))];
            if (s.Kind == pkDiagram && t.DrawnDiagrams()) continue;
            expected += d.PrintText[static_cast<size_t>(p - 1)];
        }
        QString want = DecodeGameText(expected);
        if (!t.DrawnDiagrams()) {
            // Chess-font text is single bytes of the font.
            want.clear();
            for (int32_t p = d.ChunkFirst; p <= d.ChunkLast; ++p) {
                const TPrintSegment& s = d.Segments[static_cast<size_t>(d.SegmentAt(p))];
                const auto c = static_cast<unsigned char>(d.PrintText[static_cast<size_t>(p - 1)]);
                want += s.Kind == pkDiagram ? QString(QChar(c)) : DecodeGameText(std::string(1, c));
            }
        }
        EXPECT_EQ(Visible(doc.toPlainText()), Visible(want)) << "chunk " << chunks;
    }
    EXPECT_GT(chunks, 0);
}

} // namespace

TEST(PrintDocument, ColumnBandsHoldWhatWasMeasured) {
    TPrinterFixture f;
    TQRChessRichText t;
    t.FirstPosition = true;
    t.PGNGames = printtest::Annotated() +
                 kbtest::ReadFile(kbtest::TestData("pgn/stockfish-learning.pgn")) +
                 kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    ASSERT_TRUE(t.DrawnDiagrams()); // no chess font on the test machines
    RunBands(t, f.printer, f.Column(), true);
    // The state starts over: a second run prints the same.
    RunBands(t, f.printer, f.Column(), true);
}

TEST(PrintDocument, SmallAndHugeBandsEnd) {
    TPrinterFixture f;
    TQRChessRichText t;
    t.FirstPosition = true;
    t.PGNGames = printtest::Annotated();
    const QSizeF col = f.Column();
    for (qreal h : {1.0, 60.0, col.height() / 7, col.height() * 50})
        RunBands(t, f.printer, QSizeF(col.width(), h), false);
    RunBands(t, f.printer, QSizeF(col.width() / 8, col.height()), false);
}

TEST(PrintDocument, InstalledDiagramFontPrintsTheText) {
    TPrinterFixture f;
    TQRChessRichText t;
    t.FirstPosition = true;
    t.FontDia.Font.setFamily(QStringLiteral("DejaVu Sans Mono")); // stands in for a chess font
    t.PGNGames = printtest::Annotated();
    ASSERT_FALSE(t.DrawnDiagrams());
    RunBands(t, f.printer, f.Column(), true);
    // Diagram lines are set whole, never wrapped at their blanks.
    t.SetFEN("8/8/8/8/8/8/8/K6k w - - 0 1");
    QTextDocument& doc = t.HiddenRichEdit();
    EXPECT_EQ(doc.blockCount(), 10);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        EXPECT_TRUE(b.blockFormat().nonBreakableLines());
}

TEST(PrintDocument, SetFenBuildsOneDiagram) {
    TPrinterFixture f;
    TQRChessRichText t;
    t.SetBounds(&f.printer, f.Column());
    const std::string fen = "r3k2r/pp3ppp/8/3Q4/8/8/PP3PPP/R3K2R b KQkq - 0 1";
    t.SetFEN(fen);
    QTextDocument& doc = t.HiddenRichEdit();
    EXPECT_EQ(Visible(doc.toPlainText()), QString());
    TSchachbrett board{}, expected = LeeresBrett;
    TZug zug{};
    uint16_t no = 1;
    ASSERT_TRUE(FENToStellung(fen, expected, zug, no, nullptr));
    int objects = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat cf = it.fragment().charFormat();
            if (cf.objectType() != TDiagramObject::Type) continue;
            ++objects;
            ASSERT_TRUE(TDiagramObject::BoardOf(cf, board));
            EXPECT_EQ(board, expected);
        }
    EXPECT_EQ(objects, 1);
    // Ten cells of the diagram font's size on the printer.
    const qreal cell = 20.0 * f.printer.resolution() / 72.0;
    EXPECT_NEAR(doc.documentLayout()->documentSize().width(), f.Column().width(), 1);
    EXPECT_GE(doc.documentLayout()->documentSize().height(), 10 * cell - 1);

    t.SetFEN("not a position");
    EXPECT_TRUE(t.HiddenRichEdit().isEmpty());
}

TEST(PrintDocument, LayoutWorkGrowsWithTheTextOfOneGame) {
    // A long comment, a long tag or many moves: the text laid out for
    // measuring and printing grows as the game's text grows, and no single
    // layout grows with it (each band lays out about a band's worth).
    TPrinterFixture f;
    const std::vector<std::pair<char, int>> series = {{'c', 1500}, {'t', 6000}, {'m', 400}};
    for (const auto& [kind, start] : series) {
        double perChar = 0;
        int64_t largest = 0;
        for (int n = start; n <= start * 4; n *= 2) {
            SCOPED_TRACE(std::string("kind ") + kind + " size " + std::to_string(n));
            TQRChessRichText t;
            t.PGNGames = printtest::LongGame(kind, n);
            RunBands(t, f.printer, f.Column(), true);
            const TQRChessRichText::TLayoutWork work = t.LayoutWork();
            const double now = static_cast<double>(work.Chars) / t.PGNGames.size();
            EXPECT_GT(now, 0.5);
            if (perChar > 0) {
                EXPECT_LE(now, perChar * 1.15);
                EXPECT_LE(work.Largest, largest * 5 / 4);
            }
            perChar = now;
            largest = work.Largest;
        }
    }
}
