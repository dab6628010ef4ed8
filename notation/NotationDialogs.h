// SPDX-License-Identifier: GPL-3.0-or-later
// The notation's two questions as modal dialogs: what to do with a move
// entered where the game goes on, and which move to step into where the next
// move has alternatives. Both open just below the notation and stay on the
// screen; closing one by its close box is the same as cancelling it.
#pragma once

#include "NotationChooser.h"

#include <QPointer>

#include <functional>

class QDialog;
class QWidget;

namespace kb {

class TNotationDialogs : public INotationChooser {
public:
    // Anchor: the widget below which the dialogs open (their parent too).
    explicit TNotationDialogs(QWidget* Anchor);

    TNewMoveChoice ChooseNewMove(TNotation& Sender,
                                 const std::vector<std::string>& Candidates) override;
    int SelectMove(TNotation& Sender, const std::vector<std::string>& Candidates) override;

    // Called with each dialog once it is built, before it runs.
    std::function<void(QDialog* Dialog)> OnOpen;

    // Top-left corner for a dialog of the given size: the anchor's lower-left
    // corner, moved back inside the screen's available area.
    QPoint Placement(const QSize& Size) const;

private:
    QPointer<QWidget> anchor_;
};

} // namespace kb
