// SPDX-License-Identifier: GPL-3.0-or-later
#include "KbBenchQt.h"

#include "DialogsLng.h"
#include "KbBench.h"
#ifdef KB_HAVE_PROGRAM_WINDOWS
#include "MdiWindows.h"
#endif

#include <iostream>

namespace kbbench {

// Nobody is there to answer a question: a message goes to stderr and gets
// the answer of its Escape key, a dialog of our own or a file, font, colour
// or text question is cancelled. The picture or the run must still come,
// and creates no file.
void AnswerQuietly() {
    TAnswerer quiet;
    quiet.Message = [](const TMessageRequest& R) {
        std::cerr << "kbbench " << RunningCommand() << ": message: " << R.Msg.toStdString() << "\n";
        return MsgDlgButtonResults[MsgDlgEscapeButton(R.Buttons)];
    };
    quiet.Dialog = [](QDialog& D) {
        std::cerr << "kbbench " << RunningCommand()
                  << ": dialog cancelled: " << D.windowTitle().toStdString() << "\n";
        return static_cast<int>(mrCancel);
    };
    quiet.FileName = [](const TFileRequest&) { return std::optional<QString>(); };
    quiet.InputText = [](const QString&, const QString&, const QString&) {
        return std::optional<QString>();
    };
    quiet.Font = [](const QFont&) { return std::optional<QFont>(); };
    quiet.Color = [](const QColor&) { return std::optional<QColor>(); };
    Answerer() = quiet;
}

std::unique_ptr<QApplication> StartQt(Screen screen) {
    AnswerQuietly();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        (screen == Screen::Offscreen || qEnvironmentVariableIsEmpty("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (QCoreApplication::instance()) return nullptr;
    // QApplication keeps argc and argv for its whole life.
    static int argc = 1;
    static char name[] = "kbbench";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

std::unique_ptr<QApplication> StartProgram(const QTemporaryDir& Dir) {
    auto app = StartQt(Screen::Offscreen);
#ifdef KB_HAVE_PROGRAM_WINDOWS
    RegisterProgramWindows();
#endif
    if (!Dir.isValid()) {
        std::cerr << "kbbench " << RunningCommand() << ": no temporary folder\n";
        return nullptr;
    }
    return app;
}

namespace {

template <typename Picture> bool Save(const Picture& picture, const std::string& path) {
    if (picture.save(QString::fromStdString(path), "PNG")) return true;
    std::cerr << "kbbench " << RunningCommand() << ": cannot write " << path << "\n";
    return false;
}

} // namespace

bool SavePng(const QImage& picture, const std::string& path) {
    return Save(picture, path);
}

bool SavePng(const QPixmap& picture, const std::string& path) {
    return Save(picture, path);
}

} // namespace kbbench
