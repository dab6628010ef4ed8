// SPDX-License-Identifier: GPL-3.0-or-later
// Piece strips: built-in sets, the two copy modes, user strips from BMP files.
#include "BoardTestSupport.h"
#include "Schachfiguren.h"
#include "TestSupport.h"

#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QRawFont>

#include <gtest/gtest.h>

#include <vector>

using namespace kb;

namespace {

const TFigurenset AllSets[] = {
    TFigurenset::F32,         TFigurenset::WinboardF21, TFigurenset::WinboardF25,
    TFigurenset::WinboardF29, TFigurenset::WinboardF33, TFigurenset::WinboardF37,
    TFigurenset::WinboardF40, TFigurenset::WinboardF45, TFigurenset::WinboardF49,
    TFigurenset::WinboardF54, TFigurenset::WinboardF58, TFigurenset::WinboardF64,
    TFigurenset::WinboardF72, TFigurenset::WinboardF80,
};

QRgb Px(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFFu;
}

// Counts the mask's black pixels and checks the pixel convention of one cell.
int CheckCell(const QImage& strip, int cell, int s) {
    int covered = 0;
    for (int y = 0; y < s; ++y) {
        for (int x = (cell - 1) * s; x < cell * s; ++x) {
            const QRgb m = Px(strip, x, s + y);
            EXPECT_TRUE(m == 0 || m == 0xFFFFFF) << "mask not black/white at " << x << "," << y;
            if (m == 0)
                ++covered;
            else
                EXPECT_EQ(Px(strip, x, y), 0xFFFFFFu) << "picture not white outside the piece";
        }
    }
    return covered;
}

// A strip written by hand: cell c has mask black on its left half and the
// picture colour c * 16 grey there.
QImage HandStrip(int w, int h) {
    QImage strip(12 * w, h, QImage::Format_RGB32);
    strip.fill(Qt::white);
    for (int c = 1; c <= 12; ++c)
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x) {
                const int g = c * 16;
                strip.setPixel((c - 1) * w + x, y, qRgb(g, g, g));
                strip.setPixel((c - 1) * w + x, h / 2 + y, qRgb(0, 0, 0));
            }
    return strip;
}

std::string SaveBmp(const kbtest::TempDir& dir, const std::string& name, const QImage& img) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(img.save(QString::fromStdString(path), "BMP"));
    return path;
}

// Records the text of every message box a board shows.
struct Messages {
    QStringList texts;
    void Attach(TBrett& b) {
        b.ModalRunner = [this](QDialog& d) {
            if (auto* box = qobject_cast<QMessageBox*>(&d)) texts << box->text();
            return int(QDialog::Rejected);
        };
    }
};

} // namespace

TEST(Strip, BuiltInSetsHaveTheirSizeAndFollowThePixelConvention) {
    for (TFigurenset set : AllSets) {
        const int s = FigurenGroesse(set);
        const QImage strip = BuildFigurenStrip(set);
        ASSERT_FALSE(strip.isNull()) << "font file missing?";
        EXPECT_EQ(strip.width(), 12 * s);
        EXPECT_EQ(strip.height(), 2 * s);
        int pawn = 0, king = 0;
        for (int cell = 1; cell <= 12; ++cell) {
            const int covered = CheckCell(strip, cell, s);
            // A piece covers a fair part of its cell but never all of it.
            EXPECT_GT(covered, s * s / 10) << "set size " << s << " cell " << cell;
            EXPECT_LT(covered, s * s * 8 / 10) << "set size " << s << " cell " << cell;
            if (cell == 1) pawn = covered;
            if (cell == 6) king = covered;
        }
        EXPECT_LT(pawn, king) << "pawns are drawn smaller than kings";
    }
    EXPECT_EQ(FigurenGroesse(TFigurenset::User), 32);
    EXPECT_EQ(FigurenGroesse(static_cast<TFigurenset>(99)), 32);
}

// Share in percent of the dark picture pixels inside a cell's mask, in rows
// Top..Bottom - 1 of the cell.
static int DarkShare(const QImage& strip, int cell, int s, int Top, int Bottom) {
    int inside = 0, dark = 0;
    for (int y = Top; y < Bottom; ++y)
        for (int x = (cell - 1) * s; x < cell * s; ++x)
            if (Px(strip, x, s + y) == 0) {
                ++inside;
                if (qGray(strip.pixel(x, y)) < 128) ++dark;
            }
    return inside ? 100 * dark / inside : -1;
}

