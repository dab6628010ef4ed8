// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotationDialogs.h"

#include "Notation.h"
#include "NotationWidgetText.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace kb {

namespace {

// The fixed form both questions are built on.
const QSize FormSize(255, 147);

std::unique_ptr<QDialog> NewForm(QWidget* Parent, const QString& Caption) {
    auto d = std::make_unique<QDialog>(Parent);
    d->setWindowTitle(Caption);
    // System menu only: no help, minimise or maximise.
    d->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    d->setFixedSize(FormSize);
    d->setModal(true);
    return d;
}

QListWidget* NewList(QWidget* Parent, const std::vector<std::string>& Candidates) {
    auto* list = new QListWidget(Parent);
    list->setObjectName("candidates");
    for (const std::string& c : Candidates)
        list->addItem(DecodeGameText(c));
    return list;
}

// "Select move" keys: seen by the form before the list, as with a key preview.
class SelectFilter : public QObject {
public:
    SelectFilter(QDialog* Dialog, QListWidget* List, int& Result)
        : dialog_(Dialog), list_(List), result_(Result) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::KeyPress) {
            switch (static_cast<QKeyEvent*>(Event)->key()) {
            case Qt::Key_Escape:
            case Qt::Key_Left:
                result_ = -1;
                dialog_->done(QDialog::Rejected);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Space:
            case Qt::Key_Right:
                result_ = list_->currentRow();
                dialog_->done(QDialog::Accepted);
                return true;
            default:
                return false; // Up, Down and the rest move in the list
            }
        }
        if (Event->type() == QEvent::MouseButtonPress && Watched == list_->viewport()) {
            const auto* me = static_cast<QMouseEvent*>(Event);
            const QListWidgetItem* item = list_->itemAt(me->position().toPoint());
            result_ = item ? list_->row(item) : list_->currentRow();
            dialog_->done(QDialog::Accepted);
            return true;
        }
        return false;
    }

private:
    QDialog* dialog_;
    QListWidget* list_;
    int& result_;
};

} // namespace

TNotationDialogs::TNotationDialogs(QWidget* Anchor) : anchor_(Anchor) {}

QPoint TNotationDialogs::Placement(const QSize& Size) const {
    QPoint at(0, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (anchor_) {
        at = anchor_->mapToGlobal(QPoint(0, anchor_->height()));
        if (anchor_->screen()) screen = anchor_->screen();
    }
    if (!screen) return at;
    const QRect area = screen->availableGeometry();
    // Past the right or bottom edge: back to it; never above or left of the screen.
    if (at.x() + Size.width() > area.right() + 1) at.setX(area.right() + 1 - Size.width());
    if (at.y() + Size.height() > area.bottom() + 1) at.setY(area.bottom() + 1 - Size.height());
    at.setX(std::max(at.x(), area.left()));
    at.setY(std::max(at.y(), area.top()));
    return at;
}

TNewMoveChoice TNotationDialogs::ChooseNewMove(TNotation& Sender,
                                               const std::vector<std::string>& Candidates) {
    const bool en = Sender.English();
    auto d = NewForm(anchor_, en ? "Enter new move" : "Neuen Zug eingeben");
    QListWidget* list = NewList(d.get(), Candidates);
    list->setGeometry(2, 2, 121, 113);
    QFont bold = list->font();
    bold.setBold(true);
    list->setFont(bold);
    list->setEnabled(false);
    list->setCurrentRow(-1);
    list->clearSelection();

    struct Button {
        const char* Name;
        const char* English;
        const char* German;
        int Top;
        TNewMoveChoice Result;
    };
    const Button buttons[] = {
        {"newVariation", "New variation", "Neue Variante", 2, TNewMoveChoice::NewVariation},
        {"overwrite", "Overwrite",
         "\xC3\x9C"
         "berschreiben",
         30, TNewMoveChoice::Overwrite},
        {"replace", "Replace move", "Zug ersetzen", 58, TNewMoveChoice::Replace},
        {"cancel", "Cancel", "Abbruch", 90, TNewMoveChoice::Cancel},
    };
    // Anything but a button (Esc, the close box) cancels.
    TNewMoveChoice choice = TNewMoveChoice::Cancel;
    QDialog* form = d.get();
    for (const Button& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(en ? b.English : b.German), form);
        button->setObjectName(b.Name);
        button->setGeometry(140, b.Top, 100, 25);
        const TNewMoveChoice result = b.Result;
        QObject::connect(button, &QPushButton::clicked, form, [form, &choice, result] {
            choice = result;
            form->done(static_cast<int>(result));
        });
    }
    d->move(Placement(FormSize));
    if (OnOpen) OnOpen(form);
    d->exec();
    return choice;
}

int TNotationDialogs::SelectMove(TNotation& Sender, const std::vector<std::string>& Candidates) {
    if (Candidates.empty()) return -1;
    auto d = NewForm(anchor_, Sender.English() ? "Select move" : "Variante w\xC3\xA4hlen");
    QListWidget* list = NewList(d.get(), Candidates);
    auto* layout = new QVBoxLayout(d.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    list->setCurrentRow(0);
    int result = -1; // the close box leaves it
    SelectFilter filter(d.get(), list, result);
    d->installEventFilter(&filter);
    list->installEventFilter(&filter);
    list->viewport()->installEventFilter(&filter);
    d->move(Placement(FormSize));
    list->setFocus();
    if (OnOpen) OnOpen(d.get());
    d->exec();
    return result;
}

} // namespace kb
