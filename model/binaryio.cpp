#include "model/binaryio.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr std::size_t kWriteBlock = 1 << 20;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The process id in a temporary file name "NAME.tmp-PID-N" after its prefix, or 0.
pid_t TemporaryFileOwner(const char* rest) {
    char* end = nullptr;
    const long pid = std::strtol(rest, &end, 10);
    if (end == rest || *end != '-' || pid <= 0 || !std::isdigit(static_cast<unsigned char>(end[1])))
        return 0;
    return static_cast<pid_t>(pid);
}

// A save killed before its rename leaves its temporary file behind. Those of processes that no
// longer run are removed; a process we may not signal (another user's) counts as running.
void RemoveStaleTemporaries(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
    DIR* dir = ::opendir(DirectoryOf(path).c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const pid_t owner = TemporaryFileOwner(entry->d_name + prefix.size());
        if (owner == 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}
} // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    // One byte more than the size, so the end is seen without growing; the file may still grow
    // or shrink meanwhile, so reading goes on to the end whatever the size said.
    const bool sized = ok && S_ISREG(info.st_mode) && info.st_size > 0;
    bytes.resize(sized ? static_cast<std::size_t>(info.st_size) + 1 : 65536);
    std::size_t filled = 0;
    while (ok) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        else if (n == 0)
            break;
        else
            filled += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(ok ? filled : 0);
    return ok ? ReadResult::Ok : ReadResult::Failed;
}

bool CBinaryReader::ReadBytes(std::int32_t length, std::string& out, std::int32_t maxLength) {
    std::string_view view;
    if (!ReadView(length, view, maxLength))
        return false;
    out.assign(view);
    return true;
}

bool CBinaryReader::ReadString(std::string& out, std::int32_t maxLength) {
    std::int32_t length = 0;
    return ReadInt32(length) && ReadBytes(length, out, maxLength);
}

bool CBinaryReader::ReadStringViews(std::string_view* out, std::size_t count,
                                    std::int32_t maxLength) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!ReadStringView(out[i], maxLength))
            return false;
    }
    return true;
}

bool CBinaryReader::CountFits(std::int32_t count, std::size_t minRecordSize) const {
    if (m_failed || count < 0)
        return false;
    return minRecordSize == 0 || static_cast<std::size_t>(count) <= Remaining() / minRecordSize;
}

CAtomicFile::~CAtomicFile() {
    Abort();
}

bool CAtomicFile::Open(const std::string& path) {
    Abort();
    m_path = path;
    m_writeFailed = false;
    m_buffer.clear();
    // Our own names with O_EXCL rather than mkstemp: the kernel then applies the umask to 0666,
    // as for any file the user's programs make.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_tempPath = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_tempPath.clear();
        return false;
    }
    struct stat old;
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(m_fd, old.st_mode & 07777);
    m_buffer.reserve(kWriteBlock + 65536);
    return true;
}

bool CAtomicFile::FlushBuffer() {
    if (!m_writeFailed && !WriteAll(m_fd, m_buffer.data(), m_buffer.size()))
        m_writeFailed = true;
    m_buffer.clear();
    return !m_writeFailed;
}

bool CAtomicFile::Write(const void* data, std::size_t size) {
    if (m_fd < 0 || m_writeFailed)
        return false;
    m_buffer.append(static_cast<const char*>(data), size);
    return m_buffer.size() < kWriteBlock || FlushBuffer();
}

bool CAtomicFile::WriteInt32(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
                           static_cast<char>((u >> 16) & 0xff), static_cast<char>(u >> 24)};
    return Write(bytes, sizeof bytes);
}

bool CAtomicFile::WriteString(std::string_view text) {
    return WriteInt32(static_cast<std::int32_t>(text.size())) && WriteBytes(text);
}

bool CAtomicFile::Commit() {
    if (m_fd < 0)
        return false;
    bool ok = FlushBuffer() && ::fsync(m_fd) == 0;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (ok)
        ok = ::rename(m_tempPath.c_str(), m_path.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        errno = error;
        return false;
    }
    m_tempPath.clear();
    // Make the rename itself durable.
    const int dirFd = ::open(DirectoryOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    RemoveStaleTemporaries(m_path);
    return true;
}

void CAtomicFile::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    m_buffer.clear();
}

std::string SetAsideDamagedFile(const std::string& path) {
    std::string target = path + ".damaged";
    struct stat info;
    for (int n = 2; ::lstat(target.c_str(), &info) == 0; ++n)
        target = path + ".damaged." + std::to_string(n);
    return ::rename(path.c_str(), target.c_str()) == 0 ? target : std::string();
}