TEST(Strip, WhitePiecesAreLightInsideAndBlackPiecesDark) {
    for (TFigurenset set : AllSets) {
        const int s = FigurenGroesse(set);
        const QImage strip = BuildFigurenStrip(set);
        ASSERT_FALSE(strip.isNull());
        for (int k = 1; k <= 6; ++k) {
            // Whole piece, upper and lower half: the black one dark almost
            // throughout, the white one clearly lighter; at the smallest
            // sizes the white outline still shows.
            const int white = DarkShare(strip, k, s, 0, s),
                      black = DarkShare(strip, k + 6, s, 0, s);
            EXPECT_GE(black, 80) << "black piece " << k << " at " << s;
            EXPECT_GE(white, 10) << "white piece " << k << " at " << s << " has no outline";
            EXPECT_LE(white, black - 20) << "piece " << k << " at " << s;
            for (int half = 0; half < 2; ++half) {
                const int top = half * s / 2, bottom = (half + 1) * s / 2;
                const int w = DarkShare(strip, k, s, top, bottom),
                          b = DarkShare(strip, k + 6, s, top, bottom);
                EXPECT_LE(w, b - 5) << "piece " << k << " at " << s << " half " << half
                                    << ": white " << w << ", black " << b;
            }
        }
    }
}

TEST(Strip, BishopsCarryTheirSlitSoTheyDoNotReadAsPawns) {
    // A bishop's silhouette is close to a pawn's at small sizes: its mitre
    // is cut in the other colour, which the pawn's head never is.
    for (TFigurenset set : AllSets) {
        const int s = FigurenGroesse(set);
        const QImage strip = BuildFigurenStrip(set);
        ASSERT_FALSE(strip.isNull());
        const int blackBishop = DarkShare(strip, 9, s, 0, s / 2),
                  blackPawn = DarkShare(strip, 7, s, 0, s / 2);
        const int whiteBishop = DarkShare(strip, 3, s, 0, s / 2),
                  whitePawn = DarkShare(strip, 1, s, 0, s / 2);
        EXPECT_LE(blackBishop, blackPawn - 4) << "at " << s;
        EXPECT_GE(whiteBishop, whitePawn + 4) << "at " << s;
    }
}

TEST(Strip, CellsAndCopyModesWorkPerPixel) {
    EXPECT_EQ(FigurenZelle(1), 1);
    EXPECT_EQ(FigurenZelle(6), 6);
    EXPECT_EQ(FigurenZelle(-1), 7);
    EXPECT_EQ(FigurenZelle(-6), 12);
    EXPECT_EQ(FigurenZelle(0), 0);
    EXPECT_EQ(FigurenZelle(Border), 0);
    EXPECT_EQ(FigurenZelle(-7), 0);

    const QImage strip = HandStrip(10, 20);
    const QRgb bg = qRgb(0x12, 0x9A, 0x5C);
    for (int32_t piece : {3, -4}) {
        QImage dst(20, 20, QImage::Format_RGB32);
        dst.fill(bg);
        // Stretched to twice the cell size.
        DrawFigurFromStrip(dst, QRect(0, 0, 20, 20), strip, piece);
        const int g = FigurenZelle(piece) * 16;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const QRgb want = x < 10 ? qRgb(g, g, g) : bg;
                ASSERT_EQ(Px(dst, x, y), want & 0xFFFFFFu) << piece << " at " << x << "," << y;
            }
    }
    // Non-pieces leave the destination alone.
    QImage dst(10, 10, QImage::Format_RGB32);
    dst.fill(bg);
    for (int32_t code : {0, 7, -7, int(Border)})
        DrawFigurFromStrip(dst, dst.rect(), strip, code);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(Px(dst, x, y), bg & 0xFFFFFFu);

    // The two modes, one pixel at a time.
    QImage a(1, 1, QImage::Format_RGB32), d(1, 1, QImage::Format_RGB32);
    a.setPixel(0, 0, 0x00F0F0F0);
    d.setPixel(0, 0, 0x00FF0F00);
    CopyRectMode(d, d.rect(), a, a.rect(), TCopyMode::SrcErase);
    EXPECT_EQ(Px(d, 0, 0), 0x00F0F0F0u & ~0x00FF0F00u);
    d.setPixel(0, 0, 0x00FF0F00);
    CopyRectMode(d, d.rect(), a, a.rect(), TCopyMode::SrcInvert);
    EXPECT_EQ(Px(d, 0, 0), 0x00F0F0F0u ^ 0x00FF0F00u);
}

