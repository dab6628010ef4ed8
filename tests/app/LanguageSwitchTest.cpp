// SPDX-License-Identifier: GPL-3.0-or-later
// Registered captions and hints across language switches, and the
// language menu items.
#include "Local.h"
#include "TestSupport.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// A window built the way the program's windows are: German design-time
// texts, then one registration per item.
struct TestWindow : QMainWindow {
    QMenu* mOptions;
    QAction* mShowLastMove;
    QPushButton* bFilter;
    QCheckBox* cbPosition;
    QLabel* Label17;
    QGroupBox* Group;
    QTreeWidget* List;
    QString OpenTitle = U("KBF/PGN-Datei öffnen bzw. eine neue angeben");

    TestWindow() {
        setWindowTitle(U("Datenbanken (Doppelklick öffnet eine Datei)"));
        mOptions = menuBar()->addMenu(U("&Optionen"));
        mShowLastMove = mOptions->addAction(U("&Letzten Zug zeigen"));
        SetHint(mShowLastMove, U("Signalton ein- oder ausschalten"));
        auto* central = new QWidget(this);
        setCentralWidget(central);
        bFilter = new QPushButton(U("Filtern"), central);
        SetHint(bFilter, U("Filter|Filter ein- oder ausschalten"));
        cbPosition = new QCheckBox(U("Stellung"), central);
        Label17 = new QLabel(U("Spieler:"), central);
        Group = new QGroupBox(U("Figurenbezeichner"), central);
        List = new QTreeWidget(central);
        List->setHeaderLabels({U("Nr."), U("Spieler")});
        SetHint(List, U("Diese Liste akzeptiert Drag&&Drop von Partien."));

        RegisterCaption(this, 60);
        RegisterCaption(mOptions, 25);
        RegisterCaption(mShowLastMove, 45);
        RegisterHint(mShowLastMove, 46);
        RegisterCaption(bFilter, 77);
        RegisterHint(bFilter, 79);
        RegisterCaption(cbPosition, 74);
        RegisterCaption(Label17, 68);
        RegisterCaption(Group, 166);
        RegisterHint(List, 61);
        RegisterText(this, 62, U("Nr."),
                     [this](const QString& s) { List->headerItem()->setText(0, s); });
        RegisterText(this, 63, U("Spieler"),
                     [this](const QString& s) { List->headerItem()->setText(1, s); });
        RegisterText(this, 131, OpenTitle, [this](const QString& s) { OpenTitle = s; });
    }

    std::map<std::string, QString> Texts() const {
        return {{"title", windowTitle()},
                {"mOptions", mOptions->title()},
                {"mShowLastMove", mShowLastMove->text()},
                {"mShowLastMove.status", mShowLastMove->statusTip()},
                {"bFilter", bFilter->text()},
                {"bFilter.tip", bFilter->toolTip()},
                {"bFilter.status", bFilter->statusTip()},
                {"cbPosition", cbPosition->text()},
                {"Label17", Label17->text()},
                {"Group", Group->title()},
                {"List.tip", List->toolTip()},
                {"List.status", List->statusTip()},
                {"header0", List->headerItem()->text(0)},
                {"header1", List->headerItem()->text(1)},
                {"open", OpenTitle}};
    }
};

class LanguageSwitch : public ::testing::Test {
protected:
    void SetUp() override { ResetStringTable(); }
    void TearDown() override { ResetStringTable(); }
};

TEST_F(LanguageSwitch, GermanEnglishFileGermanRestoresEverything) {
    TestWindow w;
    const auto german = w.Texts();
    EXPECT_EQ(german.at("bFilter.tip"), "Filter");
    EXPECT_EQ(german.at("bFilter.status"), U("Filter ein- oder ausschalten"));
    // Capture filled the empty German entries, and kept the built-in one.
    EXPECT_EQ(Text(25), "&Optionen");
    EXPECT_EQ(Text(62), "Nr.");
    EXPECT_EQ(Text(131), U("KBF/PGN-Datei öffnen bzw. eine neue angeben"));
    EXPECT_EQ(Text(61), "Diese Liste akzeptiert Drag&&Drop.");

    LanguageColumn = 1;
    ApplyLanguage();
    const auto english = w.Texts();
    const std::map<std::string, QString> expected = {
        {"title", "Databases (double click to open a file)"},
        {"mOptions", "&Options"},
        {"mShowLastMove", "&Show last move"},
        {"mShowLastMove.status", "Activate or deactivate beep"},
        {"bFilter", "Filter"},
        {"bFilter.tip", "Filter"},
        {"bFilter.status", "Activate or deactivate filter"},
        {"cbPosition", "Position"},
        {"Label17", "Player:"},
        {"Group", "Pieces letters"},
        {"List.tip", ""},
        {"List.status", "This list accepts Drag&&Drop of games from a database window"},
        {"header0", "No."},
        {"header1", "Players"},
        {"open", "Please choose KBF/PGN-file or enter a new file name"}};
    EXPECT_EQ(english, expected);

    kbtest::TempDir dir;
    std::string lng;
    for (int i = 0; i < TextCount; ++i)
        lng += "T" + std::to_string(i) + "\xC2\xA7x\n";
    kbtest::WriteFile(dir / "Test.lng", lng);
    ASSERT_TRUE(SelectLanguageFile(QString::fromStdString((dir / "Test.lng").string())));
    for (const auto& [key, text] : w.Texts())
        EXPECT_TRUE(text.startsWith("T")) << key;
    EXPECT_EQ(w.mOptions->title(), "T25\rx");
    EXPECT_EQ(w.bFilter->toolTip(), "T79\rx");

    ASSERT_TRUE(SelectLanguageFile(QString()));
    EXPECT_EQ(w.Texts(), german);
}

