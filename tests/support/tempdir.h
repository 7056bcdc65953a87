#pragma once

#include <string>

// A private temporary folder (mode 0700) that is removed with everything in it when the
// object goes. Throws std::runtime_error when no folder can be made.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const;

private:
    std::string m_path;
};
