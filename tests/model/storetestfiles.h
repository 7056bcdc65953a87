#pragma once

// Helpers for tests of the data files: a private temporary folder, whole-file bytes, a
// recorder of the error reports and little-endian builders for hand-made files.

#include "model/errorreport.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A private temporary folder (tests/support's CTempDir) that can list its names.
class CTestFolder : public CTempDir {
public:
    // The names in the folder, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Collects every ShowError text while it lives.
class CErrorRecorder {
public:
    CErrorRecorder() {
        m_previous =
            SetErrorHandler([this](const std::string& text, bool) { m_messages.push_back(text); });
    }
    ~CErrorRecorder() { SetErrorHandler(m_previous); }
    CErrorRecorder(const CErrorRecorder&) = delete;
    CErrorRecorder& operator=(const CErrorRecorder&) = delete;

    const std::vector<std::string>& Messages() const { return m_messages; }

private:
    ErrorHandler m_previous;
    std::vector<std::string> m_messages;
};

// Little-endian integer and length-prefixed string, to build files by hand.
inline std::string Int32Bytes(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                       static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
}

inline std::string StringBytes(const std::string& text) {
    return Int32Bytes(static_cast<std::int32_t>(text.size())) + text;
}
