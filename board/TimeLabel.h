// SPDX-License-Identifier: GPL-3.0-or-later
// TTimeLabel: one side's chess clock, a label counting the remaining time
// down on a monotonic clock, with an increment per move and two later time
// controls.
#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>

namespace kb {

class TTimeLabel : public QLabel {
    Q_OBJECT

public:
    explicit TTimeLabel(QWidget* parent = nullptr);

    // Milliseconds of a monotonic clock. Tests put a fake one here.
    using TClock = std::function<int64_t()>;
    void SetClock(TClock Clock);

    std::function<void(TTimeLabel* Sender)> MoveRecommended;
    std::function<void(TTimeLabel* Sender)> MoveNecessary;
    std::function<void(TTimeLabel* Sender)> Zue;

    int SecTotal() const { return secTotal_; }
    void SetSecTotal(int Value);
    int SecPerMove = 5;
    int SecWarning = 30;
    QColor ColorWarning = QColor(0xFF, 0xFF, 0x00);
    bool showCentiSecs() const { return showCentiSecs_; }
    void SetShowCentiSecs(bool Value);
    int MoveActual() const { return moveActual_; }
    void SetMoveActual(int Value);
    int TimeControl1afterMove = 0;
    int TimeControl1PlusSec = 0;
    int TimeControl2afterMove = 0;
    int TimeControl2PlusSec = 0;

    // Remaining time in milliseconds.
    int64_t Remaining() const { return remaining_; }

    void Start();
    void Stop();
    void Press();
    bool Running() const { return timer_.isActive(); }
    int TimerInterval() const { return timer_.interval(); }

    // The label's background colour.
    QColor Color() const;
    void SetColor(const QColor& c);

    QString FormatTime() const;
    void UpdateElapsed();

    virtual void TimerTick();
    virtual bool MoveNecessaryCondition() { return true; }
    virtual bool MoveRecommendedCondition() { return true; }

private:
    void RefreshCaption();

    TClock clock_;
    int64_t mark_ = 0;
    bool markSet_ = false;
    std::optional<QColor> savedColor_;
    QTimer timer_;
    int secTotal_ = 300;
    int64_t remaining_ = 0;
    bool showCentiSecs_ = false;
    int moveActual_ = 0;
};

} // namespace kb
