#include "browserlink/ddedirectory.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::string DdeSocketDirectory() {
    const char* explicitDir = std::getenv("WAYFOLD_DDE_DIR");
    if (explicitDir && *explicitDir)
        return explicitDir;
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir)
        return std::string(runtimeDir) + "/wayfold-dde";
    return "/tmp/wayfold-dde-" + std::to_string(getuid());
}

bool PrepareDdeDirectory(const std::string& dir, std::string& why) {
    if (dir.empty()) {
        why = "no socket directory";
        return false;
    }
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        why = dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    // lstat: a symbolic link planted in place of the directory is refused too.
    if (lstat(dir.c_str(), &info) != 0) {
        why = dir + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        why = dir + " is not a directory";
        return false;
    }
    if (info.st_uid != getuid()) {
        why = dir + " is not owned by this user";
        return false;
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        why = dir + " may be entered by other users";
        return false;
    }
    return true;
}

std::string DdeSocketPath(const std::string& dir, const std::string& service) {
    std::string name = service;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return dir + "/" + name;
}
