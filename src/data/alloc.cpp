// Allocation: the tracked allocators (recording every live block when
// GR_CHECK_ALLOC is set), xmalloc and interned strings, and the fatal
// out-of-memory path.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "data/data_local.h"

namespace gr {

namespace {

enum { ALLOC_TABLE_MAX = 1048576 };

// Process-wide; checking is decided once, on the first tracked allocation.
struct AllocCheck {
    std::mutex lock;
    bool decided = false;
    bool on = false;
    int serial = 0;
    std::unordered_map<uintptr_t, int> live;  // address -> serial
};
AllocCheck& alloc_check() {
    static AllocCheck* check = new AllocCheck;  // outlives every static destructor
    return *check;
}

bool checking(AllocCheck& a) {
    if (!a.decided) {
        a.decided = true;
        a.on = getenv("GR_CHECK_ALLOC") != nullptr;
    }
    return a.on;
}

void record(AllocCheck& a, uintptr_t p) {
    if (a.live.size() >= ALLOC_TABLE_MAX) {
        fputs("Too many allocations to check!\n", stderr);
        a.on = false;
        a.live.clear();
        return;
    }
    a.live[p] = a.serial++;
}

bool forget(AllocCheck& a, uintptr_t p) {
    auto it = a.live.find(p);
    if (it == a.live.end()) {
        fprintf(stderr, "Allocation not found for %p!\n", reinterpret_cast<void*>(p));
        return false;
    }
    a.live.erase(it);
    return true;
}

std::vector<void (*)()>& fatal_cleanups() {
    static std::vector<void (*)()> list;
    return list;
}

}  // namespace

void* tracked_malloc(size_t size) {
    void* p = malloc(size);
    AllocCheck& a = alloc_check();
    std::lock_guard<std::mutex> g(a.lock);
    if (p && checking(a)) record(a, reinterpret_cast<uintptr_t>(p));
    return p;
}

void* tracked_calloc(size_t count, size_t size) {
    void* p = calloc(count, size);
    AllocCheck& a = alloc_check();
    std::lock_guard<std::mutex> g(a.lock);
    if (p && checking(a)) record(a, reinterpret_cast<uintptr_t>(p));
    return p;
}

// GCC flags any use of the old pointer's value after realloc, even as a number.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
void* tracked_realloc(void* p, size_t size) {
    AllocCheck& a = alloc_check();
    uintptr_t old = reinterpret_cast<uintptr_t>(p);  // the address only, never the block
    void* q = realloc(p, size);
    uintptr_t now = reinterpret_cast<uintptr_t>(q);
    std::lock_guard<std::mutex> g(a.lock);
    if (!checking(a)) return q;
    if (!old) {
        if (now) record(a, now);
    } else if (now && now != old) {
        // The block moved: its record follows it.
        if (forget(a, old)) record(a, now);
    } else if (now == old && !a.live.count(old)) {
        fprintf(stderr, "Allocation not found for %p!\n", q);
    }
    return q;
}
#pragma GCC diagnostic pop

void tracked_free(void* p) {
    if (!p) return;
    {
        AllocCheck& a = alloc_check();
        std::lock_guard<std::mutex> g(a.lock);
        // An address we never handed out is reported, not passed to free():
        // that would corrupt the heap the check is there to protect.
        if (checking(a) && !forget(a, reinterpret_cast<uintptr_t>(p))) return;
    }
    free(p);
}

void alloc_report() {
    AllocCheck& a = alloc_check();
    std::lock_guard<std::mutex> g(a.lock);
    std::map<int, void*> by_serial;
    for (const auto& [p, serial] : a.live) by_serial[serial] = reinterpret_cast<void*>(p);
    for (const auto& [serial, p] : by_serial) fprintf(stderr, "%p:%d\n", p, serial);
}

void (*fatal_box_handler)(const char* title, const char* text) = nullptr;

void fatal_box(const char* title, const char* format, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (fatal_box_handler) fatal_box_handler(title, text);
    else fprintf(stderr, "%s: %s\n", title, text);
}

void fatal_cleanup_add(void (*fn)()) { fatal_cleanups().push_back(fn); }

void fatal_out_of_memory() {
    // Newest first: close the window before what it was opened after.
    auto& list = fatal_cleanups();
    for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)();
    fatal_box("Error", "Out of virtual memory");
    exit(1);
}

void* xmalloc(size_t size) {
    void* p = tracked_malloc(size ? size : 1);
    if (!p) fatal_out_of_memory();
    return p;
}

const char* intern_string(const char* s) {
    static std::unordered_set<std::string>* strings = new std::unordered_set<std::string>;
    try {
        return strings->insert(s).first->c_str();
    } catch (const std::bad_alloc&) {
        fatal_out_of_memory();
    }
}

}  // namespace gr
