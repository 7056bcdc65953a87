#include "model/binaryio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReadResult ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? ReadResult::Failed : ReadResult::Ok;
}

bool CBinaryReader::ReadInt32(std::int32_t& value) {
    if (m_failed || Remaining() < 4)
        return Fail();
    const auto* p = reinterpret_cast<const unsigned char*>(m_data.data() + m_pos);
    const std::uint32_t u = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                            std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    value = static_cast<std::int32_t>(u);
    m_pos += 4;
    return true;
}

bool CBinaryReader::ReadBytes(std::int32_t length, std::string& out, std::int32_t maxLength) {
    if (m_failed || length < 0 || length > maxLength ||
        static_cast<std::size_t>(length) > Remaining())
        return Fail();
    out.assign(m_data.data() + m_pos, static_cast<std::size_t>(length));
    m_pos += static_cast<std::size_t>(length);
    return true;
}

bool CBinaryReader::ReadString(std::string& out, std::int32_t maxLength) {
    std::int32_t length = 0;
    return ReadInt32(length) && ReadBytes(length, out, maxLength);
}

CAtomicFile::~CAtomicFile() {
    Abort();
}

bool CAtomicFile::Open(const std::string& path) {
    Abort();
    m_path = path;
    m_tempPath = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(m_tempPath.data());
    if (fd < 0) {
        m_tempPath.clear();
        return false;
    }
    ::fchmod(fd, 0644);
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        ::close(fd);
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    m_writeFailed = false;
    return true;
}

bool CAtomicFile::Write(const void* data, std::size_t size) {
    if (!m_file)
        return false;
    if (size == 0)
        return true;
    if (std::fwrite(data, 1, size, m_file) != size) {
        m_writeFailed = true;
        std::clearerr(m_file);
        return false;
    }
    return true;
}

bool CAtomicFile::WriteInt32(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    return Write(bytes, sizeof bytes);
}

bool CAtomicFile::WriteString(std::string_view text) {
    // Both parts are written even when the first fails, so later items keep their places.
    const bool lengthWritten = WriteInt32(static_cast<std::int32_t>(text.size()));
    const bool bytesWritten = WriteBytes(text);
    return lengthWritten && bytesWritten;
}

bool CAtomicFile::Commit() {
    if (!m_file)
        return false;
    bool ok = !m_writeFailed && std::fflush(m_file) == 0 && ::fsync(::fileno(m_file)) == 0;
    ok = (std::fclose(m_file) == 0) && ok;
    m_file = nullptr;
    if (ok)
        ok = ::rename(m_tempPath.c_str(), m_path.c_str()) == 0;
    if (!ok) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    // Make the rename itself durable.
    const auto slash = m_path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : m_path.substr(0, slash + 1);
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void CAtomicFile::Abort() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

std::string SetAsideDamagedFile(const std::string& path) {
    std::string target = path + ".damaged";
    struct stat info;
    for (int n = 2; ::lstat(target.c_str(), &info) == 0; ++n)
        target = path + ".damaged." + std::to_string(n);
    return ::rename(path.c_str(), target.c_str()) == 0 ? target : std::string();
}
