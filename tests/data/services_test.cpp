// The log, the message list, platform options, allocation checks, RIPEMD-160
// and the random generator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "data/data_local.h"
#include "support/test_dirs.h"

using namespace gr;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        unsetenv("PLIX_LOGFILE");
        unsetenv("PLIX_LOGFILE_FLAGS");
        log_reset_for_tests();
    }
    void TearDown() override {
        log_reset_for_tests();
        unsetenv("PLIX_LOGFILE");
        unsetenv("PLIX_LOGFILE_FLAGS");
        grtest::remove_test_dirs(dirs);
    }
    grtest::TestDirs dirs;
};

TEST_F(LogTest, DirectiveChoosesTheFileAndIsNotLogged) {
    std::string path = dirs.root + "/lastlog.txt";
    log_printf("PLIX_LOGFILE=%s", path.c_str());
    log_printf("hello %d\n", 7);
    log_printf(nullptr);
    log_printf("after close\n");
    std::string log = grtest::read_file(path);
    EXPECT_NE(log.find("] Logfile \"" + path + "\" opened\n"), std::string::npos);
    EXPECT_NE(log.find("] PLIX 0.31\n"), std::string::npos);
    EXPECT_NE(log.find("] hello 7\n"), std::string::npos);
    EXPECT_EQ(log.find("PLIX_LOGFILE="), std::string::npos);
    EXPECT_EQ(log.find("after close"), std::string::npos);
    // Every line carries the "[h:mm:ss.cc] " stamp.
    EXPECT_EQ(log[0], '[');
    size_t close = log.find("] ");
    ASSERT_NE(close, std::string::npos);
    EXPECT_EQ(log[close - 3], '.');
}

TEST_F(LogTest, WithoutANameNothingIsLoggedAllRun) {
    log_printf("first message\n");
    std::string path = dirs.root + "/late.txt";
    log_printf("PLIX_LOGFILE=%s", path.c_str());
    log_printf("second\n");
    EXPECT_EQ(grtest::read_file(path), "");
}

TEST_F(LogTest, EnvironmentNameAndAppendMode) {
    std::string path = dirs.root + "/env.txt";
    grtest::write_file(path, "kept\n");
    setenv("PLIX_LOGFILE", (">>" + path).c_str(), 1);
    log_printf("PLIX_LOGFILE=/nonexistent/ignored.txt");  // the environment wins; this is a message
    log_printf(nullptr);
    std::string log = grtest::read_file(path);
    EXPECT_EQ(log.rfind("kept\n", 0), 0u);
    EXPECT_NE(log.find("] PLIX_LOGFILE=/nonexistent/ignored.txt"), std::string::npos);

    log_reset_for_tests();
    setenv("PLIX_LOGFILE", (">" + path).c_str(), 1);
    log_printf("fresh\n");
    log_printf(nullptr);
    log = grtest::read_file(path);
    EXPECT_EQ(log.find("kept"), std::string::npos);
    EXPECT_NE(log.find("] fresh\n"), std::string::npos);
}

TEST_F(LogTest, MessagesAreStoredCutAndLoggedWhole) {
    std::string path = dirs.root + "/msg.txt";
    setenv("PLIX_LOGFILE", path.c_str(), 1);
    messages_clear();
    messages.line_setting = 5;
    program_clock_set(10.0);
    std::string long_text(200, 'm');
    msg_print(long_text.c_str());
    msg_print("\x1b[31mred");
    msg_print("ends in newline\n");
    log_printf(nullptr);

    EXPECT_EQ(strlen(messages.lines[0]), 127u);
    EXPECT_EQ(std::string(messages.lines[0]), long_text.substr(0, 127));
    EXPECT_STREQ(messages.lines[2], "ends in newline\n");
    EXPECT_EQ(messages.next, 3);
    EXPECT_EQ(messages.shown, 3);
    EXPECT_DOUBLE_EQ(messages.new_until, 12.0);
    std::string log = grtest::read_file(path);
    EXPECT_NE(log.find("] " + long_text + "\n"), std::string::npos);
    EXPECT_NE(log.find("] \x1b[31mred\x1b[0m\n"), std::string::npos);
    EXPECT_NE(log.find("] ends in newline\n"), std::string::npos);
    EXPECT_EQ(log.find("ends in newline\n\n"), std::string::npos);

    for (int i = 0; i < 1000; i++) msg_print("x");
    EXPECT_EQ(messages.next, 3);  // wrapped around the 1000-line ring
    EXPECT_EQ(messages.shown, 5);
}

