// The log file: chosen on the first message (PLIX_LOGFILE, or a first message
// "PLIX_LOGFILE=name"), every line stamped with the system clock, one write
// and one flush per message so that threads never interleave inside a line.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <time.h>

#include "data/data_local.h"

namespace gr {

namespace {

// Process-wide; the file is chosen by the first message and closed by
// log_printf(nullptr).
struct LogState {
    std::mutex choose_lock;  // only guards choosing and closing the file
    bool chosen = false;
    FILE* file = nullptr;
    char last_error[256] = "Unknown";
};
LogState log_state;

void write_stamped(FILE* file, const char* text) {
    uint32_t ms = system_milliseconds();
    char line[8192];
    int n = snprintf(line, sizeof line, "[%u:%02u:%02u.%02u] %s", ms / 3600000u, ms / 60000u % 60u,
                     ms / 1000u % 60u, ms / 10u % 100u, text);
    if (n < 0) return;
    if (size_t(n) < sizeof line) {
        fwrite(line, 1, size_t(n), file);
    } else {
        std::string big(size_t(n) + 1, '\0');
        snprintf(big.data(), big.size(), "[%u:%02u:%02u.%02u] %s", ms / 3600000u, ms / 60000u % 60u,
                 ms / 1000u % 60u, ms / 10u % 100u, text);
        fwrite(big.data(), 1, size_t(n), file);
    }
    fflush(file);
}

// Returns true when the message was the directive that named the file.
bool choose_log_file(const char* first_message) {
    std::lock_guard<std::mutex> lock(log_state.choose_lock);
    if (log_state.chosen) return false;
    log_state.chosen = true;
    std::string name;
    bool directive = false;
    if (const char* env = getenv("PLIX_LOGFILE")) {
        name = env;
    } else if (!strncmp(first_message, "PLIX_LOGFILE=", 13)) {
        name = first_message + 13;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        directive = true;
    }
    if (name.empty()) return directive;
    const char* mode = "w";
    const char* path = name.c_str();
    if (!strncmp(path, ">>", 2)) {
        mode = "a";
        path += 2;
    } else if (path[0] == '>') {
        path += 1;
    }
    if (const char* flags = getenv("PLIX_LOGFILE_FLAGS")) mode = flags;
    log_state.file = fopen(path, mode);
    if (log_state.file) {
        std::string opened = "Logfile \"" + std::string(path) + "\" opened\n";
        write_stamped(log_state.file, opened.c_str());
        write_stamped(log_state.file, "PLIX 0.31\n");
    }
    return directive;
}

}  // namespace

int log_debug_level = 0;

uint32_t system_milliseconds() {
    timespec ts;
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void log_vprintf(const char* format, va_list ap) {
    if (!format) {
        std::lock_guard<std::mutex> lock(log_state.choose_lock);
        if (log_state.file) fclose(log_state.file);
        log_state.file = nullptr;
        log_state.chosen = true;  // closed for the rest of the run
        return;
    }
    char text[4096];
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    std::string big;
    const char* msg = text;
    if (n >= int(sizeof text)) {
        big.resize(size_t(n) + 1);
        vsnprintf(big.data(), big.size(), format, ap);
        msg = big.c_str();
    }
    if (!log_state.chosen && choose_log_file(msg)) return;
    if (FILE* file = log_state.file) write_stamped(file, msg);
}

void log_printf(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    log_vprintf(format, ap);
    va_end(ap);
}

void log_error(const char* text) {
    snprintf(log_state.last_error, sizeof log_state.last_error, "%s", text);
    log_printf("Error: %s\n", text);
}

const char* last_error() { return log_state.last_error; }

void log_reset_for_tests() {
    std::lock_guard<std::mutex> lock(log_state.choose_lock);
    if (log_state.file) fclose(log_state.file);
    log_state.file = nullptr;
    log_state.chosen = false;
    strcpy(log_state.last_error, "Unknown");
}

}  // namespace gr
