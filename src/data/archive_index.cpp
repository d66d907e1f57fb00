// The file index: every loose file below the search directories and every
// member of the ".saf" archives among them, sorted by name without case.
//
// A ".saf" archive is a text directory followed by the members' bytes:
//   "<size> <name>\n" ... "-\n" <member data back to back>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "data/data_local.h"

namespace gr {

namespace {

// Built on the first file_open or file_list; freed by data_free.
struct FileIndex {
    bool built = false;
    std::vector<IndexEntry> entries;
    std::vector<const char*> names;  // distinct names, null-terminated
};
FileIndex file_index_state;

bool entry_less(const IndexEntry& a, const IndexEntry& b) {
    int c = name_compare(a.name.c_str(), b.name.c_str());
    if (c != 0) return c < 0;
    return a.priority < b.priority;
}

void walk_directory(const std::string& root, const std::string& rel, int priority,
                    std::vector<IndexEntry>& out) {
    std::string dir = root + rel;
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        std::string name = rel + e->d_name;
        std::string path = root + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            walk_directory(root, name + "/", priority, out);
            continue;
        }
        IndexEntry entry;
        entry.path = path;
        entry.name = name;
        entry.offset = 0;
        entry.size = st.st_size > INT32_MAX ? INT32_MAX : int32_t(st.st_size);
        entry.priority = priority;
        out.push_back(std::move(entry));
    }
    closedir(d);
}

std::string collapse_slashes(const char* s) {
    std::string out;
    for (; *s; s++) {
        if (*s == '/' && !out.empty() && out.back() == '/') continue;
        out += *s;
    }
    return out;
}

bool ends_with_saf(const std::string& name) {
    size_t n = name.size();
    return n >= 5 && name_compare(name.c_str() + n - 4, ".saf") == 0;
}

// Reads one archive's directory and appends its members. A malformed
// directory (a line without a line feed or without a leading number, no "-"
// line, sizes that cannot be addressed) contributes nothing.
void read_archive(const std::string& archive_path, int32_t priority, std::vector<IndexEntry>& out) {
    FILE* a = fopen(archive_path.c_str(), "rb");
    if (!a) return;
    size_t first = out.size();
    int64_t header = 0;
    bool complete = false;
    char line[1024];
    while (fgets(line, sizeof line, a)) {
        size_t len = strlen(line);
        header += int64_t(len);
        if (len == 0 || line[len - 1] != '\n') break;
        if (!strcmp(line, "-\n")) {
            complete = true;
            break;
        }
        char* end = nullptr;
        errno = 0;
        long size = strtol(line, &end, 10);
        if (end == line) break;
        // Negative or overflowing sizes would put members before the data or
        // outside what a 32-bit offset can address.
        if (errno == ERANGE || size < 0 || size > INT32_MAX) break;
        line[len - 1] = 0;
        IndexEntry entry;
        entry.path = archive_path;
        entry.name = *end ? collapse_slashes(end + 1) : std::string();
        entry.size = int32_t(size);
        entry.priority = priority;
        out.push_back(std::move(entry));
    }
    fclose(a);

    int64_t offset = header;
    for (size_t i = first; complete && i < out.size(); i++) {
        if (offset > INT32_MAX) complete = false;
        else out[i].offset = int32_t(offset);
        offset += out[i].size;
    }
    if (!complete) {
        out.resize(first);
        return;
    }
    // A member without a name keeps its place in the data but cannot be opened.
    out.erase(std::remove_if(out.begin() + std::ptrdiff_t(first), out.end(),
                             [](const IndexEntry& e) { return e.name.empty(); }),
              out.end());
}

void build_index() {
    FileIndex& fi = file_index_state;
    if (fi.built) return;
    fi.built = true;
    fi.entries.reserve(16);

    int ndirs = 0;
    while (const char* dir = data_dir(ndirs)) {
        walk_directory(dir, "", ndirs, fi.entries);
        ndirs++;
    }
    std::stable_sort(fi.entries.begin(), fi.entries.end(), entry_less);

    // Archives among the loose files, in sorted order; each gets the next ordinal.
    size_t loose = fi.entries.size();
    int32_t ordinal = 0;
    for (size_t i = 0; i < loose; i++) {
        if (!ends_with_saf(fi.entries[i].name)) continue;
        std::string path = fi.entries[i].path;
        read_archive(path, ndirs + ordinal, fi.entries);
        ordinal++;
    }
    std::stable_sort(fi.entries.begin(), fi.entries.end(), entry_less);

    for (size_t i = 0; i < fi.entries.size(); i++) {
        if (i > 0 && name_compare(fi.entries[i].name.c_str(), fi.entries[i - 1].name.c_str()) == 0)
            continue;
        fi.names.push_back(fi.entries[i].name.c_str());
    }
    fi.names.push_back(nullptr);
}

}  // namespace

int name_compare(const char* a, const char* b) {
    for (;; a++, b++) {
        int ca = (unsigned char)*a, cb = (unsigned char)*b;
        if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb || !ca) return ca - cb;
    }
}

const std::vector<IndexEntry>& file_index() {
    build_index();
    return file_index_state.entries;
}

const IndexEntry* index_find(const char* name) {
    const auto& entries = file_index();
    auto it = std::lower_bound(entries.begin(), entries.end(), name,
                               [](const IndexEntry& e, const char* n) {
                                   return name_compare(e.name.c_str(), n) < 0;
                               });
    if (it == entries.end() || name_compare(it->name.c_str(), name) != 0) return nullptr;
    return &*it;
}

void index_free() {
    file_index_state = FileIndex{};
}

const char* const* file_list() {
    build_index();
    return file_index_state.names.data();
}

int file_list_count() {
    build_index();
    return int(file_index_state.names.size()) - 1;
}

bool file_describe(int i, char* buf, int n) {
    const auto& entries = file_index();
    if (i < 0 || size_t(i) >= entries.size()) return false;
    if (n <= 0) return true;
    snprintf(buf, size_t(n), "%s -> %s", entries[size_t(i)].name.c_str(), entries[size_t(i)].path.c_str());
    return true;
}

}  // namespace gr
