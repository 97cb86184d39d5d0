#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away. Paths and names are UTF-8; on
// Windows the directory's own path is its short form.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The path of name inside the directory; the file need not exist.
    std::string file(const std::string& name) const;
    // Creates or replaces the file name with the bytes and returns its path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    // The whole content of the file name; empty when it cannot be read.
    std::vector<std::uint8_t> read(const std::string& name) const;

private:
    std::string path_;
};

} // namespace testsupport
