// SPDX-License-Identifier: GPL-3.0-or-later
// dialogs-png WHICH FILE [english]: paints one of the shell's small dialogs
// offscreen into a PNG. WHICH is about, pieces, message, fontcolor (the
// font dialog with its colour button, preset to a maroon comment font) or
// setup (the position setup dialog as it opens on the start position).
#include "About.h"
#include "Aufbau.h"
#include "DialogsLng.h"
#include "KbBench.h"
#include "KbBenchQt.h"
#include "Local.h"
#include "UPieces.h"

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QLineEdit>

#include <iostream>
#include <memory>

namespace {

int RunDialogsPng(const kbbench::Args& args) {
    if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && args[2] != "english"))
        return kbbench::UsageError("expected WHICH FILE [english]");
    const auto app = kbbench::StartQt(kbbench::Screen::DisplayIfAny);
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrelbay"));
    LanguageColumn = args.size() == 3 ? 1 : 0;
    ApplyLanguage();

    // The setup dialog's caller; declared first, it outlives its dialog.
    std::unique_ptr<kb::TBrett> caller;
    std::unique_ptr<QWidget> dialog;
    if (args[0] == "about") {
        dialog = std::make_unique<TAboutBox>();
    } else if (args[0] == "pieces") {
        static QFont notation(QStringLiteral("DejaVu Sans Mono"), 11, QFont::Bold);
        auto pieces = std::make_unique<TfrmPieces>(&notation);
        const char* letters[6] = {"K", "D", "T", "L", "S", ""};
        for (int i = 0; i < 6; ++i)
            pieces->fEdit[i]->setText(letters[i]);
        pieces->ApplyFont();
        dialog = std::move(pieces);
    } else if (args[0] == "message") {
        dialog = CreateMessageDialogEx(Text(12) + "\r" + Text(201), mtConfirmation, mbYesNoCancel);
    } else if (args[0] == "fontcolor") {
        dialog = std::make_unique<TFontColorDialog>(QFont(QStringLiteral("DejaVu Sans"), 10),
                                                    QColor(128, 0, 0));
    } else if (args[0] == "setup") {
        caller = std::make_unique<kb::TBrett>();
        caller->English = LanguageColumn != 0;
        caller->SetFiguren(kb::TFigurenset::F32);
        kb::TZug start;
        start.CastlingRights = kb::AllCastlingRights;
        caller->SetStellung(kb::StandardStellung, start);
        auto setup = std::make_unique<kb::TAufbauDialog>(caller.get(), false);
        // Shown and active, so that the picture has the focus it opens with.
        setup->show();
        setup->activateWindow();
        QElapsedTimer clock;
        clock.start();
        while (!setup->isActiveWindow() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!setup->isActiveWindow()) std::cerr << "setup dialog not active: focus not shown\n";
        dialog = std::move(setup);
    } else {
        return kbbench::UsageError("WHICH is about, pieces, message, fontcolor or setup");
    }
    if (args[0] != "setup") dialog->adjustSize();
    const QImage picture = dialog->grab().toImage();
    if (!kbbench::SavePng(picture, args[1])) return 1;
    std::cout << "png\t" << args[1] << "\t" << picture.width() << "\t" << picture.height() << "\n";
    return 0;
}

const kbbench::Command command{"dialogs-png", "WHICH FILE [english]", &RunDialogsPng};

} // namespace
