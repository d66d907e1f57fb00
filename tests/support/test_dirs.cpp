// Temporary search directories and small file builders for the tests.
#include "support/test_dirs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <zlib.h>

#include "data/data.h"

namespace grtest {

TestDirs make_test_dirs() {
    char tmpl[] = "/tmp/gr_test_XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    TestDirs d;
    d.root = tmpl;
    std::filesystem::create_directories(d.root + "/xdg");
    std::filesystem::create_directories(d.root + "/program");
    d.home = d.root + "/xdg/Gravelrun/";
    d.program = d.root + "/program/";
    setenv("XDG_DATA_HOME", (d.root + "/xdg").c_str(), 1);
    setenv("GR_HOME", (d.root + "/program").c_str(), 1);
    gr::data_free();
    return d;
}

void remove_test_dirs(const TestDirs& dirs) {
    gr::data_free();
    std::error_code ec;
    std::filesystem::remove_all(dirs.root, ec);
    unsetenv("GR_HOME");
}

void write_file(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string gzip_bytes(const std::string& bytes) {
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, uLong(bytes.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs.avail_in = uInt(bytes.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string saf_bytes(const std::initializer_list<std::pair<std::string, std::string>>& members) {
    std::string dir, data;
    for (const auto& [name, bytes] : members) {
        dir += std::to_string(bytes.size()) + " " + name + "\n";
        data += bytes;
    }
    return dir + "-\n" + data;
}

}  // namespace grtest
