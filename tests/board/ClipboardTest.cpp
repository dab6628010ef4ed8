// SPDX-License-Identifier: GPL-3.0-or-later
// FEN and picture through the clipboard.
#include "BoardTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

using namespace kb;
using kbboard::Sq;

namespace {

struct Pasting {
    TBrett b;
    int events = 0;
    int moveNo = 0;
    Pasting() {
        b.SetFiguren(TFigurenset::F32);
        b.OnNewPosition = [this](TBrett*, const TSchachbrett&, const TZug&, int z) {
            ++events;
            moveNo = z;
        };
    }
    bool Paste(const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        return b.FENInsert();
    }
};

} // namespace

TEST(Clipboard, FenCopyWritesTheBoardWithMoveOne) {
    TBrett b;
    b.FENCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    TZug z;
    z.Side = -1;
    z.CastlingRights = BlackShort;
    z.EnPassant = Sq("e3");
    TSchachbrett s = LeeresBrett;
    s[Sq("e4")] = 1;
    s[Sq("h1")] = 6;
    s[Sq("h8")] = -6;
    s[Sq("a8")] = -2;
    b.SetStellung(s, z);
    // Chess960 games are copied without their marker.
    TFischerInfo fi;
    fi.Fischer = true;
    b.FischerInfo = &fi;
    b.FENCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("r6k/8/8/8/4P3/8/8/7K b k e3 0 1"));
}

TEST(Clipboard, FenPasteTakesBareAndQuotedText) {
    Pasting p;
    ASSERT_TRUE(p.Paste(QStringLiteral("  8/8/8/4k3/8/8/8/4K2R b K - 0 37 \n")));
    EXPECT_EQ(p.events, 1);
    EXPECT_EQ(p.moveNo, 1);
    TSchachbrett s;
    p.b.GetStellung(s);
    EXPECT_EQ(s[Sq("e5")], -6);
    EXPECT_EQ(s[Sq("h1")], 2);
    EXPECT_EQ(s[Sq("e2")], 0);
    TZug z;
    p.b.GetZug(z);
    EXPECT_EQ(z.Side, -1);
    EXPECT_EQ(z.CastlingRights, WhiteShort);
    TBrett ref;
    ref.SetFiguren(TFigurenset::F32);
    ref.SetStellung(s, z);
    EXPECT_EQ(p.b.Picture(), ref.Picture());

    // A tag line: the text between the quotes.
    ASSERT_TRUE(p.Paste(QStringLiteral("[FEN \"4k3/8/8/8/8/8/8/R3K3 w Q - 0 1\"]")));
    p.b.GetStellung(s);
    EXPECT_EQ(s[Sq("a1")], 2);
    EXPECT_EQ(s[Sq("e8")], -6);
    p.b.GetZug(z);
    EXPECT_EQ(z.CastlingRights, WhiteLong);
    EXPECT_EQ(p.events, 2);
}

// Castling rights the pieces deny are dropped as the text is read; a text
// that names a Chess960 position by its rook files hands its record to the
// host with the position, and copies back as it came.
TEST(Clipboard, FenPasteDropsDeniedRightsAndKeepsChess960) {
    Pasting p;
    TFischerInfo heard{};
    p.b.OnNewPosition = [&](TBrett* s, const TSchachbrett&, const TZug&, int) {
        ++p.events;
        heard = s->NewFischerInfo;
    };
    const QString denied = QStringLiteral("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w KQkq - 0 1");
    ASSERT_TRUE(p.Paste(denied));
    TZug z;
    p.b.GetZug(z);
    EXPECT_EQ(z.CastlingRights, BlackShort | BlackLong);
    EXPECT_FALSE(heard.Fischer);
    p.b.FENCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w kq - 0 1"));

    const QString frc = QStringLiteral("1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w HBhb - 0 1");
    ASSERT_TRUE(p.Paste(frc));
    EXPECT_EQ(p.events, 2);
    p.b.GetZug(z);
    EXPECT_EQ(z.CastlingRights, AllCastlingRights);
    ASSERT_TRUE(heard.Fischer);
    EXPECT_EQ(heard.WhiteKing, Sq("f1"));
    EXPECT_EQ(heard.WhiteRookA, Sq("b1"));
    EXPECT_EQ(heard.BlackRookH, Sq("h8"));
    // The host points the board at the record; the copy names the rooks.
    TFischerInfo host = heard;
    p.b.FischerInfo = &host;
    p.b.FENCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), frc);
    // A plain position after it: the record is gone.
    ASSERT_TRUE(p.Paste(denied));
    EXPECT_FALSE(heard.Fischer);
    EXPECT_FALSE(p.b.NewFischerInfo.Fischer);
}

