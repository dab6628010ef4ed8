// SPDX-License-Identifier: GPL-3.0-or-later
// The new-move and "Select move" dialogs driven by mouse and keys.
#include "EditTestUtil.h"
#include "NotationDialogs.h"
#include "WidgetTestSupport.h"

#include <QDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kb;

namespace {

const std::vector<std::string> Three = {"A) 12.Sf3", "B) 12.Sd2", "C) 12.Se1"};

// Runs Act on the dialog once its modal loop runs.
void WhenOpen(TNotationDialogs& d, std::function<void(QDialog*)> Act, QDialog** Seen = nullptr) {
    d.OnOpen = [Act, Seen](QDialog* dlg) {
        if (Seen) *Seen = dlg;
        QTimer::singleShot(0, dlg, [dlg, Act] { Act(dlg); });
    };
}

TEST(NotationDialogsNewMove, EachButtonAndItsResult) {
    TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    TNotationDialogs d(&w);
    TNotation& n = w.Notation();
    const std::pair<const char*, TNewMoveChoice> buttons[] = {
        {"newVariation", TNewMoveChoice::NewVariation},
        {"overwrite", TNewMoveChoice::Overwrite},
        {"replace", TNewMoveChoice::Replace},
        {"cancel", TNewMoveChoice::Cancel}};
    for (const auto& [name, expected] : buttons) {
        SCOPED_TRACE(name);
        WhenOpen(d, [name](QDialog* dlg) {
            auto* b = dlg->findChild<QPushButton*>(name);
            ASSERT_NE(b, nullptr);
            QTest::mouseClick(b, Qt::LeftButton);
        });
        EXPECT_EQ(d.ChooseNewMove(n, Three), expected);
    }
}

TEST(NotationDialogsNewMove, FormCaptionsAndList) {
    TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    TNotationDialogs d(&w);
    TNotation& n = w.Notation();
    for (bool english : {false, true}) {
        n.SetEnglish(english);
        QStringList captions;
        QString title;
        int rows = 0, current = 0;
        bool listEnabled = true, bold = false;
        QSize size;
        WhenOpen(d, [&](QDialog* dlg) {
            title = dlg->windowTitle();
            size = dlg->size();
            for (const char* name : {"newVariation", "overwrite", "replace", "cancel"})
                captions << dlg->findChild<QPushButton*>(name)->text();
            auto* list = dlg->findChild<QListWidget*>("candidates");
            rows = list->count();
            current = list->selectedItems().size();
            listEnabled = list->isEnabled();
            bold = list->font().bold();
            dlg->close(); // the close box
        });
        EXPECT_EQ(d.ChooseNewMove(n, Three), TNewMoveChoice::Cancel);
        EXPECT_EQ(size, QSize(255, 147));
        EXPECT_EQ(rows, 3);
        EXPECT_EQ(current, 0);
        EXPECT_FALSE(listEnabled);
        EXPECT_TRUE(bold);
        if (english) {
            EXPECT_EQ(title, "Enter new move");
            EXPECT_EQ(captions,
                      QStringList({"New variation", "Overwrite", "Replace move", "Cancel"}));
        } else {
            EXPECT_EQ(title, "Neuen Zug eingeben");
            EXPECT_EQ(captions, QStringList({"Neue Variante",
                                             QString::fromUtf8("\xC3\x9C"
                                                               "berschreiben"),
                                             "Zug ersetzen", "Abbruch"}));
        }
    }
}

TEST(NotationDialogsNewMove, KeysEscAndEnter) {
    TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    TNotationDialogs d(&w);
    WhenOpen(d, [](QDialog* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); });
    EXPECT_EQ(d.ChooseNewMove(w.Notation(), Three), TNewMoveChoice::Cancel);
    // Enter presses the button that has the focus, the first one at the start.
    WhenOpen(d, [](QDialog* dlg) {
        dlg->findChild<QPushButton*>("newVariation")->setFocus();
        QTest::keyClick(dlg->focusWidget() ? dlg->focusWidget() : dlg, Qt::Key_Return);
    });
    EXPECT_EQ(d.ChooseNewMove(w.Notation(), Three), TNewMoveChoice::NewVariation);
    WhenOpen(d, [](QDialog* dlg) {
        auto* b = dlg->findChild<QPushButton*>("replace");
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Return);
    });
    EXPECT_EQ(d.ChooseNewMove(w.Notation(), Three), TNewMoveChoice::Replace);
}

// Below the notation, but never off the screen.
TEST(NotationDialogsNewMove, PlacedBelowTheNotationOnTheScreen) {
    TNotationWidget w;
    kbwidget::Prepare(w, 200, 100);
    QScreen* screen = w.screen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    TNotationDialogs d(&w);
    w.move(area.left() + 10, area.top() + 10);
    QTest::qWait(0);
    const QPoint below = w.mapToGlobal(QPoint(0, w.height()));
    EXPECT_EQ(d.Placement(QSize(255, 147)), below);
    for (const QPoint corner : {area.bottomRight(), area.topRight(), area.bottomLeft()}) {
        w.move(corner - QPoint(20, 20));
        QTest::qWait(0);
        const QRect placed(d.Placement(QSize(255, 147)), QSize(255, 147));
        EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y();
    }
    QRect shown;
    WhenOpen(d, [&shown](QDialog* dlg) {
        shown = dlg->frameGeometry();
        dlg->reject();
    });
    EXPECT_EQ(d.ChooseNewMove(w.Notation(), Three), TNewMoveChoice::Cancel);
    EXPECT_EQ(shown.topLeft(), d.Placement(QSize(255, 147)));
}

