// Data files and the small services every subsystem leans on: search
// directories, the file index with ".saf" archives, the DataFile stream
// (plain, gzip and scrambled), the log, the on-screen message list, platform
// options, tracked allocation, RIPEMD-160 and the program's random generator.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>

namespace gr {

// ---------------------------------------------------------------------------
// Search directories and the file index

// The i-th search directory ("/"-terminated), or null past the end. Index 0 is
// the home directory (where everything the program writes goes) when the
// user's data folder is known; then GR_HOME or the executable's directory.
// Built once on first use.
const char* data_dir(int i);

// The home directory, or null when it is unknown.
const char* home_dir();

// Creates every directory along `path` (up to its last "/").
void make_directory_chain(const char* path);

// Frees the search directories, the index and the name list. The next use
// builds them again (start-up frees them at exit; tests use it to start over).
void data_free();

// ---------------------------------------------------------------------------
// DataFile: the stream every data file is read (and written) through

struct Descrambler;
struct GzipReader;

// An open data file; allocated by file_open, freed by file_close.
struct DataFile {
    FILE* file = nullptr;          // the loose file or the archive
    int32_t base = 0;              // offset of the data inside `file`
    int32_t length = 0x7fffffff;   // readable length (raw bytes); 2^31-1 when unbounded
    int32_t position = 0;          // bytes consumed so far (inflated bytes for gzip)
    int32_t pushback = -1;         // one pushed-back byte, or -1
    bool compressed = false;       // gzip data, inflated while reading
    bool scrambled = false;        // raw bytes pass through the descrambler
    Descrambler* descrambler = nullptr;
    GzipReader* gzip = nullptr;    // inflater state (compressed files only)
};

// Opens a logical name ("@" + name, looked up in the search directories and
// then the index) or a plain path. A mode containing "r" and no "+" reads;
// every other mode writes (home directory first, directories created).
DataFile* file_open(const char* name, const char* mode);
void file_close(DataFile* f);

int file_getc(DataFile* f);                      // 0..255, or -1 at end
int file_peekc(DataFile* f);                     // next byte without consuming it
char* file_gets(DataFile* f, char* buf, int n);  // like fgets; null when nothing read
size_t file_read(DataFile* f, void* buf, size_t count);
int file_scanf(DataFile* f, const char* format, ...) __attribute__((format(scanf, 2, 3)));
int file_vscanf(DataFile* f, const char* format, va_list ap);
int file_read_int(DataFile* f);                  // "%d", or INT32_MIN when none
void file_skip_comments(DataFile* f);            // blank lines and "#" lines
bool file_seek(DataFile* f, int32_t position);   // plain, unscrambled data only
bool file_is_scrambled(const DataFile* f);

int file_putc(DataFile* f, int c);
int file_puts(DataFile* f, const char* s);
size_t file_write(DataFile* f, const void* buf, size_t count);
int file_printf(DataFile* f, const char* format, ...) __attribute__((format(printf, 2, 3)));
int file_flush(DataFile* f);

// Renames `from` to `to`; a leading "@" stands for the home directory. The
// rename replaces `to` in one step, so it is never missing. True on success.
bool file_rename(const char* from, const char* to);

// Writing a file that replaces another: file_replace_open opens a temporary
// file beside the target, file_replace_commit closes it and renames it over
// the target only when every write succeeded (otherwise the temporary file is
// removed and the old file stays as it was). Names follow file_open ("@...").
DataFile* file_replace_open(const char* name);
bool file_replace_commit(DataFile* f, const char* name);
// Gives up a replacement: the temporary file goes, the old file stays.
void file_replace_abort(DataFile* f, const char* name);

// The name list: every distinct logical name once, sorted without regard to
// case, ended by a null entry. Builds the index first.
const char* const* file_list();
int file_list_count();

// Writes "NAME -> PATH" of index entry i into buf (cut to n-1 characters);
// false past the end.
bool file_describe(int i, char* buf, int n);

// ---------------------------------------------------------------------------
// Scrambled data (".scram"): a keyed byte-stream transform, see scramble.cpp.

// Scrambles `n` bytes in place; `offset` is the position of buf[0] in the
// stream. Scrambling and descrambling are the same operation.
void scramble_bytes(uint8_t* buf, size_t n, uint64_t offset);

Descrambler* descrambler_create(FILE* file);
size_t descrambler_read(Descrambler* d, void* buf, size_t n);
void descrambler_destroy(Descrambler* d);

// ---------------------------------------------------------------------------
// Start-up helpers

// The digest of "zzzz.saf" that the game data must have (40 hex digits).
extern const char* const game_data_digest;

// Creates the home directory, points the log at "lastlog.txt" there, and
// reports whether the game data ("zzzz.saf" with the expected digest) is present.
bool check_game_data();

// Creates the home directory and shows it in the desktop's file browser.
void open_home_folder();

// Logs the working-set range the program would ask for (no-op on Linux).
void tune_working_set();

// ---------------------------------------------------------------------------
// Log and messages

// How much diagnostic logging is wanted: 0 none, 1 debug, 2 more. Start-up
// copies it from the settings ("--debug", "--super-debug").
extern int log_debug_level;

// One time-stamped line in the log. The first call chooses the log file
// (PLIX_LOGFILE, or a first message "PLIX_LOGFILE=name"); a null format
// closes it. Safe from any thread.
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_vprintf(const char* format, va_list ap);

// Logs "Error: %s" and remembers the text as the last platform error.
void log_error(const char* text);
const char* last_error();  // "Unknown" before any error

// Shows a message box (or writes to standard error without a display).
void fatal_box(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The platform layer installs the real message box here.
extern void (*fatal_box_handler)(const char* title, const char* text);

// Functions run before the program ends on a fatal error (close audio, the
// window). Subsystems add theirs when they open the resource.
void fatal_cleanup_add(void (*fn)());

// Out of memory: closes what was registered, shows "Out of virtual memory",
// exits with status 1.
[[noreturn]] void fatal_out_of_memory();

enum { MESSAGE_RING = 1000, MESSAGE_CHARS = 128 };

// The on-screen message list; owned here, drawn by the HUD, cleared at start-up.
struct MessageList {
    char lines[MESSAGE_RING][MESSAGE_CHARS];
    int next = 0;              // ring index of the next line to write
    int shown = 0;             // lines currently shown
    int line_setting = 5;      // most lines shown at once (console "message_lines")
    double new_until = 0;      // the newest line counts as new until this time
};
extern MessageList messages;

void messages_clear();

// Logs the text and appends it (cut to 127 characters) to the message list.
void msg_print(const char* text);
void msg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The program clock in seconds; the main loop advances it.
double program_clock();
void program_clock_set(double seconds);

// ---------------------------------------------------------------------------
// Platform options (PLIX_OPTIONS="[name:value][name:value]...")

bool plix_option_bool(const char* name, bool def);
int plix_option_int(const char* name, int def);
void plix_options_reload();  // reads PLIX_OPTIONS again (tests)

// ---------------------------------------------------------------------------
// Allocation

void* xmalloc(size_t size);             // never null: failure is fatal
const char* intern_string(const char* s);  // one shared copy per distinct string

void* tracked_malloc(size_t size);
void* tracked_calloc(size_t count, size_t size);
void* tracked_realloc(void* p, size_t size);
void tracked_free(void* p);
void alloc_report();  // "%p:%d" per block still recorded, to standard error

// ---------------------------------------------------------------------------
// RIPEMD-160

struct Ripemd160 {
    alignas(8) unsigned char state[128];  // nettle's context lives here
};
void ripemd160_init(Ripemd160* r);
void ripemd160_update(Ripemd160* r, const void* data, size_t n);
void ripemd160_final(Ripemd160* r, uint8_t out[20]);
// 40 lower-case hex digits plus the terminating NUL.
void digest_hex(const uint8_t digest[20], char out[41]);
void ripemd160_hex(const void* data, size_t n, char out[41]);

// ---------------------------------------------------------------------------
// The program's random generator (MT19937), seeded at race set-up.

extern std::mt19937 random_generator;
void random_seed(uint32_t seed);
uint32_t random_next();
double random_unit();  // uniform in [0, 1)

}  // namespace gr
