// SPDX-License-Identifier: GPL-3.0-or-later
// TTimeLabel: count-down, ticks, increments and time controls.
#include "TimeLabel.h"

#include <chrono>
#include <cmath>

namespace kb {

namespace {

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Rounds half to even, as the clock arithmetic always has.
int64_t RoundDiv(int64_t Value, int64_t Divisor) {
    return static_cast<int64_t>(std::nearbyint(static_cast<double>(Value) / Divisor));
}

QString TwoDigits(int64_t v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

} // namespace

TTimeLabel::TTimeLabel(QWidget* parent) : QLabel(parent), clock_(&SteadyMs), timer_(this) {
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] { TimerTick(); });
    setAutoFillBackground(true);
    RefreshCaption();
    mark_ = clock_();
    markSet_ = true;
}

void TTimeLabel::SetClock(TClock Clock) {
    clock_ = Clock ? std::move(Clock) : TClock(&SteadyMs);
    mark_ = clock_();
    markSet_ = true;
}

void TTimeLabel::SetSecTotal(int Value) {
    secTotal_ = Value;
    remaining_ = int64_t{Value} * 1000;
    RefreshCaption();
}

void TTimeLabel::SetShowCentiSecs(bool Value) {
    showCentiSecs_ = Value;
    timer_.setInterval(Value ? 100 : 1000);
    RefreshCaption();
}

void TTimeLabel::SetMoveActual(int Value) {
    moveActual_ = Value;
    // A stopped clock keeps its time.
    if (Running()) UpdateElapsed();
    // A control at move 0 is no control.
    if (TimeControl1afterMove > 0 && Value == TimeControl1afterMove)
        SetSecTotal(static_cast<int>(RoundDiv(remaining_, 1000)) + TimeControl1PlusSec);
    else if (TimeControl2afterMove > 0 && Value == TimeControl2afterMove)
        SetSecTotal(static_cast<int>(RoundDiv(remaining_, 1000)) + TimeControl2PlusSec);
}

void TTimeLabel::UpdateElapsed() {
    const int64_t now = clock_();
    if (markSet_) remaining_ -= now >= mark_ ? now - mark_ : mark_ - now;
    mark_ = now;
    markSet_ = true;
}

void TTimeLabel::Start() {
    mark_ = clock_();
    markSet_ = true;
    timer_.start();
}

void TTimeLabel::Stop() {
    if (Running()) UpdateElapsed();
    timer_.stop();
}

void TTimeLabel::Press() {
    if (Running()) {
        UpdateElapsed();
        remaining_ += int64_t{SecPerMove} * 1000;
        RefreshCaption();
    }
    mark_ = clock_();
    markSet_ = true;
    if (Running())
        timer_.stop();
    else
        timer_.start();
}

QColor TTimeLabel::Color() const {
    return palette().color(QPalette::Window);
}

void TTimeLabel::SetColor(const QColor& c) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, c);
    setPalette(pal);
}

void TTimeLabel::TimerTick() {
    UpdateElapsed();
    if (remaining_ < 0) remaining_ = 0;
    if (remaining_ > 0 && remaining_ / 1000 <= SecWarning) {
        if (Color() != ColorWarning) {
            savedColor_ = Color();
            SetColor(ColorWarning);
        }
    } else if (savedColor_) {
        SetColor(*savedColor_);
    }
    RefreshCaption();
    if (MoveNecessary && MoveNecessaryCondition())
        MoveNecessary(this);
    else if (MoveRecommended && MoveRecommendedCondition())
        MoveRecommended(this);
    if (remaining_ == 0 && Zue) Zue(this);
}

QString TTimeLabel::FormatTime() const {
    const int64_t f = showCentiSecs_ ? 10 : 1;
    const int64_t u = RoundDiv(remaining_, showCentiSecs_ ? 100 : 1000);
    const int64_t hours = u / (3600 * f);
    const int64_t rest = u % (3600 * f);
    const int64_t minutes = rest / (60 * f);
    const int64_t rest2 = rest % (60 * f);
    const int64_t tenths = showCentiSecs_ ? rest2 % 10 : 0;
    const int64_t seconds = showCentiSecs_ ? rest2 / 10 : rest2;
    QString text;
    if (hours > 0) text += TwoDigits(hours) + QLatin1Char(':');
    text += minutes > 0 ? TwoDigits(minutes) + QLatin1Char(':') : QStringLiteral("00:");
    text += seconds > 0 ? TwoDigits(seconds) : QStringLiteral("00");
    if (showCentiSecs_) text += QLatin1Char(':') + QString::number(tenths);
    return text;
}

void TTimeLabel::RefreshCaption() {
    const QString t = FormatTime();
    if (t != text()) setText(t);
}

} // namespace kb
