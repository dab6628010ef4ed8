# SPDX-License-Identifier: GPL-3.0-or-later
# The engine workers: plain suites (also run under the thread sanitizer) with
# a fake xboard engine of our own, and the board window's engine handling.
add_executable(kb_fake_engine ${CMAKE_CURRENT_LIST_DIR}/FakeEngine.cpp)
set_target_properties(kb_fake_engine PROPERTIES AUTOMOC OFF)
kb_add_gtest(athread_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/XBoardParseTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/XBoardProcessTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/WorkerBuiltinTest.cpp
    LIBS kb_athread
    DEFINITIONS KB_FAKE_ENGINE="$<TARGET_FILE:kb_fake_engine>"
    DEPENDS kb_fake_engine)
kb_add_gtest(engine_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/EngineWindowTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/BoardWindowSupport.cpp
    LIBS kb_boardwindow Qt6::Test
    DEFINITIONS KB_FAKE_ENGINE="$<TARGET_FILE:kb_fake_engine>"
    DEPENDS kb_fake_engine
    QT)

# The real program with an engine behind a wrapper script, killed with SIGKILL.
if(KB_WITH_QT AND TARGET kestrelbay AND EXISTS ${CMAKE_SOURCE_DIR}/listwindows/PGNWin.cpp)
    add_test(NAME EngineEndToEnd
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/engine_e2e.sh $<TARGET_FILE:kestrelbay>
                ${KB_TESTDATA}/pgn/Korchnoi.pgn $<TARGET_FILE:kb_fake_engine>
                ${CMAKE_CURRENT_BINARY_DIR}/engine-e2e)
    set_tests_properties(EngineEndToEnd PROPERTIES TIMEOUT 300)
endif()