TEST_F(LogTest, PlatformOptions) {
    std::string path = dirs.root + "/opt.txt";
    setenv("PLIX_LOGFILE", path.c_str(), 1);
    setenv("PLIX_OPTIONS", "[fullscreen:on][sound-rate:22050][threaded:maybe][dsnd:no][sound-channels:x]", 1);
    plix_options_reload();
    EXPECT_TRUE(plix_option_bool("fullscreen", false));
    EXPECT_EQ(plix_option_int("sound-rate", 44100), 22050);
    EXPECT_TRUE(plix_option_bool("threaded", true));
    EXPECT_FALSE(plix_option_bool("threaded", false));
    EXPECT_FALSE(plix_option_bool("dsnd", true));
    EXPECT_EQ(plix_option_int("sound-channels", 2), 2);
    EXPECT_TRUE(plix_option_bool("waveout", true));  // absent: default, no message
    log_printf(nullptr);
    std::string log = grtest::read_file(path);
    EXPECT_NE(log.find("] unrecognized setting for threaded\n"), std::string::npos);
    EXPECT_NE(log.find("] unrecognized setting for sound-channels\n"), std::string::npos);
    EXPECT_EQ(log.find("waveout"), std::string::npos);
    unsetenv("PLIX_OPTIONS");
    plix_options_reload();
}

TEST_F(LogTest, GameDataCheckPointsTheLogAtHome) {
    EXPECT_FALSE(check_game_data());  // no zzzz.saf here
    log_printf("after check\n");
    log_printf(nullptr);
    std::string log = grtest::read_file(dirs.home + "lastlog.txt");
    EXPECT_NE(log.find("] after check\n"), std::string::npos);

    // A marker whose digest does not match is not the game data.
    grtest::write_file(dirs.program + "zzzz.saf", "-\n");
    data_free();
    EXPECT_FALSE(check_game_data());
}

TEST(Allocation, CheckingReportsUnknownFreesAndLiveBlocks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("GR_CHECK_ALLOC", "1", 1);
            void* a = tracked_malloc(10);
            void* b = tracked_calloc(2, 8);
            b = tracked_realloc(b, 1 << 20);  // moves: the record follows
            tracked_free(a);
            int on_stack = 0;
            tracked_free(&on_stack);
            alloc_report();
            tracked_free(b);
            exit(0);
        },
        ::testing::ExitedWithCode(0), "Allocation not found for 0x[0-9a-f]+!\n0x[0-9a-f]+:[12]\n");
}

TEST(Allocation, OutOfMemoryIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(xmalloc(size_t(1) << 62), ::testing::ExitedWithCode(1), "Error: Out of virtual memory");
    const char* a = intern_string("redmesa");
    std::string copy = "redmesa";
    EXPECT_EQ(intern_string(copy.c_str()), a);
    EXPECT_NE(intern_string("redmesa2"), a);
}

TEST(Digest, Ripemd160KnownValues) {
    char hex[41];
    ripemd160_hex("", 0, hex);
    EXPECT_STREQ(hex, "9c1185a5c5e9fc54612808977ee8f548b2258d31");
    ripemd160_hex("abc", 3, hex);
    EXPECT_STREQ(hex, "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc");
    // Incremental updates give the same digest as one call.
    std::string msg = "message digest";
    Ripemd160 r;
    ripemd160_init(&r);
    ripemd160_update(&r, msg.data(), 3);
    ripemd160_update(&r, msg.data() + 3, msg.size() - 3);
    uint8_t d[20];
    ripemd160_final(&r, d);
    digest_hex(d, hex);
    EXPECT_STREQ(hex, "5d0689ef49d2fae572b881b123a85ffa21595f36");
}

TEST(Random, IsThePublishedMersenneTwister) {
    random_seed(5489);
    EXPECT_EQ(random_next(), 3499211612u);
    random_seed(1);
    uint32_t first = random_next();
    random_seed(1);
    EXPECT_EQ(random_next(), first);
    double u = random_unit();
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
}

}  // namespace
