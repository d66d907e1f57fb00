// DataFile streams: opening logical names and paths, bounded byte reading
// with one pushback character, and plain stdio writing.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "data/data_local.h"

namespace gr {

namespace {

enum : unsigned { FLAG_GZ = 1, FLAG_SCRAM = 2 };

DataFile* make_stream(FILE* fp, unsigned flags) {
    DataFile* f = new DataFile;
    f->file = fp;
    f->compressed = flags & FLAG_GZ;
    f->scrambled = flags & FLAG_SCRAM;
    if (!datafile_start_decoding(f)) {
        file_close(f);
        return nullptr;
    }
    return f;
}

// "@name" -> home directory + name; anything else unchanged. Empty when the
// home directory is unknown.
std::string home_path(const char* name) {
    if (name[0] != '@') return name;
    const char* home = home_dir();
    return home ? std::string(home) + (name + 1) : std::string();
}

}  // namespace

bool is_read_mode(const char* mode) {
    return strchr(mode, 'r') && !strchr(mode, '+');
}

DataFile* open_path(const char* path, const char* mode) {
    bool read = is_read_mode(mode);
    size_t len = strlen(path);
    if (!read && len < 1024) make_directory_chain(path);
    FILE* fp = fopen(path, mode);
    unsigned flags = 0;
    if (!fp && read) {
        static const struct { const char* suffix; unsigned flags; } tries[] = {
            {".gz", FLAG_GZ}, {".scram", FLAG_SCRAM}, {".gz.scram", FLAG_GZ | FLAG_SCRAM}};
        for (const auto& t : tries) {
            if (len + strlen(t.suffix) >= 1024) continue;
            std::string p = std::string(path) + t.suffix;
            fp = fopen(p.c_str(), mode);
            if (fp) {
                flags = t.flags;
                break;
            }
        }
    }
    if (!fp) return nullptr;
    return make_stream(fp, flags);
}

DataFile* file_open(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    if (name[0] != '@') return open_path(name, mode);
    const char* rest = name + 1;

    for (int i = 0; const char* dir = data_dir(i); i++) {
        std::string path = std::string(dir) + rest;
        if (path.size() > 511) continue;
        if (DataFile* f = open_path(path.c_str(), mode)) return f;
    }
    if (!is_read_mode(mode)) return nullptr;

    // Archive members, and loose files whose name differs in case.
    static const struct { const char* suffix; unsigned flags; } variants[] = {
        {"", 0}, {".gz", FLAG_GZ}, {".scram", FLAG_SCRAM}, {".gz.scram", FLAG_GZ | FLAG_SCRAM}};
    const IndexEntry* best = nullptr;
    unsigned best_flags = 0;
    for (const auto& v : variants) {
        std::string n = std::string(rest) + v.suffix;
        const IndexEntry* e = index_find(n.c_str());
        if (e && (!best || e->priority < best->priority)) {
            best = e;
            best_flags = v.flags;
        }
    }
    if (!best) return nullptr;
    FILE* fp = fopen(best->path.c_str(), "rb");
    if (!fp) return nullptr;
    if (fseek(fp, best->offset, SEEK_SET) != 0) {
        fclose(fp);
        return nullptr;
    }
    DataFile* f = new DataFile;
    f->file = fp;
    f->base = best->offset;
    f->length = best->size;
    f->compressed = best_flags & FLAG_GZ;
    f->scrambled = best_flags & FLAG_SCRAM;
    if (!datafile_start_decoding(f)) {
        file_close(f);
        return nullptr;
    }
    return f;
}

bool datafile_start_decoding(DataFile* f) {
    if (f->scrambled) {
        f->descrambler = descrambler_create(f->file);
        if (!f->descrambler) return false;
    }
    if (f->compressed) {
        f->gzip = gzip_reader_create(f);
        if (!f->gzip) return false;
    }
    return true;
}

void file_close(DataFile* f) {
    if (!f) return;
    if (f->gzip) gzip_reader_destroy(f->gzip);
    if (f->descrambler) descrambler_destroy(f->descrambler);
    if (f->file) fclose(f->file);
    delete f;
}

int64_t datafile_raw_left(const DataFile* f) {
    int64_t used = int64_t(f->position) + (f->pushback >= 0 ? 1 : 0);
    int64_t left = int64_t(f->length) - used;
    return left > 0 ? left : 0;
}

size_t datafile_read_raw(DataFile* f, void* buf, size_t n) {
    if (n == 0) return 0;
    if (f->scrambled) return descrambler_read(f->descrambler, buf, n);
    return fread(buf, 1, n, f->file);
}

int file_getc(DataFile* f) {
    if (f->pushback >= 0) {
        int c = f->pushback;
        f->pushback = -1;
        f->position++;
        return c;
    }
    int c;
    if (f->compressed) {
        c = gzip_reader_getc(f->gzip);
    } else {
        if (f->position >= f->length) return -1;
        if (f->scrambled) {
            unsigned char b;
            c = descrambler_read(f->descrambler, &b, 1) == 1 ? b : -1;
        } else {
            c = getc(f->file);
            if (c == EOF) c = -1;
        }
    }
    if (c >= 0) f->position++;
    return c;
}

int file_peekc(DataFile* f) {
    if (f->pushback >= 0) return f->pushback;
    int c = file_getc(f);
    if (c >= 0) {
        f->pushback = c;
        f->position--;
    }
    return c;
}

char* file_gets(DataFile* f, char* buf, int n) {
    if (n <= 0) return nullptr;
    int i = 0;
    while (i < n - 1) {
        int c = file_getc(f);
        if (c < 0) break;
        buf[i++] = char(c);
        if (c == '\n') break;
    }
    buf[i] = 0;
    return i ? buf : nullptr;
}

size_t file_read(DataFile* f, void* buf, size_t count) {
    unsigned char* out = static_cast<unsigned char*>(buf);
    size_t done = 0;
    if (count && f->pushback >= 0) {
        out[done++] = (unsigned char)f->pushback;
        f->pushback = -1;
        f->position++;
    }
    size_t got;
    if (f->compressed) {
        got = gzip_reader_read(f->gzip, out + done, count - done);
    } else {
        int64_t left = int64_t(f->length) - f->position;
        size_t want = count - done;
        if (left <= 0) want = 0;
        else if (int64_t(want) > left) want = size_t(left);
        got = datafile_read_raw(f, out + done, want);
    }
    done += got;
    f->position += int32_t(got);
    return done;
}

int file_read_int(DataFile* f) {
    int v;
    if (file_scanf(f, "%d", &v) == 1) return v;
    return INT_MIN;
}

void file_skip_comments(DataFile* f) {
    for (;;) {
        int32_t before = f->position;
        int n = 0;
        file_scanf(f, " #%*[^\n]%n", &n);
        if (f->position == before) break;
    }
}

bool file_seek(DataFile* f, int32_t position) {
    if (f->compressed || f->scrambled || position < 0 || position >= f->length) return false;
    if (fseek(f->file, long(f->base) + position, SEEK_SET) != 0) return false;
    f->position = position;
    f->pushback = -1;
    return true;
}

bool file_is_scrambled(const DataFile* f) { return f->scrambled; }

int file_putc(DataFile* f, int c) { return fputc(c, f->file); }
int file_puts(DataFile* f, const char* s) { return fputs(s, f->file); }
size_t file_write(DataFile* f, const void* buf, size_t count) { return fwrite(buf, 1, count, f->file); }
int file_flush(DataFile* f) { return fflush(f->file); }

int file_printf(DataFile* f, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = vfprintf(f->file, format, ap);
    va_end(ap);
    return n;
}

bool file_rename(const char* from, const char* to) {
    std::string a = home_path(from), b = home_path(to);
    if (a.empty() || b.empty()) return false;
    // rename() replaces the target atomically, so it is never missing.
    return rename(a.c_str(), b.c_str()) == 0;
}

DataFile* file_replace_open(const char* name) {
    std::string target = home_path(name);
    if (target.empty()) return nullptr;
    std::string temp = target + ".tmp";
    return open_path(temp.c_str(), "wb");
}

void file_replace_abort(DataFile* f, const char* name) {
    if (!f) return;
    file_close(f);
    std::string target = home_path(name);
    if (!target.empty()) remove((target + ".tmp").c_str());
}

bool file_replace_commit(DataFile* f, const char* name) {
    if (!f) return false;
    std::string target = home_path(name);
    std::string temp = target + ".tmp";
    bool ok = fflush(f->file) == 0 && !ferror(f->file) && fsync(fileno(f->file)) == 0;
    ok = (fclose(f->file) == 0) && ok;
    f->file = nullptr;
    file_close(f);
    if (ok && !target.empty() && rename(temp.c_str(), target.c_str()) == 0) return true;
    remove(temp.c_str());
    return false;
}

}  // namespace gr
