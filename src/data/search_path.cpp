// The search directories: the home directory (where the program writes) and
// the program directory (or GR_HOME in its place).
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "data/data_local.h"

namespace gr {

namespace {

// Built once on first use; freed by data_free.
struct SearchDirs {
    bool built = false;
    bool has_home = false;
    std::vector<std::string> dirs;
};
SearchDirs search_dirs;

// Backslashes become "/", runs of "/" collapse to one, and the name ends in "/".
std::string normalise_dir(std::string s) {
    std::string out;
    out.reserve(s.size() + 1);
    for (char c : s) {
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

void build_search_dirs() {
    if (search_dirs.built) return;
    search_dirs.built = true;

    // The user's data folder, as the desktop defines it.
    const char* xdg = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    std::string base;
    if (xdg && xdg[0] == '/') base = xdg;
    else if (home && home[0]) base = std::string(home) + "/.local/share";
    if (!base.empty()) {
        search_dirs.dirs.push_back(normalise_dir(base + "/Gravelrun/"));
        search_dirs.has_home = true;
    }

    // GR_HOME takes the place of the program directory.
    const char* gr_home = getenv("GR_HOME");
    if (gr_home) {
        search_dirs.dirs.push_back(normalise_dir(std::string(gr_home) + "/"));
        return;
    }
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0 && n < PATH_MAX - 1) {
        exe[n] = 0;
        char* slash = strrchr(exe, '/');
        if (slash) {
            slash[1] = 0;
            search_dirs.dirs.push_back(normalise_dir(exe));
        }
    }
}

}  // namespace

const char* data_dir(int i) {
    build_search_dirs();
    if (i < 0 || i >= int(search_dirs.dirs.size())) return nullptr;
    return search_dirs.dirs[size_t(i)].c_str();
}

const char* home_dir() {
    build_search_dirs();
    return search_dirs.has_home ? search_dirs.dirs[0].c_str() : nullptr;
}

void make_directory_chain(const char* path) {
    std::string p(path);
    for (size_t i = 1; i < p.size(); i++) {
        if (p[i] != '/') continue;
        std::string prefix = p.substr(0, i);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return;
    }
}

void index_free();

void data_free() {
    index_free();
    search_dirs = SearchDirs{};
}

}  // namespace gr
