#include "tests/support/currentdirectory.h"

#include <filesystem>
#include <system_error>

CCurrentDirectory::CCurrentDirectory(const std::string& path)
    : m_previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(path);
}

CCurrentDirectory::~CCurrentDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}
