// Start-up services: the game-data check, opening the home folder, and the
// working-set note.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "data/data_local.h"

extern char** environ;

namespace gr {

// RIPEMD-160 of the "zzzz.saf" the content generator writes; the generator's
// test keeps this in step with its output.
const char* const game_data_digest = "296407c091e8620a10bcfef5fddd266c4a2ce5bc";

bool check_game_data() {
    if (const char* home = home_dir()) {
        make_directory_chain(home);
        log_printf("PLIX_LOGFILE=%slastlog.txt", home);
    }
    const IndexEntry* marker = index_find("zzzz.saf");
    if (!marker || marker->offset != 0) return false;
    FILE* f = fopen(marker->path.c_str(), "rb");
    if (!f) return false;
    Ripemd160 r;
    ripemd160_init(&r);
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) ripemd160_update(&r, buf, n);
    fclose(f);
    uint8_t d[20];
    char hex[41];
    ripemd160_final(&r, d);
    digest_hex(d, hex);
    return strcmp(hex, game_data_digest) == 0;
}

void open_home_folder() {
    const char* home = home_dir();
    if (!home) return;
    make_directory_chain(home);
    std::string dir = home;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    char* argv[] = {const_cast<char*>("xdg-open"), dir.data(), nullptr};
    pid_t pid;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Without xdg-open there is nothing to show the folder with; that is fine.
    if (posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ) == 0) {
        int status;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

void tune_working_set() {
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    unsigned long long phys = pages > 0 && page > 0 ? (unsigned long long)pages * (unsigned long long)page : 0;
    if (phys < 67108864ull) {
        log_printf("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    if (phys > 2147483648ull) phys = 2147483648ull;
    unsigned max = unsigned(phys - 33554432ull);
    unsigned min = max < 1073741824u ? max : 1073741824u;
    log_printf("Setting working set range to %u - %u\n", min, max);
    // Linux keeps no per-process working-set range; there is nothing to ask for.
    log_printf("Working set successfully updated\n");
}

}  // namespace gr