TEST(Strip, UnusableStripsDrawNothing) {
    const QRgb bg = qRgb(1, 2, 3);
    // Eleven pixels wide: the cells would be zero pixels wide.
    QImage narrow(11, 40, QImage::Format_RGB32);
    narrow.fill(Qt::black);
    // One line high: no rows to draw from.
    QImage flat(120, 1, QImage::Format_RGB32);
    flat.fill(Qt::black);
    for (const QImage& strip : {narrow, flat, QImage()}) {
        QImage dst(16, 16, QImage::Format_RGB32);
        dst.fill(bg);
        EXPECT_TRUE(FigurenBildRect(strip, 1).isEmpty());
        DrawFigurFromStrip(dst, dst.rect(), strip, 5);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(Px(dst, x, y), bg & 0xFFFFFFu);
    }
}

TEST(Strip, UserStripSizeChecksAndOddHeight) {
    kbtest::TempDir dir;
    QImage img;
    // Height 19: s rounds half to even to 10, accepted; both rows 9 lines.
    const std::string odd = SaveBmp(dir, "odd.bmp", HandStrip(10, 19));
    ASSERT_EQ(LoadUserStrip(QString::fromStdString(odd), img), TStripLoad::Ok);
    EXPECT_EQ(img.size(), QSize(120, 19));
    EXPECT_EQ(FigurenBildRect(img, 2), QRect(10, 0, 10, 9));
    EXPECT_EQ(FigurenMaskeRect(img, 2), QRect(10, 9, 10, 9));
    // Height 21 rounds to 10 too; height 18 gives 9, refused.
    QImage strip21 = HandStrip(10, 21);
    EXPECT_EQ(LoadUserStrip(QString::fromStdString(SaveBmp(dir, "h21.bmp", strip21)), img),
              TStripLoad::Ok);
    EXPECT_EQ(
        LoadUserStrip(QString::fromStdString(SaveBmp(dir, "h18.bmp", HandStrip(10, 18))), img),
        TStripLoad::BadSize);
    // s = 101 is too big; too narrow for twelve cells is refused.
    EXPECT_EQ(
        LoadUserStrip(QString::fromStdString(SaveBmp(dir, "big.bmp", HandStrip(101, 202))), img),
        TStripLoad::BadSize);
    QImage thin(119, 20, QImage::Format_RGB32);
    thin.fill(Qt::white);
    EXPECT_EQ(LoadUserStrip(QString::fromStdString(SaveBmp(dir, "thin.bmp", thin)), img),
              TStripLoad::BadSize);
    // Wider than twelve cells: kept as stored.
    QImage wide(130, 20, QImage::Format_RGB32);
    wide.fill(Qt::white);
    ASSERT_EQ(LoadUserStrip(QString::fromStdString(SaveBmp(dir, "wide.bmp", wide)), img),
              TStripLoad::Ok);
    EXPECT_EQ(img.width(), 130);

    // 131092 lines: half of it would wrap round to 10 in 16 bits.
    QImage tall(120, 131092, QImage::Format_Mono);
    tall.fill(1);
    EXPECT_EQ(LoadUserStrip(QString::fromStdString(SaveBmp(dir, "tall.bmp", tall)), img),
              TStripLoad::BadSize);

    EXPECT_EQ(LoadUserStrip(QString::fromStdString((dir / "missing.bmp").string()), img),
              TStripLoad::NotFound);
    kbtest::WriteFile(dir / "junk.bmp", "BM this is no bitmap");
    EXPECT_EQ(LoadUserStrip(QString::fromStdString((dir / "junk.bmp").string()), img),
              TStripLoad::LoadFailed);
}

TEST(Strip, OddHeightUserStripDrawsTheMaskRowOfPictureHeight) {
    // Height 21: the last line (row 20) is not part of either row. Paint it
    // black so that using it would show up as a black bottom line.
    kbtest::TempDir dir;
    QImage strip = HandStrip(10, 21);
    for (int x = 0; x < strip.width(); ++x)
        strip.setPixel(x, 20, qRgb(0, 0, 0));
    const std::string path = SaveBmp(dir, "odd21.bmp", strip);
    TBrett b;
    Messages m;
    m.Attach(b);
    b.SetUserFiguren(QString::fromStdString(path));
    EXPECT_TRUE(m.texts.isEmpty());
    EXPECT_EQ(b.Figuren(), TFigurenset::User);
    EXPECT_EQ(b.UserFiguren(), QString::fromStdString(path));
    // Stretched to twice the height, a taller mask row would reach line 20.
    QImage mask(10, 22, QImage::Format_RGB32);
    mask.fill(Qt::red);
    b.DrawFigur(2, mask, true);
    // Mask rows 10..19: the right half white, nothing black leaks in.
    for (int y = 0; y < 22; ++y) {
        EXPECT_EQ(Px(mask, 9, y), 0xFFFFFFu) << y;
        EXPECT_EQ(Px(mask, 0, y), 0u) << y;
    }
}

