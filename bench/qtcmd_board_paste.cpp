// SPDX-License-Identifier: GPL-3.0-or-later
// board-paste PGNFILE ROW TEXTFILE: the program's frame on a fresh folder
// opens PGNFILE at ROW, so the board window shows that game bound to its list
// as a double click binds it. TEXTFILE's text goes on the clipboard, the
// window's Paste game runs, then Save as its first tool button does; every
// question gets its default button. Prints the window's white, black and
// main-line plies after the paste, and whether the file changed (saved 0|1).
#include "BrettWin.h"
#include "DialogsLng.h"
#include "KbBench.h"
#include "KbBenchQt.h"
#include "Main.h"
#include "NotationWidgetText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <iostream>

namespace {

// Questions get what Enter would give them.
void AnswerWithDefaults() {
    TAnswerer answers = Answerer();
    answers.Message = [](const TMessageRequest& R) {
        std::cerr << "kbbench board-paste: message: " << R.Msg.toStdString() << "\n";
        return MsgDlgButtonResults[MsgDlgDefaultButton(R.Buttons)];
    };
    answers.Dialog = [](QDialog& D) {
        std::cerr << "kbbench board-paste: dialog: " << D.windowTitle().toStdString() << "\n";
        for (QPushButton* b : D.findChildren<QPushButton*>())
            if (b->isDefault() && b->isEnabled()) {
                b->click();
                break;
            }
        return D.result() == QDialog::Rejected ? static_cast<int>(mrCancel) : D.result();
    };
    Answerer() = answers;
}

int RunBoardPaste(const kbbench::Args& args) {
    if (args.size() != 3) return kbbench::UsageError("expected PGNFILE ROW TEXTFILE");
    int row = 0;
    if (!kbbench::ParseInt(args[1], 0, 100000000, row))
        return kbbench::UsageError("ROW must be >= 0");
    std::string text, before;
    if (!kbbench::ReadPgnFile(args[2], text)) return kbbench::UsageError("cannot read " + args[2]);
    const std::string file =
        QFileInfo(QString::fromStdString(args[0])).absoluteFilePath().toStdString();
    if (!kbbench::ReadPgnFile(file, before)) return kbbench::UsageError("cannot read " + args[0]);

    QTemporaryDir dir;
    const auto app = kbbench::StartProgram(dir);
    if (!dir.isValid()) return 1;
    if (!QFile(dir.filePath("Kestrelbay.ini")).open(QIODevice::WriteOnly)) {
        std::cerr << "kbbench board-paste: cannot create the ini\n";
        return 1;
    }
    AnswerWithDefaults();

    TMainForm frame(dir.path(), {QString::fromStdString(file), QString::number(row)});
    QElapsedTimer clock;
    clock.start();
    while (!frame.StartupDone() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    TMDIBrett* w = nullptr;
    for (TBoardWindowIntf* b : frame.BoardWindows())
        if ((w = dynamic_cast<TMDIBrett*>(b))) break;
    if (!w) {
        std::cerr << "kbbench board-paste: no game in row " << row << "\n";
        return 1;
    }

    QGuiApplication::clipboard()->setText(kb::DecodeGameText(text));
    w->mPGNInsert->trigger();
    kb::TNotation& n = w->Notation1->Notation();
    int plies = 0;
    for (const kb::TBaum* m = n.RootLine ? n.RootLine->Erster : nullptr; m; m = m->Next)
        ++plies;
    std::cout << "white\t" << n.GameData.EventData.White << "\n"
              << "black\t" << n.GameData.EventData.Black << "\n"
              << "plies\t" << plies << "\n";

    w->sbReplace->click();
    std::string after;
    if (!kbbench::ReadPgnFile(file, after)) {
        std::cerr << "kbbench board-paste: cannot read " << file << " after the save\n";
        return 1;
    }
    std::cout << "saved\t" << (after != before ? 1 : 0) << "\n";
    // Closing asks nothing more.
    n.SetModified(false);
    return 0;
}

const kbbench::Command command{"board-paste", "PGNFILE ROW TEXTFILE", &RunBoardPaste};

} // namespace
