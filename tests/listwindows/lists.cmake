# SPDX-License-Identifier: GPL-3.0-or-later
# Game list window, database window, pairing tables.
kb_add_gtest(listwindows_tests QT
    SOURCES PairingTest.cpp PGNWinTestUtil.cpp PGNWinFilterTest.cpp PGNWinEditTest.cpp
            PGNWinEcoTest.cpp PGNWinLargeTest.cpp PGNWinCopyTest.cpp ExploreWinTest.cpp
    LIBS kb_listwindows Qt6::Test)

# The windows inside the real frame, with real board windows.
kb_add_gtest(listwindows_frame_tests QT
    SOURCES PGNWinFrameTest.cpp PGNWinTestUtil.cpp
    LIBS kb_boardwindow kb_listwindows Qt6::Test)