TEST(Strip, BoardPropertiesSelectTheStripAndReportFailures) {
    kbtest::TempDir dir;
    TBrett b;
    Messages m;
    m.Attach(b);
    EXPECT_EQ(b.Figuren(), TFigurenset::User);
    EXPECT_TRUE(b.GetFigurenBitmap().isNull());

    b.SetFiguren(TFigurenset::F32);
    const QImage f32 = b.GetFigurenBitmap();
    EXPECT_EQ(f32.size(), QSize(384, 64));
    // Setting User only records it.
    b.SetFiguren(TFigurenset::User);
    EXPECT_EQ(b.Figuren(), TFigurenset::User);
    EXPECT_EQ(b.GetFigurenBitmap(), f32);

    // A missing file: English message, nothing changes.
    b.SetUserFiguren(QString::fromStdString((dir / "none.bmp").string()));
    ASSERT_EQ(m.texts.size(), 1);
    EXPECT_EQ(m.texts[0], QStringLiteral("File not found."));
    EXPECT_TRUE(b.UserFiguren().isEmpty());
    EXPECT_EQ(b.GetFigurenBitmap(), f32);

    // A bad size: German message, then the 33-pixel set.
    const std::string bad = SaveBmp(dir, "bad.bmp", HandStrip(10, 18));
    b.SetUserFiguren(QString::fromStdString(bad));
    ASSERT_EQ(m.texts.size(), 2);
    EXPECT_EQ(m.texts[1], QStringLiteral("Ungültige Maße der Bitmap."));
    EXPECT_EQ(b.Figuren(), TFigurenset::WinboardF33);
    EXPECT_EQ(b.GetFigurenBitmap().size(), QSize(396, 66));
    EXPECT_TRUE(b.UserFiguren().isEmpty());

    kbtest::WriteFile(dir / "junk.bmp", "BM not a bitmap at all");
    EXPECT_FALSE(b.LoadUserFiguren(QString::fromStdString((dir / "junk.bmp").string())));
    EXPECT_EQ(m.texts.last(), QStringLiteral("Bitmap konnte nicht geladen werden."));
    EXPECT_FALSE(b.LoadUserFiguren(QString::fromStdString((dir / "gone.bmp").string())));
    EXPECT_EQ(m.texts.last(), QStringLiteral("Datei wurde nicht gefunden."));

    // A template strip is handed over as a copy, without drawing.
    TBrett other;
    other.SetFigurenBitmap(b.GetFigurenBitmap(), TFigurenset::WinboardF33);
    EXPECT_EQ(other.GetFigurenBitmap(), b.GetFigurenBitmap());
    EXPECT_EQ(other.Figuren(), TFigurenset::WinboardF33);
}

namespace {

// Light pixels of a square that no light path from its edge reaches: the
// inside of a white piece whose dark outline is closed.
int EnclosedLight(const QImage& pic, const QRect& r) {
    auto light = [&](int x, int y) { return qGray(pic.pixel(x, y)) >= 128; };
    std::vector<char> seen(static_cast<size_t>(r.width() * r.height()), 0);
    std::vector<QPoint> todo;
    auto push = [&](int x, int y) {
        if (!r.contains(x, y) || !light(x, y)) return;
        char& s = seen[static_cast<size_t>((y - r.top()) * r.width() + x - r.left())];
        if (!s) {
            s = 1;
            todo.emplace_back(x, y);
        }
    };
    for (int i = 0; i < r.width(); ++i) {
        push(r.left() + i, r.top());
        push(r.left() + i, r.bottom());
    }
    for (int i = 0; i < r.height(); ++i) {
        push(r.left(), r.top() + i);
        push(r.right(), r.top() + i);
    }
    while (!todo.empty()) {
        const QPoint p = todo.back();
        todo.pop_back();
        push(p.x() + 1, p.y());
        push(p.x() - 1, p.y());
        push(p.x(), p.y() + 1);
        push(p.x(), p.y() - 1);
    }
    int enclosed = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (light(x, y) && !seen[static_cast<size_t>((y - r.top()) * r.width() + x - r.left())])
                ++enclosed;
    return enclosed;
}

} // namespace

