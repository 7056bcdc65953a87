#pragma once

#include <string>

// Changes the current directory for as long as the object lives.
class CCurrentDirectory {
public:
    explicit CCurrentDirectory(const std::string& path);
    ~CCurrentDirectory();
    CCurrentDirectory(const CCurrentDirectory&) = delete;
    CCurrentDirectory& operator=(const CCurrentDirectory&) = delete;

private:
    std::string m_previous;
};