TEST(Clipboard, RejectedFenLeavesTheBoardAlone) {
    Pasting p;
    const QImage before = p.b.Picture();
    TSchachbrett s0;
    p.b.GetStellung(s0);
    TZug z0;
    p.b.GetZug(z0);
    for (const char* bad :
         {"hello world", "8/8/8/8/8/8 w - - 0 1",
          "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "[FEN \"\"]", "\"   \""}) {
        EXPECT_FALSE(p.Paste(QString::fromUtf8(bad))) << bad;
        TSchachbrett s;
        p.b.GetStellung(s);
        EXPECT_EQ(s, s0) << bad;
        TZug z;
        p.b.GetZug(z);
        EXPECT_EQ(z, z0) << bad;
    }
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(p.b.FENInsert());
    EXPECT_EQ(p.events, 0);
    EXPECT_EQ(p.b.Picture(), before);
}

// A well-formed FEN of a position no game reaches is refused with a message
// in the board's language; the board and its host hear nothing else.
TEST(Clipboard, UnplayableFenIsRefusedWithAMessage) {
    Pasting p;
    std::vector<QString> shown;
    p.b.ModalRunner = [&shown](QDialog& d) {
        if (auto* box = dynamic_cast<QMessageBox*>(&d)) shown.push_back(box->text());
        return int(QDialog::Accepted);
    };
    TSchachbrett s0;
    p.b.GetStellung(s0);
    const QImage before = p.b.Picture();
    for (const char* bad : {"8/8/8/8/8/8/8/8 w - - 0 1",          // no kings
                            "4k3/8/8/8/8/8/8/8 w - - 0 1",        // no white king
                            "4k3/8/8/8/8/8/4R3/4K3 w - - 0 1",    // Black in check, White to move
                            "4k3/8/8/8/8/8/8/2K1r3 b - - 0 1",    // White in check, Black to move
                            "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",     // pawn on the last rank
                            "4k3/8/8/8/8/8/8/4K1k1 w - - 0 1"}) { // two black kings
        const size_t n = shown.size();
        EXPECT_FALSE(p.Paste(QString::fromLatin1(bad))) << bad;
        ASSERT_EQ(shown.size(), n + 1) << bad;
        EXPECT_TRUE(shown.back().contains(QStringLiteral("König"))) << bad;
        TSchachbrett s;
        p.b.GetStellung(s);
        EXPECT_EQ(s, s0) << bad;
    }
    EXPECT_EQ(p.events, 0);
    EXPECT_EQ(p.b.Picture(), before);

    p.b.English = true;
    EXPECT_FALSE(p.Paste(QStringLiteral("8/8/8/8/8/8/8/8 w - - 0 1")));
    EXPECT_TRUE(shown.back().startsWith(QStringLiteral("This position cannot occur")));
    // The side to move may stand in check; that position is taken, unasked.
    const size_t n = shown.size();
    EXPECT_TRUE(p.Paste(QStringLiteral("4k3/8/8/8/8/8/4R3/4K3 b - - 0 1")));
    EXPECT_EQ(shown.size(), n);
    EXPECT_EQ(p.events, 1);
}

TEST(Clipboard, PictureCopyIsTheBoardsPicture) {
    TBrett b;
    b.SetFiguren(TFigurenset::F32);
    b.DiaCopy();
    const QImage got = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(got.isNull());
    EXPECT_EQ(got.size(), QSize(256, 256));
    EXPECT_EQ(got.convertToFormat(QImage::Format_RGB32), b.Picture());
}