TEST(NotationDialogsSelect, KeysAndMouse) {
    TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    TNotationDialogs d(&w);
    TNotation& n = w.Notation();
    auto keys = [&](std::vector<Qt::Key> seq) {
        WhenOpen(d, [seq](QDialog* dlg) {
            auto* list = dlg->findChild<QListWidget*>("candidates");
            for (Qt::Key k : seq)
                QTest::keyClick(list, k);
        });
        return d.SelectMove(n, Three);
    };
    EXPECT_EQ(keys({Qt::Key_Return}), 0); // the main continuation starts selected
    EXPECT_EQ(keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}), 2);
    EXPECT_EQ(keys({Qt::Key_Down, Qt::Key_Space}), 1);
    EXPECT_EQ(keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Right}), 1);
    EXPECT_EQ(keys({Qt::Key_Down, Qt::Key_Escape}), -1);
    EXPECT_EQ(keys({Qt::Key_Down, Qt::Key_Left}), -1);
    EXPECT_EQ(keys({Qt::Key_Enter}), 0);

    // A click takes the entry under the mouse.
    WhenOpen(d, [](QDialog* dlg) {
        auto* list = dlg->findChild<QListWidget*>("candidates");
        const QRect r = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    });
    EXPECT_EQ(d.SelectMove(n, Three), 2);
    // The close box is a cancel.
    QString title;
    WhenOpen(d, [&title](QDialog* dlg) {
        title = dlg->windowTitle();
        dlg->close();
    });
    EXPECT_EQ(d.SelectMove(n, Three), -1);
    EXPECT_EQ(title, QString::fromUtf8("Variante w\xC3\xA4hlen"));
    n.SetEnglish(true);
    WhenOpen(d, [&title](QDialog* dlg) {
        title = dlg->windowTitle();
        dlg->close();
    });
    EXPECT_EQ(d.SelectMove(n, Three), -1);
    EXPECT_EQ(title, "Select move");
}

} // namespace

namespace {

// A move entered where the game goes on asks through the dialog; the answer
// decides where the move goes, and the new current move is the one shown.
TEST(NotationDialogsNewMove, EnteredMovesGoWhereTheDialogSays) {
    TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    TNotation& n = w.Notation();
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 e5 2. Nf3")), 0);
    TBaum* e4 = kbtest::MainLine(n)[0];
    ASSERT_TRUE(w.SelectTextPos(e4->TextPos));
    ASSERT_EQ(n.CurrentMove, e4);

    std::vector<std::string> shown;
    auto answer = [&](const char* button) {
        WhenOpen(w.Dialogs(), [&shown, button](QDialog* dlg) {
            auto* list = dlg->findChild<QListWidget*>("candidates");
            shown.clear();
            for (int i = 0; i < list->count(); ++i)
                shown.push_back(list->item(i)->text().toStdString());
            if (button)
                QTest::mouseClick(dlg->findChild<QPushButton*>(button), Qt::LeftButton);
            else
                dlg->close();
        });
    };

    answer("newVariation");
    ASSERT_TRUE(n.MoveDone(kbtest::Move(n, "c7c5")));
    EXPECT_EQ(shown, std::vector<std::string>({"A) 1...e5"}));
    ASSERT_NE(n.CurrentMove, nullptr);
    EXPECT_EQ(kbtest::NodeText(n, n.CurrentMove), "1...c5");
    EXPECT_NE(n.LayoutText.find("[1...c5]"), std::string::npos) << n.LayoutText;
    (void)w.Paintbox()->grab();
    EXPECT_FALSE(w.HighlightRect().isEmpty());

    // Back on 1.e4: cancel by the close box leaves the tree and tells the host.
    ASSERT_TRUE(w.SelectTextPos(e4->TextPos));
    int events = 0;
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett s, bool) {
        ++events;
        EXPECT_EQ(s, kbwidget::BoardAfter(n, e4));
    };
    const std::string before = n.LayoutText;
    answer(nullptr);
    EXPECT_FALSE(n.MoveDone(kbtest::Move(n, "d7d5")));
    EXPECT_EQ(shown, std::vector<std::string>({"A) 1...e5", "B) 1...c5"}));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(n.LayoutText, before);

    answer("overwrite");
    ASSERT_TRUE(n.MoveDone(kbtest::Move(n, "d7d5")));
    EXPECT_EQ(kbtest::MainLineTexts(n), std::vector<std::string>({"1.e4", "d5"}));
}

} // namespace