TEST_F(LanguageSwitch, WindowsOpenedLaterShowTheCurrentLanguage) {
    LanguageColumn = 1;
    ApplyLanguage();
    TestWindow w; // registers while English is chosen
    EXPECT_EQ(w.mOptions->title(), "&Options");
    EXPECT_EQ(w.windowTitle(), "Databases (double click to open a file)");
    // ...and still knows its German texts.
    ASSERT_TRUE(SelectLanguageFile(QString()));
    EXPECT_EQ(w.mOptions->title(), "&Optionen");
    EXPECT_EQ(w.bFilter->statusTip(), U("Filter ein- oder ausschalten"));
}

TEST_F(LanguageSwitch, SharedNumbersAndClosedWindows) {
    // Two windows share entry 101 with different German texts; each gets
    // its own back. A closed window's registrations end with it.
    auto* first = new QPushButton("Nichts");
    auto* second = new QPushButton("Gar nichts");
    RegisterCaption(first, 101);
    RegisterCaption(second, 101);
    EXPECT_EQ(Text(101), "Nichts");
    LanguageColumn = 1;
    ApplyLanguage();
    EXPECT_EQ(first->text(), "Nothing");
    EXPECT_EQ(second->text(), "Nothing");
    delete first;
    LanguageColumn = 0;
    ApplyLanguage(); // must not touch the deleted button
    EXPECT_EQ(second->text(), "Gar nichts");
    // Registering again keeps the German text captured first.
    LanguageColumn = 1;
    ApplyLanguage();
    RegisterCaption(second, 101);
    LanguageColumn = 0;
    ApplyLanguage();
    EXPECT_EQ(second->text(), "Gar nichts");
    delete second;
}

TEST_F(LanguageSwitch, HintForms) {
    QPushButton b;
    SetHint(&b, "|long only");
    EXPECT_EQ(b.toolTip(), "");
    EXPECT_EQ(b.statusTip(), "long only");
    EXPECT_EQ(HintOf(&b), "|long only");
    QPushButton plain;
    plain.setToolTip("short");
    plain.setStatusTip("long");
    EXPECT_EQ(HintOf(&plain), "short|long");
    plain.setStatusTip("short");
    EXPECT_EQ(HintOf(&plain), "short");
}

TEST_F(LanguageSwitch, LanguageMenuItems) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "Zulu.lng", "Z0\n");
    kbtest::WriteFile(dir / "English.lng", "");
    kbtest::WriteFile(dir / "R&D.lng", "R0\n");
    kbtest::WriteFile(dir / "notes.txt", "");
    const QString folder = QString::fromStdString(dir.path().string());
    // English is offered even where its file is missing.
    ASSERT_EQ(LanguageFiles(folder + "/nowhere"), QStringList(folder + "/nowhere/English.lng"));
    const QStringList files = LanguageFiles(folder);
    ASSERT_EQ(files.size(), 3);
    EXPECT_TRUE(files[0].endsWith("English.lng"));

    QMenu menu;
    QActionGroup group(&menu);
    QAction* separator = menu.addSeparator();
    QList<QAction*> items{AddLanguageItem(&menu, &group, separator, 1, QString())};
    int number = 2;
    for (const QString& f : files)
        items << AddLanguageItem(&menu, &group, separator, number++, f);
    ASSERT_EQ(menu.actions().size(), 5);
    EXPECT_EQ(menu.actions().last(), separator);
    EXPECT_EQ(items[0]->text(), "Deutsch");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_1));
    EXPECT_EQ(items[2]->text(), "R&&D");
    EXPECT_EQ(items[3]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_4));
    EXPECT_TRUE(group.isExclusive());
    // Items 10 and more get no shortcut.
    QAction* tenth = AddLanguageItem(&menu, &group, separator, 10, files[0]);
    EXPECT_TRUE(tenth->shortcut().isEmpty());

    // The file name comes from the data, whatever Qt did to the caption.
    items[2]->setText("&R&&D");
    EXPECT_EQ(LanguageItemFile(items[2]), files[1]);
    EXPECT_EQ(FindLanguageItem(items, "r&d"), items[2]);
    EXPECT_EQ(FindLanguageItem(items, "ZULU"), items[3]);
    EXPECT_EQ(FindLanguageItem(items, "Klingon"), items[0]);
    EXPECT_EQ(FindLanguageItem({}, "x"), nullptr);
    ASSERT_TRUE(SelectLanguageFile(LanguageItemFile(items[2])));
    EXPECT_EQ(Text(0), "R0");
}

} // namespace

TEST_F(LanguageSwitch, QtDialogsFollowTheLanguage) {
    // Qt's own dialogs (the font dialog's labels) speak the program's language.
    auto size = [] { return QCoreApplication::translate("QFontDialog", "&Size"); };
    LanguageColumn = 1;
    ApplyLanguage();
    EXPECT_EQ(size(), "&Size");
    ASSERT_TRUE(SelectLanguageFile(QString()));
    EXPECT_EQ(size(), U("&Größe"));
    EXPECT_EQ(QCoreApplication::translate("QFontDialog", "Sample"), "Beispiel");
    LanguageColumn = 1;
    ApplyLanguage();
    EXPECT_EQ(size(), "&Size");
}
