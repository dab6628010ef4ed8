// SPDX-License-Identifier: GPL-3.0-or-later
// The board window's dialogs: game data, comment, thinking time, engines.
#include "BoardWindowSupport.h"
#include "BrettWinFrame.h"
#include "Comment.h"
#include "Local.h"
#include "PGNSave.h"
#include "TestSupport.h"
#include "UTimedlg.h"
#include "UfrmEngines.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <string>
#include <vector>

using namespace bwtest;

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStringTable();
        LanguageColumn = 1;
    }
    TAnswers A;
    TAnswerScope Scope{A};
};

} // namespace

TEST_F(Dialogs, GameDataRefusesQuotesAndBackslashesHoweverTheyCome) {
    TfPGNSave d;
    for (QLineEdit* e : {d.eWeiss, d.eSchwarz, d.eQuelle, d.eSite, d.eKommentator, d.eeco}) {
        e->setFocus();
        QTest::keyClicks(e, "a\"b\\c");
        EXPECT_EQ(e->text(), "abc") << e->objectName().toStdString();
        QGuiApplication::clipboard()->setText("x\"y");
        e->paste();
        QGuiApplication::clipboard()->setText("p\\q");
        e->paste();
        EXPECT_FALSE(e->text().contains('"'));
        EXPECT_FALSE(e->text().contains('\\'));
    }
    EXPECT_EQ(d.eWeiss->maxLength(), 200);
    EXPECT_EQ(d.eeco->maxLength(), 10);
    d.seRunde->setValue(70000);
    EXPECT_EQ(d.seRunde->value(), 65535);
    d.seMonat->setValue(13);
    EXPECT_EQ(d.seMonat->value(), 12);
    d.seTag->setValue(40);
    EXPECT_EQ(d.seTag->value(), 31);
}

