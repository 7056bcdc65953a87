#pragma once

#include <string>
#include <vector>

// Finds the history databases of the browsers installed for the user: Firefox-family browsers
// list their profiles in "profiles.ini" (each profile folder holds "places.sqlite"),
// Chromium-family browsers keep one folder per profile (each holds "History") beside a "Local
// State" file that names them. Plain C++; reads only.

struct CBrowserProfile {
    std::string browser;     // as the user knows it: "Firefox", "Chromium", "Google Chrome"...
    std::string key;         // its name on the command line: "firefox", "chromium", "chrome"...
    std::string profile;     // the profile's name as the browser shows it
    std::string historyFile; // the profile's places.sqlite or History
    bool isDefault = false;  // the profile the browser starts with
};

// Where the user's folders are.
struct CProfileRoots {
    std::string home;       // $HOME
    std::string configHome; // $XDG_CONFIG_HOME, or $HOME/.config when that is unset or relative
    static CProfileRoots FromEnvironment();
};

// Every profile with a history file, browser by browser in a fixed order, profiles by name.
std::vector<CBrowserProfile> FindBrowserProfiles(const CProfileRoots& roots);

// The history a command-line word names: the path of an existing file is taken as it is (a
// place named "History" or "places.sqlite" of any profile); a browser's name ("firefox",
// "chromium", "chrome", "brave", ... and a few aliases such as "firefox-esr" and
// "google-chrome", in any case) gives the default profile of that browser, or else its first.
// False with a message in `error` when nothing fits.
bool ResolveHistorySource(const std::string& word, const std::vector<CBrowserProfile>& profiles,
                          CBrowserProfile& source, std::string& error);

// The browser names ResolveHistorySource knows, for messages and the manual.
std::vector<std::string> KnownBrowserKeys();
