// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

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
