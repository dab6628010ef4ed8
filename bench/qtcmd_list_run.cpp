// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench list-run FILE STEP...: one game list window on FILE (PGN file or
// own database; a missing one is created, as the database window's new file
// button does) runs the steps in order through its own buttons, one after
// the other on the same list, as a user would:
//   delete:ROW      the game of that row (0-based) deleted
//   compress        the database compressed (and read anew)
//   eco             every game classified by the ECO run
//   copy:SRCFILE    every game of SRCFILE appended, as a drop does
// Each step prints a line: the step, its result and the rows after it.
// Refused: the window does not take the step up (no such row, no compress
// for a PGN file, nothing to copy, a copy of the list's own file, another
// program holds or changed the file); failed: the window told an error; stopped: the user stopped
// it. The step's own question is answered Yes; every message goes to stderr, where a failed step's
// reason is told.
#include "KbBench.h"
#include "KbBenchQt.h"
#include "PGNWin.h"
#include "PGNWinHost.h"

#include <QToolButton>

#include <filesystem>
#include <iostream>
#include <memory>

namespace {

struct TStep {
    enum Kind { Delete, Compress, Eco, Copy } What;
    std::string Text; // as given
    int Row = -1;
    std::string Source;
};

bool ParseStep(const std::string& Text, TStep& Step) {
    Step.Text = Text;
    if (Text == "compress") {
        Step.What = TStep::Compress;
        return true;
    }
    if (Text == "eco") {
        Step.What = TStep::Eco;
        return true;
    }
    if (Text.rfind("delete:", 0) == 0) {
        Step.What = TStep::Delete;
        return kbbench::ParseInt(Text.substr(7), 0, 2147483647L, Step.Row);
    }
    if (Text.rfind("copy:", 0) == 0) {
        Step.What = TStep::Copy;
        Step.Source = Text.substr(5);
        return !Step.Source.empty();
    }
    return false;
}

// What the window said while one step ran.
struct TTold {
    int Questions = 0;
    int Errors = 0;
};

int RunListRun(const kbbench::Args& args) {
    if (args.size() < 2) return kbbench::UsageError("expected FILE STEP...");
    std::vector<TStep> steps(args.size() - 1);
    for (size_t i = 1; i < args.size(); ++i) {
        if (!ParseStep(args[i], steps[i - 1]))
            return kbbench::UsageError("no such step: " + args[i] +
                                       " (delete:ROW, compress, eco, copy:SRCFILE)");
        std::error_code ec;
        if (steps[i - 1].What == TStep::Copy &&
            !std::filesystem::is_regular_file(steps[i - 1].Source, ec))
            return kbbench::UsageError("no such file: " + steps[i - 1].Source);
    }

    const auto app = kbbench::StartQt(kbbench::Screen::Offscreen);
    kb::LwSetLanguageColumn(1);
    TTold told;
    // The answers below refer to told: they go before it does.
    struct TResetHost {
        ~TResetHost() { kb::ResetListHost(); }
    } resetHost;
    // Nobody is there: the step's own question (and the new file's) gets
    // Yes, any other message its only button; all of them are told.
    kb::ListHost().Message = [&told](QWidget*, kb::TLwMsgType Type, const QString& Text,
                                     int Buttons) {
        const bool question = (Buttons & kb::lbYes) != 0;
        // One line each: the message's own line breaks become blanks.
        QString line = Text;
        line.replace(QLatin1String("\r\n"), QLatin1String(" "));
        line.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::cerr << "kbbench list-run: " << (question ? "question (Yes): " : "message: ")
                  << line.toStdString() << "\n";
        if (Type == kb::TLwMsgType::Error) ++told.Errors;
        if (question) {
            ++told.Questions;
            return int(kb::lbYes);
        }
        return Buttons & kb::lbOK ? int(kb::lbOK) : int(kb::lbNone);
    };

    QWidget frame;
    auto* list = new kb::TMDIPGN(&frame);
    kb::TPGN& pgn = *list->PGN();
    if (list->OpenFile(QString::fromStdString(args[0])).isEmpty() || pgn.ScanIncomplete()) {
        std::cerr << "kbbench list-run: cannot open " << args[0] << "\n";
        return 1;
    }

    for (const TStep& step : steps) {
        told = {};
        kb::ListHost().SetStopRequested(false);
        // The window did not take the step up (it asked nothing).
        bool declined = false;
        bool stopped = false;
        switch (step.What) {
        case TStep::Delete:
            if (step.Row >= pgn.ItemCount()) {
                declined = true;
                break;
            }
            list->PGN1->clearSelection();
            list->PGN1->SetSelected(step.Row, true);
            list->sbDeleteGameClick();
            declined = told.Questions == 0;
            stopped = !pgn.IsDatabase() && pgn.Cancelled();
            break;
        case TStep::Compress:
            // Only a database has the button.
            if (!list->bCompress->isEnabled()) {
                declined = true;
                break;
            }
            list->bCompressClick();
            declined = told.Questions == 0;
            break;
        case TStep::Eco:
            list->bECOClick();
            declined = told.Questions == 0;
            break;
        case TStep::Copy: {
            // Games dropped onto their own list stay where they are.
            std::error_code ec;
            if (std::filesystem::equivalent(step.Source, pgn.FileName(), ec)) {
                declined = true;
                break;
            }
            auto* source = new kb::TMDIPGN(&frame);
            if (source->OpenFile(QString::fromStdString(step.Source)).isEmpty() ||
                source->PGN()->ScanIncomplete()) {
                std::cerr << "kbbench list-run: cannot open " << step.Source << "\n";
                ++told.Errors;
            } else if (source->PGN()->ItemCount() == 0) {
                declined = true;
            } else {
                source->PGN1->selectAll();
                const kb::TCopyResult r = list->DropFrom(source, -1);
                declined = r.End == kb::TCopyEnd::Refused;
                stopped = r.End == kb::TCopyEnd::Stopped;
                if (r.NotCopied > 0 && !stopped && !declined) ++told.Errors;
            }
            delete source;
            break;
        }
        }
        stopped = stopped || kb::ListHost().StopRequested();
        if (told.Errors > 0 && !pgn.IsDatabase() &&
            pgn.LastRewrite() == kb::TRewriteResult::Refused)
            declined = true;
        const char* result = declined          ? "refused"
                             : told.Errors > 0 ? "failed"
                             : stopped         ? "stopped"
                                               : "done";
        std::cout << step.Text << "\t" << result << "\t" << pgn.ItemCount() << "\n";
    }
    return 0;
}

const kbbench::Command command{"list-run", "FILE STEP... (delete:ROW, compress, eco, copy:SRCFILE)",
                               &RunListRun};

} // namespace
