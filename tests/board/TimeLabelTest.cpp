// SPDX-License-Identifier: GPL-3.0-or-later
// The chess clock on a fake monotonic clock.
#include "TimeLabel.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace kb;

namespace {

struct Clock {
    int64_t now = 50'000;
    TTimeLabel label;
    Clock() {
        label.SetClock([this] { return now; });
    }
    void Pass(int64_t ms) { now += ms; }
};

} // namespace

TEST(TimeLabel, FormatsTheRemainingTime) {
    Clock c;
    c.label.SetSecTotal(300);
    EXPECT_EQ(c.label.text(), QStringLiteral("05:00"));
    c.label.SetSecTotal(3725);
    EXPECT_EQ(c.label.text(), QStringLiteral("01:02:05"));
    c.label.SetSecTotal(59);
    EXPECT_EQ(c.label.text(), QStringLiteral("00:59"));
    c.label.SetSecTotal(0);
    EXPECT_EQ(c.label.text(), QStringLiteral("00:00"));
    EXPECT_EQ(c.label.TimerInterval(), 1000);
    c.label.SetSecTotal(10);
    c.label.SetShowCentiSecs(true);
    EXPECT_EQ(c.label.TimerInterval(), 100);
    EXPECT_EQ(c.label.text(), QStringLiteral("00:10:0"));
    c.label.Start();
    c.Pass(500);
    c.label.TimerTick();
    EXPECT_EQ(c.label.text(), QStringLiteral("00:09:5"));
}

TEST(TimeLabel, CountsDownOnlyWhileRunning) {
    Clock c;
    c.label.SetSecTotal(300);
    c.Pass(10'000);
    c.label.Start();
    c.Pass(3'000);
    c.label.TimerTick();
    EXPECT_EQ(c.label.text(), QStringLiteral("04:57"));
    c.label.Stop();
    EXPECT_FALSE(c.label.Running());
    EXPECT_EQ(c.label.Remaining(), 297'000);
    // A stopped clock keeps its time, also when the move number changes.
    c.Pass(60'000);
    c.label.SetMoveActual(12);
    EXPECT_EQ(c.label.Remaining(), 297'000);
    c.label.Start();
    c.Pass(1'250);
    c.label.Stop();
    EXPECT_EQ(c.label.Remaining(), 295'750);
}

TEST(TimeLabel, PressAddsTheIncrementAndToggles) {
    Clock c;
    c.label.SetSecTotal(60);
    c.label.SecPerMove = 5;
    c.label.Press();
    EXPECT_TRUE(c.label.Running());
    EXPECT_EQ(c.label.Remaining(), 60'000) << "pressing a stopped clock only starts it";
    c.Pass(2'000);
    c.label.Press();
    EXPECT_FALSE(c.label.Running());
    EXPECT_EQ(c.label.Remaining(), 63'000);
    EXPECT_EQ(c.label.text(), QStringLiteral("01:03"));
}

TEST(TimeLabel, WarningColourComesAndGoes) {
    Clock c;
    const QColor normal(10, 20, 30);
    c.label.SetColor(normal);
    c.label.SetSecTotal(32);
    c.label.Start();
    c.Pass(1'000);
    c.label.TimerTick();
    EXPECT_EQ(c.label.Color(), normal) << "31 s left is above the threshold";
    c.Pass(1'000);
    c.label.TimerTick();
    EXPECT_EQ(c.label.Color(), c.label.ColorWarning);
    // Time added above the threshold brings the normal colour back.
    c.label.Press();
    c.label.Press();
    c.label.TimerTick();
    EXPECT_EQ(c.label.Remaining(), 35'000);
    EXPECT_EQ(c.label.Color(), normal);
}

TEST(TimeLabel, TimeControlsAtTheirMoveNumbers) {
    Clock c;
    c.label.SetSecTotal(200);
    c.label.TimeControl1afterMove = 40;
    c.label.TimeControl1PlusSec = 1800;
    c.label.TimeControl2afterMove = 60;
    c.label.TimeControl2PlusSec = 900;
    c.label.Start();
    c.Pass(76'544);
    c.label.SetMoveActual(39);
    EXPECT_EQ(c.label.Remaining(), 123'456);
    c.label.SetMoveActual(40);
    EXPECT_EQ(c.label.Remaining(), (123 + 1800) * 1000);
    EXPECT_EQ(c.label.SecTotal(), 1923);
    c.label.SetMoveActual(60);
    EXPECT_EQ(c.label.Remaining(), (1923 + 900) * 1000);

    // No control is set at move 0.
    Clock d;
    d.label.SetSecTotal(10);
    d.label.Start();
    d.Pass(400);
    d.label.SetMoveActual(0);
    EXPECT_EQ(d.label.Remaining(), 9'600);
}

TEST(TimeLabel, RunOutStaysAtZeroAndFiresEveryTick) {
    struct Quiet : TTimeLabel {
        bool MoveNecessaryCondition() override { return false; }
    };
    Quiet q;
    int64_t now = 0;
    q.SetClock([&] { return now; });
    int zue = 0, necessary = 0, recommended = 0;
    q.Zue = [&](TTimeLabel* s) {
        EXPECT_EQ(s, &q);
        ++zue;
    };
    q.MoveNecessary = [&](TTimeLabel*) { ++necessary; };
    q.MoveRecommended = [&](TTimeLabel*) { ++recommended; };
    q.SetSecTotal(2);
    q.Start();
    now += 1'000;
    q.TimerTick();
    EXPECT_EQ(zue, 0);
    now += 5'000;
    q.TimerTick();
    q.TimerTick();
    EXPECT_EQ(q.Remaining(), 0);
    EXPECT_EQ(q.text(), QStringLiteral("00:00"));
    EXPECT_EQ(zue, 2);
    EXPECT_EQ(necessary, 0);
    EXPECT_EQ(recommended, 3);

    // With both events and the plain conditions only MoveNecessary fires.
    Clock c;
    int n = 0, r = 0;
    c.label.MoveNecessary = [&](TTimeLabel*) { ++n; };
    c.label.MoveRecommended = [&](TTimeLabel*) { ++r; };
    c.label.TimerTick();
    EXPECT_EQ(n, 1);
    EXPECT_EQ(r, 0);
}