TEST(Strip, WhitePiecesKeepAClosedOutlineOnTheSmallestBoard) {
    // The smallest board shows the 21-pixel set on 16-pixel squares. A white
    // piece on a light square must stay outlined all round, or it merges
    // into the square.
    TBrett b;
    b.SetFiguren(TFigurenset::WinboardF21);
    b.SetStellung(kbboard::Stellung({"Kb1", "Qd1", "Rf1", "Bh1", "Na2", "Pc2", "ke8"}), TZug{});
    for (int size : {16, 21, 29}) {
        b.SetGroesse(size);
        b.RedrawAll();
        for (const char* sq : {"b1", "d1", "f1", "h1", "a2", "c2"}) {
            const QRect r = b.SquareRect(kbboard::Sq64(sq));
            // The queen's light body is its base alone: a twelfth of the square.
            EXPECT_GE(12 * EnclosedLight(b.Picture(), r), size * size)
                << "white piece on " << sq << " at square size " << size;
        }
    }
}

TEST(Strip, WhitePiecesReadAsWhiteAtEverySizeTheBoardDraws) {
    // Dark pixels of each white piece against its black twin, counted on
    // light squares of the board as it is drawn: a white piece knotted with
    // inner lines reads as black however light its share inside the mask.
    const char* whites[] = {"Pb1", "Rd1", "Bf1", "Nh1", "Qa2", "Kc2"};
    const char* blacks[] = {"pb7", "rd7", "bf7", "nh7", "qa8", "kc8"};
    const char* names = "PRBNQK";
    TBrett b;
    std::initializer_list<const char*> all = {whites[0], whites[1], whites[2], whites[3],
                                              whites[4], whites[5], blacks[0], blacks[1],
                                              blacks[2], blacks[3], blacks[4], blacks[5]};
    b.SetStellung(kbboard::Stellung(all), TZug{});
    auto dark = [&](const char* piece) {
        const QRect r = b.SquareRect(kbboard::Sq64(piece + 1));
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(b.Picture().pixel(x, y)) < 128) ++n;
        return n;
    };
    for (int size : {16, 21, 25, 29, 32, 33, 37, 40, 45, 49, 54, 58, 64, 72, 80}) {
        TFigurenset set = TFigurenset::WinboardF21;
        for (TFigurenset s : AllSets)
            if (FigurenGroesse(s) == size) set = s;
        b.SetFiguren(set);
        b.SetGroesse(size);
        b.RedrawAll();
        for (int k = 0; k < 6; ++k) {
            const int w = dark(whites[k]), bl = dark(blacks[k]);
            ASSERT_GT(bl, size * size / 10) << names[k] << " at " << size;
            // Well below the black twin; the queen's crown is thin spikes in
            // both colours, so only its base can be lighter.
            // At most four fifths of its dark pixels for the queen, two
            // thirds for the others.
            const bool queen = names[k] == 'Q';
            EXPECT_LE((queen ? 5 : 3) * w, (queen ? 4 : 2) * bl)
                << names[k] << " at " << size << ": white " << w << " dark pixels, black " << bl;
        }
    }
}

TEST(Strip, PiecesComeFromTheFontBuiltIntoTheProgram) {
    // A resource, not a path on this machine: the pieces do not depend on
    // what fonts the system has, nor where it keeps them.
    const QString file = PieceFontFile();
    ASSERT_TRUE(file.startsWith(QStringLiteral(":/"))) << file.toStdString();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/kb/fonts/DejaVu-copyright.txt")))
        << "the font's licence asks for its notice beside it";
    const QRawFont font(file, 40);
    ASSERT_TRUE(font.isValid());
    EXPECT_EQ(font.familyName(), QStringLiteral("DejaVu Sans"));
    for (char16_t c = 0x2654; c <= 0x265F; ++c) {
        const QList<quint32> glyphs = font.glyphIndexesForString(QString(QChar(c)));
        ASSERT_EQ(glyphs.size(), 1);
        EXPECT_NE(glyphs[0], 0u) << "no glyph for U+" << std::hex << int(c);
    }
}
