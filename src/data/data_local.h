// Internals shared by the data layer's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/data.h"

namespace gr {

// One file found below a search directory or listed in an archive.
struct IndexEntry {
    std::string path;   // the file to open: the loose file or its archive
    std::string name;   // logical name, relative to its search directory
    int32_t offset = 0; // data offset inside `path` (0 for loose files)
    int32_t size = 0;   // data length in bytes
    int32_t priority = 0; // lower wins: search directory k, then archives
};

// The index, built on first use; cleared by data_free.
const std::vector<IndexEntry>& file_index();

// Index entry with the exact name (case-insensitive) of lowest priority, or null.
const IndexEntry* index_find(const char* name);

// Case-insensitive comparison of logical names.
int name_compare(const char* a, const char* b);

// Opens a plain path per the read/write rules (".gz"/".scram" fallbacks for reads).
DataFile* open_path(const char* path, const char* mode);

// Sets up gzip or descrambling on a stream positioned at its data start.
// False when the gzip header is bad or the descrambler cannot be made.
bool datafile_start_decoding(DataFile* f);

// Reads raw (still compressed) bytes of the member, through the descrambler,
// never past `length`. Used by the inflater.
size_t datafile_read_raw(DataFile* f, void* buf, size_t n);

// gzip inflation over datafile_read_raw.
GzipReader* gzip_reader_create(DataFile* f);  // null when the header is bad
int gzip_reader_getc(GzipReader* g);          // -1 at end or after an error
size_t gzip_reader_read(GzipReader* g, void* buf, size_t n);
void gzip_reader_destroy(GzipReader* g);

// Remaining raw bytes a member may deliver (for the bounded reads).
int64_t datafile_raw_left(const DataFile* f);

bool is_read_mode(const char* mode);

// Log state reset for tests: the next message chooses the log file again.
void log_reset_for_tests();

// Program millisecond clock (monotonic, since the system started).
uint32_t system_milliseconds();

}  // namespace gr
