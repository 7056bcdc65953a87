#include "common/debuglog.h"
#include "model/errorreport.h"
#include "tests/support/currentdirectory.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

// The log lives for the whole process, so every program run is played by a forked child
// ("fast" death-test style) that starts without a log and reports its checks in its exit code.
#define RUN_PROGRAM(steps)                                                                         \
    EXPECT_EXIT(                                                                                   \
        {                                                                                          \
            steps;                                                                                 \
            std::exit(0);                                                                          \
        },                                                                                         \
        ::testing::ExitedWithCode(0), "")

void ExitUnless(bool condition, int code) {
    if (!condition)
        std::exit(code);
}

std::string ReadLog(const CTempDir& dir) {
    std::ifstream in(dir.File("debug.wfx"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "fast"); }

    CTempDir m_dir;
    CCurrentDirectory m_cwd{m_dir.Path()};
};

TEST_F(DebugLogTest, NothingIsWrittenBeforeTheFirstToggle) {
    RUN_PROGRAM({
        ExitUnless(!IsDebugMode(), 2);
        DebugLog("too early");
        ExitUnless(!IsDebugMode(), 3);
    });
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("debug.wfx")));
}

TEST_F(DebugLogTest, FirstToggleOpensTheFileAndNumbersFromOne) {
    RUN_PROGRAM({
        ToggleDebugMode();
        ExitUnless(IsDebugMode(), 2);
        DebugLog("Creating MainFrame");
        DebugLog("Detected Opera");
    });
    EXPECT_EQ(ReadLog(m_dir), "[1] Creating MainFrame\n[2] Detected Opera\n");
}

TEST_F(DebugLogTest, SecondToggleStopsWritingAndThirdContinuesTheNumbering) {
    RUN_PROGRAM({
        ToggleDebugMode();
        DebugLog("one");
        ToggleDebugMode();
        ExitUnless(!IsDebugMode(), 2);
        DebugLog("hidden");
        ExitUnless(std::filesystem::exists("debug.wfx"), 3);
        ToggleDebugMode();
        ExitUnless(IsDebugMode(), 4);
        DebugLog("two");
    });
    EXPECT_EQ(ReadLog(m_dir), "[1] one\n[2] two\n");
}

TEST_F(DebugLogTest, EachRunAppendsAndRestartsTheNumbering) {
    std::ofstream(m_dir.File("debug.wfx"), std::ios::binary) << "[7] from long ago\n";
    RUN_PROGRAM({
        ToggleDebugMode();
        DebugLog("first run");
    });
    RUN_PROGRAM({
        ToggleDebugMode();
        DebugLog("second run");
        DebugLog("second run again");
    });
    RUN_PROGRAM({ ToggleDebugMode(); }); // on, but nothing logged
    EXPECT_EQ(ReadLog(m_dir),
              "[7] from long ago\n[1] first run\n[1] second run\n[2] second run again\n");
}

TEST_F(DebugLogTest, LogFileThatCannotBeOpenedIsFatal) {
    // debug.wfx is a folder and its parent is read-only: no user, root included, can open it.
    std::filesystem::create_directory(m_dir.File("locked"));
    std::filesystem::create_directory(m_dir.File("locked/debug.wfx"));
    ASSERT_EQ(::chmod(m_dir.File("locked").c_str(), 0555), 0);
    {
        const CCurrentDirectory locked(m_dir.File("locked"));
        EXPECT_EXIT(
            {
                SetErrorHandler([](const std::string& text, bool fatal) {
                    std::fprintf(stderr, "%s: %s\n", fatal ? "fatal" : "error", text.c_str());
                });
                ToggleDebugMode();
                std::exit(0);
            },
            ::testing::ExitedWithCode(1), "fatal: Debug mode on but can't open debug.wfx");
    }
    ::chmod(m_dir.File("locked").c_str(), 0755);
}

} // namespace
