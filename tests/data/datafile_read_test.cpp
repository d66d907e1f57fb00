// Reading DataFile streams: formatted input, comments, gzip edge cases and
// hostile headers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "data/data.h"
#include "support/test_dirs.h"

using namespace gr;

namespace {

class DataFileReadTest : public ::testing::Test {
protected:
    void SetUp() override { dirs = grtest::make_test_dirs(); }
    void TearDown() override { grtest::remove_test_dirs(dirs); }

    // Opens `bytes` as a data file; the name decides how it is decoded.
    DataFile* open_bytes(const std::string& bytes, const char* name = "f") {
        grtest::write_file(dirs.program + name, bytes);
        return file_open((std::string("@") + name).c_str(), "rb");
    }
    std::string rest(DataFile* f) {
        std::string s;
        for (int c; (c = file_getc(f)) >= 0;) s += char(c);
        return s;
    }
    grtest::TestDirs dirs;
};

TEST_F(DataFileReadTest, ScanfConversions) {
    DataFile* f = open_bytes("  -42 0x1f 017 ff 3.5e2 word [set]x 77abc %Z\nline\n");
    ASSERT_NE(f, nullptr);
    int d = 0, i = 0, n = 0;
    unsigned o = 0, x = 0;
    float fl = 0;
    char s[16], set[16], c = 0;
    EXPECT_EQ(file_scanf(f, "%d %x %i %x %f %15s [%15[a-z]]%c", &d, &x, &i, &o, &fl, s, set, &c), 8);
    EXPECT_EQ(d, -42);
    EXPECT_EQ(x, 0x1fu);
    EXPECT_EQ(i, 15);  // octal through %i
    EXPECT_EQ(o, 0xffu);
    EXPECT_FLOAT_EQ(fl, 350.0f);
    EXPECT_STREQ(s, "word");
    EXPECT_STREQ(set, "set");
    EXPECT_EQ(c, 'x');
    long long big = 0;
    short sh = 0;
    EXPECT_EQ(file_scanf(f, "%lld%n", &big, &n), 1);
    EXPECT_EQ(big, 77);
    EXPECT_EQ(n, 3);  // " 77" from where the call started
    EXPECT_EQ(file_scanf(f, "%*s %%Z %hd", &sh), 0);  // "line" is no number
    EXPECT_EQ(rest(f), "line\n");
    file_close(f);
}

TEST_F(DataFileReadTest, ScanfFailuresAndLiterals) {
    DataFile* f = open_bytes("abc 12 ,7");
    ASSERT_NE(f, nullptr);
    int v = 5;
    EXPECT_EQ(file_scanf(f, "%d", &v), 0);  // matching failure: nothing assigned
    EXPECT_EQ(v, 5);
    EXPECT_EQ(file_getc(f), 'a');  // the failed character is still there
    EXPECT_EQ(file_scanf(f, "bc %d;", &v), -1);  // a literal that does not match
    EXPECT_EQ(v, 12);
    EXPECT_EQ(file_scanf(f, " ,%d", &v), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(file_scanf(f, "%d", &v), -1);  // end of input
    file_close(f);
}

TEST_F(DataFileReadTest, ScanfFieldWidthsStopAtTheBufferLimit) {
    std::string longword(5000, 'w');
    DataFile* f = open_bytes(longword + " 123456789");
    ASSERT_NE(f, nullptr);
    char buf[10];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(file_scanf(f, "%9s", buf), 1);
    EXPECT_EQ(std::string(buf), "wwwwwwwww");
    char one[4] = "###";
    EXPECT_EQ(file_scanf(f, "%3c", one), 1);
    EXPECT_EQ(std::string(one, 3), "www");
    EXPECT_EQ(file_scanf(f, "%*[w]"), 0);
    int a = 0, b = 0;
    EXPECT_EQ(file_scanf(f, "%4d%d", &a, &b), 2);
    EXPECT_EQ(a, 1234);
    EXPECT_EQ(b, 56789);
    file_close(f);

    // A number longer than any buffer is consumed whole and saturates.
    f = open_bytes(std::string(3000, '9') + " 1");
    ASSERT_NE(f, nullptr);
    long long huge = 0;
    EXPECT_EQ(file_scanf(f, "%lld %d", &huge, &a), 2);
    EXPECT_EQ(huge, LLONG_MAX);
    EXPECT_EQ(a, 1);
    file_close(f);
}

TEST_F(DataFileReadTest, ReadIntAndComments) {
    DataFile* f = open_bytes("# header\n\n   # indented\n#\n 17\nname 3\n");
    ASSERT_NE(f, nullptr);
    file_skip_comments(f);
    EXPECT_EQ(file_read_int(f), 17);
    EXPECT_EQ(file_read_int(f), INT_MIN);
    char word[8];
    EXPECT_EQ(file_scanf(f, "%7s", word), 1);
    EXPECT_STREQ(word, "name");
    EXPECT_EQ(file_read_int(f), 3);
    EXPECT_EQ(file_read_int(f), INT_MIN);
    file_close(f);
}

TEST_F(DataFileReadTest, GetsPeekAndPushback) {
    DataFile* f = open_bytes("ab\ncdefgh\nlast");
    ASSERT_NE(f, nullptr);
    char buf[5];
    EXPECT_EQ(file_peekc(f), 'a');
    EXPECT_EQ(file_peekc(f), 'a');
    EXPECT_EQ(f->position, 0);
    ASSERT_NE(file_gets(f, buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "ab\n");
    ASSERT_NE(file_gets(f, buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "cdef");
    EXPECT_EQ(file_peekc(f), 'g');
    char big[16];
    EXPECT_EQ(file_read(f, big, sizeof big), 7u);
    EXPECT_EQ(std::string(big, 7), "gh\nlast");
    EXPECT_EQ(file_gets(f, buf, sizeof buf), nullptr);
    file_close(f);
}

TEST_F(DataFileReadTest, TruncatedAndCorruptGzipEndCleanly) {
    std::string text;
    for (int i = 0; i < 20000; i++) text += char('A' + (i * 7) % 23);
    std::string gz = grtest::gzip_bytes(text);

    grtest::write_file(dirs.program + "half.gz", gz.substr(0, gz.size() / 2));
    DataFile* f = file_open("@half", "rb");
    ASSERT_NE(f, nullptr);
    std::string got = rest(f);
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size()));
    EXPECT_EQ(file_getc(f), -1);
    file_close(f);

    std::string corrupt = gz;
    for (size_t i = 20; i < corrupt.size() - 8; i += 3) corrupt[i] = char(corrupt[i] ^ 0x5a);
    grtest::write_file(dirs.program + "corrupt.gz", corrupt);
    f = file_open("@corrupt", "rb");
    ASSERT_NE(f, nullptr);
    char buf[4096];
    size_t total = 0, n;
    while ((n = file_read(f, buf, sizeof buf)) > 0) total += n;
    EXPECT_LE(total, 1u << 20);
    EXPECT_EQ(file_getc(f), -1);
    file_close(f);
}

TEST_F(DataFileReadTest, BadGzipHeadersFailToOpen) {
    std::string gz = grtest::gzip_bytes("payload");
    std::string lying_extra = gz.substr(0, 10);
    lying_extra[3] = 0x04;  // an extra field whose length runs far past the data
    lying_extra += std::string("\xff\xff", 2) + "xx";
    std::string unterminated_name = gz.substr(0, 10);
    unterminated_name[3] = 0x08;
    unterminated_name += std::string(40, 'n');
    std::string bad_flags = gz;
    bad_flags[3] = char(0x20);
    std::string bad_method = gz;
    bad_method[2] = 7;
    const std::string cases[] = {"", "\x1f", "\x1f\x8b\x08", lying_extra, unterminated_name, bad_flags, bad_method,
                                 "not gzip at all"};
    int k = 0;
    for (const std::string& c : cases) {
        std::string name = "bad" + std::to_string(k++);
        grtest::write_file(dirs.program + name + ".gz", c);
        EXPECT_EQ(file_open(("@" + name).c_str(), "rb"), nullptr) << name;
    }
    // The header fields the reader must skip, all present.
    std::string full = gz.substr(0, 10);
    full[3] = 0x1e;  // header check, extra, name, comment
    full += std::string("\x03\x00", 2) + "abc" + "name" + '\0' + "comment" + '\0' + std::string("\0\0", 2) +
            gz.substr(10);
    grtest::write_file(dirs.program + "hdr.gz", full);
    DataFile* f = file_open("@hdr", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rest(f), "payload");
    file_close(f);
}

}  // namespace
