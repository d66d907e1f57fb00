// Test helpers: a fresh, private set of search directories per test, so no
// test ever touches the real home directory.
#pragma once

#include <string>

namespace grtest {

struct TestDirs {
    std::string root;     // the temporary directory holding both below
    std::string home;     // the program's home directory ("/"-terminated)
    std::string program;  // what GR_HOME points at ("/"-terminated)
};

// Makes a new temporary tree, points XDG_DATA_HOME and GR_HOME into it and
// drops the data layer's cached directories and index.
TestDirs make_test_dirs();

// Removes the tree and unsets the environment again.
void remove_test_dirs(const TestDirs& dirs);

// Writes `bytes` to `path`, creating directories along the way.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

// gzip-compresses `bytes` with zlib (a real gzip header and trailer).
std::string gzip_bytes(const std::string& bytes);

// Builds ".saf" archive bytes from (name, data) pairs.
std::string saf_bytes(const std::initializer_list<std::pair<std::string, std::string>>& members);

}  // namespace grtest
