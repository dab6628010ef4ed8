// SPDX-License-Identifier: GPL-3.0-or-later
// Board properties: size, start position, colours, blind and locked drawing.
#include "BoardTestSupport.h"

#include <gtest/gtest.h>

using namespace kb;
using kbboard::Sq;

namespace {

QRgb Px(const TBrett& b, const char* sq, int dx = 1, int dy = 1) {
    const QRect r = b.SquareRect(kbboard::Sq64(sq));
    return b.Picture().pixel(r.left() + dx, r.top() + dy) & 0xFFFFFFu;
}

} // namespace

TEST(BrettProperties, SizeTakesTheAbsoluteValueWithinLimits) {
    TBrett b;
    EXPECT_EQ(b.Groesse(), 32);
    EXPECT_EQ(b.size(), QSize(256, 256));
    b.SetGroesse(-40);
    EXPECT_EQ(b.Groesse(), 40);
    EXPECT_EQ(b.size(), QSize(320, 320));
    EXPECT_EQ(b.Picture().size(), QSize(320, 320));
    for (int v : {9, 100, -100, 0, 127}) {
        b.SetGroesse(v);
        EXPECT_EQ(b.Groesse(), 40) << v;
    }
    b.SetGroesse(99);
    EXPECT_EQ(b.Picture().size(), QSize(792, 792));
}

TEST(BrettProperties, StartPositionResetsTheRecordAndTellsTheHost) {
    TBrett b;
    int events = 0;
    TZug heard;
    TSchachbrett seen{};
    b.OnNewPosition = [&](TBrett* sender, const TSchachbrett& s, const TZug& z, int n) {
        EXPECT_EQ(sender, &b);
        EXPECT_EQ(n, 1);
        ++events;
        heard = z;
        seen = s;
    };
    TZug z;
    z.Side = -1;
    z.CastlingRights = 2;
    z.EnPassant = Sq("e3");
    z.From = Sq("e2");
    z.NAG = 7;
    b.SetStellung(kbboard::Stellung({"Ke1", "ke8"}), z);
    b.SetGrundstellung(false);
    EXPECT_FALSE(b.Grundstellung());
    EXPECT_EQ(seen, LeeresBrett);
    EXPECT_EQ(heard.CastlingRights, 31);
    EXPECT_EQ(heard.Side, 1);
    EXPECT_EQ(heard.EnPassant, 0);
    EXPECT_EQ(heard.From, 0);
    EXPECT_EQ(heard.NAG, 0);
    b.SetGrundstellung(true);
    EXPECT_EQ(seen, StandardStellung);
    EXPECT_EQ(events, 2);
    EXPECT_TRUE(b.WhiteToMove());
}

TEST(BrettProperties, ColoursPatternsBlindAndLock) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    EXPECT_EQ(Px(b, "a1"), 0xC0C0C0u);
    EXPECT_EQ(Px(b, "h1"), 0xFFFFFFu);
    b.SetBlackSquareColor(QColor(0x80, 0x40, 0x20));
    EXPECT_EQ(Px(b, "a1"), 0x804020u);
    EXPECT_EQ(Px(b, "c3"), 0x804020u);
    QImage pattern(4, 4, QImage::Format_RGB32);
    pattern.fill(QColor(0x11, 0x22, 0x33));
    b.SetWhiteSquarePattern(pattern);
    EXPECT_EQ(Px(b, "e4", 30, 30), 0x112233u);
    b.SetWhiteSquarePattern(QImage());
    EXPECT_EQ(Px(b, "e4", 30, 30), 0xFFFFFFu);

    // Blind: squares only, wherever pieces stand.
    TBrett empty;
    empty.SetFiguren(TFigurenset::F32);
    empty.SetBlackSquareColor(QColor(0x80, 0x40, 0x20));
    empty.SetGrundstellung(false);
    b.Blind = true;
    b.RedrawAll();
    EXPECT_EQ(b.Picture(), empty.Picture());
    b.Blind = false;

    // Locked: nothing is drawn until the lock goes and the board redraws.
    const QImage before = b.Picture();
    b.UpdateLock = true;
    b.SetStellung(LeeresBrett, TZug{});
    b.MarkSquare(Sq("e4"), Qt::red);
    EXPECT_EQ(b.Picture(), before);
    b.UpdateLock = false;
    b.Redraw(false);
    EXPECT_EQ(b.Picture(), empty.Picture());
}

TEST(BrettProperties, DrawFigurStretchesOneHalfOfTheCell) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    QImage pic(64, 64, QImage::Format_RGB32), mask(64, 64, QImage::Format_RGB32);
    pic.fill(Qt::red);
    mask.fill(Qt::red);
    b.DrawFigur(-6, pic, false);
    b.DrawFigur(-6, mask, true);
    int differ = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb m = mask.pixel(x, y) & 0xFFFFFFu;
            ASSERT_TRUE(m == 0 || m == 0xFFFFFFu);
            if (m == 0xFFFFFFu) {
                EXPECT_EQ(pic.pixel(x, y) & 0xFFFFFFu, 0xFFFFFFu);
            }
            if ((pic.pixel(x, y) & 0xFFFFFFu) != m) ++differ;
        }
    EXPECT_GT(differ, 0) << "the black king has light lines inside";
    // Non-pieces leave the bitmap as it is.
    QImage keep(8, 8, QImage::Format_RGB32);
    keep.fill(Qt::red);
    b.DrawFigur(0, keep, false);
    b.DrawFigur(Border, keep, true);
    EXPECT_EQ(keep.pixel(3, 3), QColor(Qt::red).rgb());
}
