// SPDX-License-Identifier: GPL-3.0-or-later
// dialogs-png WHICH FILE [english]: paints one of the shell's small dialogs
// offscreen into a PNG. WHICH is about, pieces, message or fontcolor (the
// font dialog with its colour button, preset to a maroon comment font).
#include "About.h"
#include "DialogsLng.h"
#include "KbBench.h"
#include "KbBenchQt.h"
#include "Local.h"
#include "UPieces.h"

#include <QApplication>
#include <QColor>
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
    } else {
        return kbbench::UsageError("WHICH is about, pieces, message or fontcolor");
    }
    dialog->adjustSize();
    const QImage picture = dialog->grab().toImage();
    if (!kbbench::SavePng(picture, args[1])) return 1;
    std::cout << "png\t" << args[1] << "\t" << picture.width() << "\t" << picture.height() << "\n";
    return 0;
}

const kbbench::Command command{"dialogs-png", "WHICH FILE [english]", &RunDialogsPng};

} // namespace
