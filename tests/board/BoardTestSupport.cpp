// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardTestSupport.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// One QApplication for the whole suite, on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "board_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

namespace kbboard {

kb::TSchachbrett Stellung(std::initializer_list<const char*> pieces) {
    kb::TSchachbrett b = kb::LeeresBrett;
    for (const char* p : pieces) {
        const std::string s(p);
        const char letter = s[0];
        const int32_t colour = (letter >= 'A' && letter <= 'Z') ? 1 : -1;
        int32_t kind = 0;
        switch (letter | 0x20) {
        case 'p':
            kind = 1;
            break;
        case 'r':
            kind = 2;
            break;
        case 'b':
            kind = 3;
            break;
        case 'n':
            kind = 4;
            break;
        case 'q':
            kind = 5;
            break;
        case 'k':
            kind = 6;
            break;
        default:
            break;
        }
        b[Sq(s.c_str() + 1)] = kind * colour;
    }
    return b;
}

void Prepare(kb::TBrett& b) {
    b.SetFiguren(kb::TFigurenset::F32);
    b.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&b));
}

} // namespace kbboard