TEST_F(Dialogs, GameDataOkNeedsAChangeAndASaveTarget) {
    {
        TfPGNSave d;
        d.bOkClick(); // nothing changed: closes as cancelled
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
    {
        TfPGNSave d;
        d.rbRemis->setChecked(true);
        EXPECT_TRUE(d.Changed());
        d.ShowSaveTarget(true);
        d.setVisible(true);
        d.bOkClick(); // no target chosen: the dialog stays
        ASSERT_EQ(A.Messages.size(), 1u);
        EXPECT_EQ(A.Messages[0], bw::Text(7));
        EXPECT_TRUE(d.isVisible());
        d.cbFileName->addItem("games.pgn   \"/tmp/games.pgn\"");
        d.bOkClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
}

// Tab walks the fields as they stand, row by row, as the board window
// shows the dialog (a result checked, the save target shown); the result
// group is one stop, at the checked result.
TEST_F(Dialogs, GameDataTabFollowsTheFieldsRowByRow) {
    TfPGNSave d;
    d.rbVerlust->setChecked(true);
    d.ShowSaveTarget(true);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    const std::vector<QWidget*> fields = {d.eWeiss,    d.sewElo,     d.eSchwarz,     d.sesElo,
                                          d.eQuelle,   d.eSite,      d.seJahr,       d.seMonat,
                                          d.seTag,     d.seRunde,    d.eKommentator, d.eeco,
                                          d.rbVerlust, d.cbFileName, d.bOk,          d.bCancel};
    std::vector<QWidget*> known = fields;
    known.insert(known.end(), {d.rbGewinn, d.rbRemis, d.rbKeinErgebnis});
    auto field = [&](QWidget* w) {
        for (; w; w = w->parentWidget())
            if (std::find(known.begin(), known.end(), w) != known.end()) return w;
        return static_cast<QWidget*>(nullptr);
    };
    d.eWeiss->setFocus();
    std::vector<QWidget*> walk = {d.eWeiss};
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = field(QApplication::focusWidget());
        ASSERT_NE(now, nullptr) << "Tab went from " << walk.back()->objectName().toStdString()
                                << " to a "
                                << QApplication::focusWidget()->metaObject()->className() << " "
                                << QApplication::focusWidget()->objectName().toStdString();
        if (now == d.eWeiss) break;
        walk.push_back(now);
    }
    std::vector<std::string> names, expected;
    for (QWidget* w : walk)
        names.push_back(w->objectName().toStdString());
    for (QWidget* w : fields)
        expected.push_back(w->objectName().toStdString());
    EXPECT_EQ(names, expected);
    // Each step goes right on the same row or down to a later row.
    for (size_t i = 1; i < walk.size(); ++i) {
        const QRect a(walk[i - 1]->mapTo(&d, QPoint()), walk[i - 1]->size());
        const QRect b(walk[i]->mapTo(&d, QPoint()), walk[i]->size());
        const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
        EXPECT_TRUE(sameRow ? b.left() > a.left() : b.top() >= a.bottom())
            << names[i - 1] << " -> " << names[i];
    }
}

TEST_F(Dialogs, DialogCaptionsFollowTheLanguage) {
    LanguageColumn = 0;
    {
        TfPGNSave d;
        EXPECT_EQ(d.windowTitle(), "Partiedaten");
        EXPECT_EQ(d.bCancel->text(), "Abbrechen");
    }
    bw::SetLanguageColumn(1);
    TfPGNSave d;
    EXPECT_EQ(d.windowTitle(), "Game information");
    EXPECT_EQ(d.rbKeinErgebnis->text(), "No result");
    TTimeDlg t;
    EXPECT_EQ(t.windowTitle(), "Thinking time");
    EXPECT_EQ(t.cbOnlyOneClock->text(), "Set up only this clock");
    TKomm k;
    EXPECT_EQ(k.Button3->text(), "Insert diagram");
    // Back to German: the captured German captions return.
    bw::SetLanguageColumn(0);
    EXPECT_EQ(d.windowTitle(), "Partiedaten");
    EXPECT_EQ(t.windowTitle(), "Bedenkzeit");
    EXPECT_EQ(k.Button3->text(), "Diagramm einfügen");
}

TEST_F(Dialogs, CommentDiagramMarkersReachTheGame) {
    TKomm k;
    k.Memo1->setPlainText("Good move");
    k.Memo1->moveCursor(QTextCursor::End);
    k.Button3Click();
    k.Button3Click();
    const QString marker = QStringLiteral("\n") + QChar(0x7F) + QStringLiteral("\n");
    EXPECT_EQ(k.Memo1->toPlainText(), "Good move" + marker + marker);

    QPointer<TMDIBrett> w = NewWindow();
    Drag(*w, "e2", "e4");
    A.Dialog = [](QDialog& D) {
        auto* c = dynamic_cast<TKomm*>(&D);
        if (!c) return int(mrCancel);
        c->Memo1->setPlainText("Strong");
        c->Memo1->moveCursor(QTextCursor::End);
        c->Button3Click();
        return int(mrOk);
    };
    w->bCommentClick();
    std::string comment;
    w->Notation1->Notation().GetComment(comment);
    EXPECT_NE(comment.find("Strong"), std::string::npos);
    EXPECT_NE(comment.find('\x7F'), std::string::npos);
    w->Notation1->Notation().SetModified(false);
    delete w.data();
}

TEST_F(Dialogs, ClockDialogSetsOneOrBothClocks) {
    QPointer<TMDIBrett> w = NewWindow();
    bool onlyOne = false;
    A.Dialog = [&onlyOne](QDialog& D) {
        auto* t = dynamic_cast<TTimeDlg*>(&D);
        if (!t) return int(mrCancel);
        t->SpinEdit1->setValue(3);
        t->SpinEdit2->setValue(2);
        t->cbOnlyOneClock->setChecked(onlyOne);
        return int(mrOk);
    };
    QTest::mouseClick(w->tlWhite, Qt::LeftButton);
    EXPECT_EQ(w->tlWhite->SecTotal(), 180);
    EXPECT_EQ(w->tlBlack->SecTotal(), 180);
    EXPECT_EQ(w->tlBlack->SecPerMove, 2);
    onlyOne = true;
    A.Dialog = [&onlyOne](QDialog& D) {
        auto* t = dynamic_cast<TTimeDlg*>(&D);
        t->SpinEdit1->setValue(7);
        t->cbOnlyOneClock->setChecked(onlyOne);
        return int(mrOk);
    };
    w->tlBlackClick();
    EXPECT_EQ(w->tlBlack->SecTotal(), 420);
    EXPECT_EQ(w->tlWhite->SecTotal(), 180);
    TTimeDlg t;
    t.SpinEdit1->setValue(0);
    EXPECT_EQ(t.SpinEdit1->value(), 1);
    delete w.data();
}

TEST_F(Dialogs, EngineListHoldsAtMostEightExecutables) {
    kbtest::TempDir dir;
    const std::string plain = (dir / "notes.txt").string();
    kbtest::WriteFile(plain, "x");
    TfrmEngines d;
    QString next = "/bin/sh";
    d.ChooseFile = [&next] { return next; };
    d.bRemoveClick(); // nothing selected, nothing there
    EXPECT_EQ(d.ListBox1->count(), 0);
    next = QString::fromStdString(plain); // not executable
    d.bAddClick();
    EXPECT_EQ(d.ListBox1->count(), 0);
    next = "";
    d.bAddClick(); // cancelled
    EXPECT_EQ(d.ListBox1->count(), 0);
    next = "/bin/sh";
    for (int i = 0; i < 10; ++i)
        d.bAddClick();
    EXPECT_EQ(d.ListBox1->count(), TfrmEngines::MaxEngines);
    EXPECT_FALSE(d.bAdd->isEnabled());
    d.ListBox1->clearSelection();
    d.ListBox1->setCurrentRow(-1);
    d.bRemoveClick();
    EXPECT_EQ(d.ListBox1->count(), 8);
    d.ListBox1->setCurrentRow(2);
    d.bRemoveClick();
    EXPECT_EQ(d.ListBox1->count(), 7);
    EXPECT_TRUE(d.bAdd->isEnabled());

    QStringList engines{"/bin/sh", "/bin/true"};
    RegisterProgramWindows();
    A.Dialog = [](QDialog& D) {
        auto* e = dynamic_cast<TfrmEngines*>(&D);
        e->ListBox1->setCurrentRow(0);
        e->bRemoveClick();
        return int(mrCancel);
    };
    WindowFactories().EditEngineList(nullptr, engines);
    EXPECT_EQ(engines, QStringList{"/bin/true"}); // kept whatever button closed it
}

TEST_F(Dialogs, EnterAfterRemoveIsOk) {
    // A clicked button keeps the focus; Enter then is still OK, and removes
    // or adds nothing more.
    TfrmEngines d;
    d.SetEngines({"/bin/sh", "/bin/true", "/bin/false"});
    d.ChooseFile = [] { return QStringLiteral("/bin/sh"); };
    auto clickThenEnter = [&](QPushButton* B) {
        QTimer::singleShot(0, &d, [&d, B] {
            d.ListBox1->setCurrentRow(0);
            B->setFocus(Qt::MouseFocusReason); // as the click gives it
            QTest::mouseClick(B, Qt::LeftButton);
            d.ListBox1->setCurrentRow(0);
            QTest::keyClick(B, Qt::Key_Return);
            if (d.isVisible()) d.reject();
        });
        return d.exec();
    };
    EXPECT_EQ(clickThenEnter(d.bRemove), QDialog::Accepted);
    EXPECT_EQ(d.Engines(), (QStringList{"/bin/true", "/bin/false"}));
    EXPECT_EQ(clickThenEnter(d.bAdd), QDialog::Accepted);
    EXPECT_EQ(d.Engines(), (QStringList{"/bin/true", "/bin/false", "/bin/sh"}));
}

TEST_F(Dialogs, PrintAsksForThePrinterWithTheShownPosition) {
    QPointer<TMDIBrett> w = NewWindow();
    Drag(*w, "e2", "e4");
    int asked = 0;
    A.Dialog = [&asked](QDialog& D) {
        if (D.inherits("QPrintDialog")) ++asked;
        return int(mrCancel);
    };
    w->mPrint->trigger();
    EXPECT_EQ(asked, 1);
    w->Notation1->Notation().SetModified(false);
    delete w.data();
}

TEST_F(Dialogs, EngineFileDialogListsFoldersAndExecutables) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "notes.txt", "x");
    kbtest::WriteFile(dir / "engine", "#!/bin/sh\n");
    std::filesystem::permissions(dir / "engine", std::filesystem::perms::owner_all);
    std::filesystem::create_directory(dir / "engines");
    QFileDialog dlg;
    TfrmEngines::SetupFileDialog(dlg);
    dlg.setDirectory(QString::fromStdString(dir.path().string()));
    auto* view = dlg.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_TRUE(view);
    auto shown = [&] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int i = 0; i < view->model()->rowCount(root); ++i)
            names << view->model()->index(i, 0, root).data().toString();
        names.sort();
        return names;
    };
    const QStringList want{"engine", "engines"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == want; }, 10000))
        << shown().join(", ").toStdString();
}
