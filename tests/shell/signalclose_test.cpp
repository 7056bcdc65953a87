// The built program, started in a private home and closed by a signal, as a logout or Ctrl-C
// would close it: the settings file and the four data files must be written.

#include "model/site.h"
#include "model/sitedatabase.h"
#include "tests/history/historyfiles.h"
#include "tests/support/loopbackhttpserver.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A private home, settings folder and runtime folder for one run of the program.
class CProgramHome {
public:
    CProgramHome() {
        fs::create_directories(Home());
        fs::create_directories(Config());
        fs::create_directories(Runtime());
        ::chmod(Runtime().c_str(), 0700);
        std::ofstream(Home() + "/license.txt") << "License for the test\n";
    }
    std::string Home() const { return m_root.File("home"); }
    std::string Config() const { return m_root.File("config"); }
    std::string Runtime() const { return m_root.File("runtime"); }
    std::string SettingsFile() const { return Config() + "/Quellon/Wayfold.conf"; }
    std::string InstanceSocket() const { return Runtime() + "/wayfold-instance"; }

    // Starts the program in Home() with the arguments; its output goes to a log in the
    // temporary folder.
    pid_t Start(std::vector<std::string> arguments = {}) const {
        const std::string program = WAYFOLD_BINARY_DIR "/app/wayfold";
        const std::string log = m_root.File("wayfold.log");
        std::vector<std::string> env = {
            "HOME=" + m_root.Path(),        "XDG_CONFIG_HOME=" + Config(),
            "XDG_RUNTIME_DIR=" + Runtime(), "XDG_DATA_HOME=" + m_root.File("data"),
            "QT_QPA_PLATFORM=offscreen",    "PATH=/usr/bin:/bin",
        };
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(Home().c_str()) != 0)
                ::_exit(126);
            std::FILE* out = std::freopen(log.c_str(), "a", stderr);
            (void)out;
            std::vector<char*> envp;
            for (std::string& entry : env)
                envp.push_back(entry.data());
            envp.push_back(nullptr);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (std::string& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }

    // Waits until the program listens for later starts (it then handles signals).
    bool WaitForInstance() const {
        for (int i = 0; i < 500; ++i) {
            if (fs::exists(InstanceSocket()))
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::string Log() const { return ReadFile(m_root.File("wayfold.log")); }

private:
    CTempDir m_root;
};

// The exit status of the process, or -1 when it has not ended in time (it is then killed).
int WaitForExit(pid_t pid, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

class SignalCloseTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalCloseTest, Program_SignalClosesTheWindowAndWritesSettingsAndDataFiles) {
    CProgramHome home;
    const pid_t pid = home.Start();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(home.WaitForInstance()) << home.Log();
    ASSERT_EQ(::kill(pid, GetParam()), 0);
    EXPECT_EQ(WaitForExit(pid), 0) << home.Log();

    const std::string settings = ReadFile(home.SettingsFile());
    EXPECT_NE(settings.find("[Wayfold]"), std::string::npos) << settings;
    EXPECT_NE(settings.find("TITLE%20View=2"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Home=" + home.Home()), std::string::npos) << settings;
    for (const char* name : {"urls.wfx", "cats.wfx", "stop.wfx", "filters.wfx"})
        EXPECT_TRUE(fs::exists(home.Home() + "/" + name)) << name;
    EXPECT_EQ(ReadFile(home.Home() + "/urls.wfx").size(), 12u); // version 1, no sites, no words
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, SignalCloseTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(SingleInstanceTest, Program_SecondStartRaisesTheFirstAndEnds) {
    CProgramHome home;
    const pid_t first = home.Start();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(home.WaitForInstance()) << home.Log();
    const pid_t second = home.Start();
    EXPECT_EQ(WaitForExit(second, 10s), 0) << home.Log();
    int status = 0;
    EXPECT_EQ(::waitpid(first, &status, WNOHANG), 0); // the first still runs
    ::kill(first, SIGTERM);
    EXPECT_EQ(WaitForExit(first), 0) << home.Log();
}

// "wayfold --import-history FILE" while Wayfold runs: the running window imports the history,
// and the signal that closes it keeps what was stored.
TEST(SingleInstanceTest, Program_SecondStartHandsTheHistoryImportOver) {
    CProgramHome home;
    CLoopbackHttpServer server;
    server.ServeText("/one", "<html><title>One</title><body>physics</body></html>");
    server.ServeText("/two", "<html><title>Two</title><body>optics</body></html>");
    {
        CTestDb places(home.Home() + "/places.sqlite");
        MakeFirefox(places);
        AddFirefoxVisits(places, 1, server.Url("/one"), {kT});
        AddFirefoxVisits(places, 2, server.Url("/two"), {kT - kDay, kT - 2 * kDay});
    }
    const pid_t first = home.Start();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(home.WaitForInstance()) << home.Log();
    const pid_t second = home.Start({"--import-history", "places.sqlite"});
    EXPECT_EQ(WaitForExit(second, 10s), 0) << home.Log();
    for (int i = 0; i < 500 && server.Requests().size() < 2; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server.Requests().size(), 2u) << home.Log();
    std::this_thread::sleep_for(1500ms); // the pages are handled
    ::kill(first, SIGTERM);
    EXPECT_EQ(WaitForExit(first), 0) << home.Log();

    CSiteDatabase saved;
    ASSERT_TRUE(saved.Open(home.Home() + "/urls.wfx"));
    std::map<std::string, std::int32_t> times;
    for (const auto& site : saved.Sites())
        times[site->m_url] = site->m_time;
    EXPECT_EQ(times, (std::map<std::string, std::int32_t>{{server.Url("/one"), kT},
                                                          {server.Url("/two"), kT - kDay}}));
}

} // namespace
