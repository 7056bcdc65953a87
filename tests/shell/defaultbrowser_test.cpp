#include "shell/defaultbrowser.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// A desktop of its own: home, XDG folders and PATH in a temporary folder, restored afterwards.
class DefaultBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "PATH", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                                 "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"}) {
            const char* value = std::getenv(name);
            m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
        }
        Set("HOME", m_dir.Path());
        Set("PATH", m_dir.File("bin"));
        Set("XDG_CONFIG_HOME", m_dir.File("config"));
        Set("XDG_CONFIG_DIRS", m_dir.File("etc"));
        Set("XDG_DATA_HOME", m_dir.File("data"));
        Set("XDG_DATA_DIRS", m_dir.File("share"));
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    static void Set(const char* name, const std::string& value) {
        ::setenv(name, value.c_str(), 1);
    }
    // Writes `text` to the file below the temporary folder, making its folders.
    std::string Write(const std::string& relative, const std::string& text, bool program = false) {
        const std::string path = m_dir.File(relative);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << text;
        if (program)
            ::chmod(path.c_str(), 0755);
        return path;
    }
    std::string Program(const std::string& relative) {
        return Write(relative, "#!/bin/sh\n", true);
    }
    void Defaults(const std::string& relative, const std::string& ids) {
        Write(relative, "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
                        "[Default Applications]\nx-scheme-handler/https=other.desktop\n"
                        "x-scheme-handler/http = " +
                            ids + "\n");
    }

    CTempDir m_dir;
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST_F(DefaultBrowserTest, TakesTheProgramOfTheDesktopsHttpHandler) {
    const std::string spaced = Program("opt/my browser/run");
    Program("bin/web");
    Write("share/applications/other.desktop", "[Desktop Entry]\nExec=/bin/false %u\n");
    Write("share/applications/spaced.desktop",
          "[Desktop Entry]\nName=Spaced\nExec=\"" + spaced + "\" --new-window %U\n");
    Write("share/applications/flat.desktop",
          "[Desktop Entry]\nExec=web run --file-forwarding org.web @@u %u @@ 100%%\n");
    Write("data/applications/hidden.desktop", "[Desktop Entry]\nExec=web\nHidden=true\n");
    Write("share/applications/gone.desktop", "[Desktop Entry]\nExec=no-such-browser %u\n");

    // The first listed entry that is installed and runs wins; missing and hidden ones do not.
    Defaults("share/applications/mimeapps.list",
             "missing.desktop;hidden.desktop;gone.desktop;spaced.desktop;other.desktop");
    EXPECT_EQ(FindDefaultBrowserCommand(), "'" + spaced + "' --new-window");

    // The user's own list comes first, and a desktop's list before the shared one.
    Defaults("config/mimeapps.list", "flat.desktop");
    EXPECT_EQ(FindDefaultBrowserCommand(),
              m_dir.File("bin/web") + " run --file-forwarding org.web 100%");
    Defaults("etc/kde-mimeapps.list", "other.desktop");
    Defaults("config/gnome-mimeapps.list", "spaced.desktop");
    Set("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_EQ(FindDefaultBrowserCommand(), "'" + spaced + "' --new-window");
}

TEST_F(DefaultBrowserTest, FallsBackToXWwwBrowserElseNothing) {
    EXPECT_EQ(FindDefaultBrowserCommand(), "");
    Defaults("config/mimeapps.list", "missing.desktop");
    EXPECT_EQ(FindDefaultBrowserCommand(), "");
    Program("bin/x-www-browser");
    EXPECT_EQ(FindDefaultBrowserCommand(), m_dir.File("bin/x-www-browser"));
}

} // namespace
