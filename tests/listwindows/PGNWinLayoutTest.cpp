// SPDX-License-Identifier: GPL-3.0-or-later
// The filter panel of a narrow list window, as it sits in the main window's
// client area (no window manager grows it to its layout's minimum): every
// caption gets its full width and lies inside the panel, in both languages.
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

struct TLanguageScope {
    ~TLanguageScope() { kb::LwSetLanguageColumn(0); }
};

TEST(ListLayout, FilterPanelCaptionsStayWholeInANarrowWindow) {
    kbtest::THostScope host;
    TLanguageScope language;
    kbtest::TempDir dir;
    const auto games = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
    kbtest::WriteFile(dir / "a.pgn", games[0] + "\r\n\r\n" + games[1]);
    for (const QSize size : {QSize(560, 360), QSize(600, 400)}) {
        QWidget client;
        client.resize(size);
        auto* w = new kb::TMDIPGN(&client);
        w->OpenFile(QString::fromStdString((dir / "a.pgn").string()));
        w->setGeometry(QRect(QPoint(0, 0), size));
        client.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&client));
        w->sbFilter->click();
        ASSERT_TRUE(w->pFilter->isVisible());
        for (int column : {0, 1}) {
            kb::LwSetLanguageColumn(column);
            QApplication::processEvents();
            EXPECT_EQ(w->pFilter->width(), size.width());
            int checked = 0;
            auto check = [&](QWidget* c, const QString& text) {
                ++checked;
                const QRect g = c->geometry();
                EXPECT_GE(g.width(), c->sizeHint().width())
                    << text.toStdString() << " at " << size.width() << " px, language " << column;
                EXPECT_TRUE(w->pFilter->rect().contains(g))
                    << text.toStdString() << " at " << size.width() << " px, language " << column;
            };
            for (QLabel* l : w->pFilter->findChildren<QLabel*>())
                check(l, l->text());
            for (QAbstractButton* b : w->pFilter->findChildren<QAbstractButton*>())
                check(b, b->text());
            // Labels, three radio buttons, six check boxes, two buttons.
            EXPECT_GE(checked, 15);
        }
        EXPECT_EQ(w->cbZeitraum->text(), QStringLiteral("Date:"));
        kb::LwSetLanguageColumn(0);
        EXPECT_EQ(w->cbZeitraum->text(), QStringLiteral("Zeitraum:"));
    }
}

} // namespace
