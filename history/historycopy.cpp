#include "history/historycopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr int kCopyAttempts = 4;
constexpr auto kSettleTime = std::chrono::milliseconds(50);

class CDescriptor {
public:
    explicit CDescriptor(int fd) : m_fd(fd) {}
    ~CDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// What tells whether a file changed while it was copied.
struct CFileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;

    bool operator==(const CFileStamp&) const = default;
};

CFileStamp StampOf(const std::string& path) {
    struct stat info {};
    CFileStamp stamp;
    if (::stat(path.c_str(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    return stamp;
}

std::string ReadError(const std::string& file, int error) {
    return "Can't read " + file + ": " + std::strerror(error) + ".";
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies one regular file; `shownName` names it in the message.
bool CopyFile(const std::string& from, const std::string& to, const std::string& shownName,
              std::string& error, const std::atomic<bool>* stop) {
    // Non-blocking, so that a FIFO given as the history cannot hold the reader.
    const CDescriptor source(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (source.Get() < 0) {
        error = ReadError(shownName, errno);
        return false;
    }
    struct stat info {};
    if (::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "Can't read " + shownName + ": it is not a file.";
        return false;
    }
    const CDescriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (target.Get() < 0) {
        error = "Can't copy " + shownName + " to " + to + ": " + std::strerror(errno) + ".";
        return false;
    }
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        if (stop && stop->load())
            return false;
        const ssize_t got = ::read(source.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = ReadError(shownName, errno);
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(target.Get(), buffer.data(), static_cast<std::size_t>(got))) {
            error = "Can't copy " + shownName + " to " + to + ": " + std::strerror(errno) + ".";
            return false;
        }
    }
}

std::string MakePrivateFolder(std::string& error) {
    std::error_code code;
    std::filesystem::path base = std::filesystem::temp_directory_path(code);
    if (code)
        base = "/tmp";
    std::string pattern = (base / "wayfold-history-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        error =
            "Can't make a private folder in " + base.string() + ": " + std::strerror(errno) + ".";
        return {};
    }
    return buffer.data();
}

} // namespace

CHistoryCopy::CHistoryCopy(std::string folder)
    : m_folder(std::move(folder)), m_database(m_folder + "/history.sqlite") {}

CHistoryCopy::~CHistoryCopy() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::unique_ptr<CHistoryCopy> CHistoryCopy::Make(const std::string& file, std::string& error,
                                                 const std::atomic<bool>* stop) {
    error.clear();
    const std::string log = file + "-wal";
    if (!StampOf(file).exists) {
        error = ReadError(file, ENOENT);
        return nullptr;
    }
    const std::string folder = MakePrivateFolder(error);
    if (folder.empty())
        return nullptr;
    std::unique_ptr<CHistoryCopy> copy(new CHistoryCopy(folder));
    const std::string copiedLog = copy->m_database + "-wal";
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(kSettleTime);
        const CFileStamp databaseBefore = StampOf(file);
        const CFileStamp logBefore = StampOf(log);
        ::unlink(copiedLog.c_str());
        if (!CopyFile(file, copy->m_database, file, error, stop))
            return nullptr;
        if (logBefore.exists && !CopyFile(log, copiedLog, log, error, stop)) {
            // A log that vanished meanwhile was checkpointed into the database; the next
            // attempt copies that database without it.
            if (StampOf(log).exists || (stop && stop->load()))
                return nullptr;
            ::unlink(copiedLog.c_str());
            error.clear();
            continue;
        }
        if (StampOf(file) == databaseBefore && StampOf(log) == logBefore)
            break;
    }
    // After the last attempt the copy is taken as it is: SQLite ignores log frames that do not
    // match the database, and a copy it cannot read is reported as damaged.
    return copy;
}
