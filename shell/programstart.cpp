#include "shell/programstart.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int CodeOfStatError(int error) {
    switch (error) {
    case ENOTDIR:
    case EACCES:
        return kLaunchPathNotFound;
    case ENOMEM:
        return kLaunchOutOfMemory;
    default:
        return kLaunchFileNotFound;
    }
}

// The code of one candidate file: started only if it is an executable regular file.
int CheckCandidate(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return CodeOfStatError(errno);
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0)
        return kLaunchBadFormat;
    return kLaunchStarted;
}

std::vector<std::string> SearchPath() {
    const char* path = std::getenv("PATH");
    const std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> folders;
    size_t start = 0;
    while (true) {
        const size_t colon = list.find(':', start);
        std::string folder = list.substr(start, colon == std::string::npos ? colon : colon - start);
        folders.push_back(folder.empty() ? "." : folder); // an empty entry is the current folder
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return folders;
}

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

int ResolveProgram(const std::string& program, std::string& resolved) {
    if (program.empty())
        return kLaunchFileNotFound;
    if (program.find('/') != std::string::npos) {
        const int code = CheckCandidate(program);
        if (code == kLaunchStarted)
            resolved = program;
        return code;
    }
    // As execvp: the first executable file wins; a file found that cannot be run tells
    // more than "not found".
    bool foundUnrunnable = false;
    for (const std::string& folder : SearchPath()) {
        const std::string candidate = folder + "/" + program;
        const int code = CheckCandidate(candidate);
        if (code == kLaunchStarted) {
            resolved = candidate;
            return code;
        }
        foundUnrunnable = foundUnrunnable || code == kLaunchBadFormat;
    }
    return foundUnrunnable ? kLaunchBadFormat : kLaunchFileNotFound;
}

int StartProgram(const std::vector<std::string>& words, const std::string& lastArgument) {
    if (words.empty())
        return kLaunchFileNotFound;
    std::string program;
    const int code = ResolveProgram(words.front(), program);
    if (code != kLaunchStarted)
        return code;
    QStringList arguments;
    for (size_t i = 1; i < words.size(); ++i)
        arguments << FromBytes(words[i]);
    arguments << FromBytes(lastArgument);
    if (!QProcess::startDetached(QFile::decodeName(program.c_str()), arguments))
        return kLaunchBadFormat;
    return kLaunchStarted;
}
