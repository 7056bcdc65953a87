#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Texts of the data files and pages are limited to 8,191 bytes.
constexpr std::int32_t kMaxText = 8191;

enum class ReadResult { Missing, Ok, Failed };

// Reads the whole file into bytes. Missing when it does not exist, Failed when it exists but
// cannot be read (bytes is then empty).
ReadResult ReadWholeFile(const std::string& path, std::string& bytes);

// Bounded reader over bytes already in memory: 32-bit little-endian integers and byte runs.
// Every read checks what remains; a failed read leaves the reader failed for good.
class CBinaryReader {
public:
    explicit CBinaryReader(std::string_view data) : m_data(data) {}

    // The integer and view readers are inline: a store's loader calls them tens of millions
    // of times.
    bool ReadInt32(std::int32_t& value) {
        if (m_failed || Remaining() < 4)
            return Fail();
        const auto* p = reinterpret_cast<const unsigned char*>(m_data.data() + m_pos);
        const std::uint32_t u = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
        value = static_cast<std::int32_t>(u);
        m_pos += 4;
        return true;
    }
    // Reads length bytes; fails when length is negative, above maxLength or past the end.
    bool ReadBytes(std::int32_t length, std::string& out, std::int32_t maxLength = kMaxText);
    // As ReadBytes, but `out` points into the reader's data (valid as long as that data is).
    bool ReadView(std::int32_t length, std::string_view& out, std::int32_t maxLength = kMaxText) {
        if (m_failed || length < 0 || length > maxLength ||
            static_cast<std::size_t>(length) > Remaining())
            return Fail();
        out = m_data.substr(m_pos, static_cast<std::size_t>(length));
        m_pos += static_cast<std::size_t>(length);
        return true;
    }
    // A 32-bit length followed by that many bytes.
    bool ReadString(std::string& out, std::int32_t maxLength = kMaxText);
    // `count` strings as ReadStringView reads them, into out[0] ... out[count - 1].
    bool ReadStringViews(std::string_view* out, std::size_t count,
                         std::int32_t maxLength = kMaxText);
    bool ReadStringView(std::string_view& out, std::int32_t maxLength = kMaxText) {
        std::int32_t length = 0;
        return ReadInt32(length) && ReadView(length, out, maxLength);
    }
    // True when count is not negative and count records of at least minRecordSize bytes each
    // could still follow; a check before reserving room for a count read from a file.
    bool CountFits(std::int32_t count, std::size_t minRecordSize) const;

    std::size_t Remaining() const { return m_data.size() - m_pos; }
    std::size_t Position() const { return m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }
    bool Failed() const { return m_failed; }
    // Marks the reader failed (a value read is not acceptable); returns false.
    bool Fail() {
        m_failed = true;
        return false;
    }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

// Writes a data file atomically: everything goes to a temporary file in the same directory
// (created with the old file's permissions), which Commit() flushes to disk and renames over
// the target. Until Commit() succeeds the old file is untouched; a destroyed, uncommitted file
// removes its temporary file. Writes are buffered in memory and go to disk in large blocks.
class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file for path; false when that is impossible (errno tells why).
    bool Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }

    // Each returns false when the data could not be written, and so does every later write:
    // once a write failed, Commit() fails and the old file is kept.
    bool Write(const void* data, std::size_t size);
    bool WriteBytes(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    bool WriteInt32(std::int32_t value);
    // A 32-bit length followed by the bytes.
    bool WriteString(std::string_view text);
    bool Failed() const { return m_writeFailed; }

    // Flushes, syncs and renames over the target. False (and the old file kept) on failure.
    // After a rename, temporary files of the target left by saves of processes that no longer
    // run (killed before their rename) are removed.
    bool Commit();
    // Drops the temporary file; the target is left as it was.
    void Abort();

private:
    bool FlushBuffer();

    int m_fd = -1;
    std::string m_path;
    std::string m_tempPath;
    std::string m_buffer;
    bool m_writeFailed = false;
};

// Renames a file that could not be read whole out of the way: NAME.damaged, or NAME.damaged.2,
// .3 ... when that exists. Returns the new name, or an empty string when the rename failed.
std::string SetAsideDamagedFile(const std::string& path);
