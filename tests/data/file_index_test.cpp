// Search directories, the file index and ".saf" archives.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/data.h"
#include "support/test_dirs.h"

using namespace gr;
using grtest::saf_bytes;
using grtest::write_file;

namespace {

class FileIndexTest : public ::testing::Test {
protected:
    void SetUp() override { dirs = grtest::make_test_dirs(); }
    void TearDown() override { grtest::remove_test_dirs(dirs); }

    std::string read_all(const char* name) {
        DataFile* f = file_open(name, "rb");
        if (!f) return "<missing>";
        std::string s;
        for (int c; (c = file_getc(f)) >= 0;) s += char(c);
        file_close(f);
        return s;
    }
    bool listed(const char* name) {
        for (const char* const* n = file_list(); *n; n++)
            if (std::string(*n) == name) return true;
        return false;
    }
    grtest::TestDirs dirs;
};

TEST_F(FileIndexTest, SearchDirectoriesAreHomeThenGrHomeOnly) {
    EXPECT_EQ(std::string(data_dir(0)), dirs.home);
    EXPECT_EQ(std::string(data_dir(1)), dirs.program);
    EXPECT_EQ(data_dir(2), nullptr);
    EXPECT_STREQ(home_dir(), data_dir(0));
}

TEST_F(FileIndexTest, DirectoryNamesAreNormalised) {
    setenv("GR_HOME", (dirs.root + "\\\\program//").c_str(), 1);
    data_free();
    EXPECT_EQ(std::string(data_dir(1)), dirs.root + "/program/");
}

TEST_F(FileIndexTest, WriteOpenLandsInHomeAndCreatesIt) {
    ASSERT_FALSE(std::filesystem::exists(dirs.home));
    DataFile* f = file_open("@config", "w");
    ASSERT_NE(f, nullptr);
    file_puts(f, "xres 800\n");
    file_close(f);
    EXPECT_EQ(grtest::read_file(dirs.home + "config"), "xres 800\n");
    EXPECT_FALSE(std::filesystem::exists(dirs.program + "config"));
}

TEST_F(FileIndexTest, HomeWinsOverProgramAndArchives) {
    write_file(dirs.program + "a.saf", saf_bytes({{"track/desc", "archive a"}, {"only_a", "A"}}));
    write_file(dirs.program + "b.saf", saf_bytes({{"track/desc", "archive b"}, {"only_b", "B"}, {"only_a", "from b"}}));
    write_file(dirs.program + "track/desc", "program");
    write_file(dirs.home + "track/desc", "home");
    EXPECT_EQ(read_all("@track/desc"), "home");
    std::filesystem::remove(dirs.home + "track/desc");
    EXPECT_EQ(read_all("@track/desc"), "program");
    // The archive that sorts first wins over later archives.
    EXPECT_EQ(read_all("@only_a"), "A");
    EXPECT_EQ(read_all("@only_b"), "B");
}

TEST_F(FileIndexTest, GzipMemberInOtherCaseOpensAndInflates) {
    std::string text(5000, 'x');
    for (size_t i = 0; i < text.size(); i++) text[i] = char('a' + i % 26);
    write_file(dirs.program + "data.saf", saf_bytes({{"Tracks/RedMesa/DESC.gz", grtest::gzip_bytes(text)}}));
    EXPECT_EQ(read_all("@tracks/redmesa/desc"), text);
}

TEST_F(FileIndexTest, ScrambledMembersAndFilesRead) {
    std::string plain = "scrambled member text\nline two\n";
    std::string s1 = plain;
    scramble_bytes(reinterpret_cast<uint8_t*>(s1.data()), s1.size(), 0);
    std::string s2 = grtest::gzip_bytes(plain);
    scramble_bytes(reinterpret_cast<uint8_t*>(s2.data()), s2.size(), 0);
    ASSERT_NE(s1, plain);
    write_file(dirs.program + "s.saf", saf_bytes({{"pad", "0123456789"}, {"one.scram", s1}, {"two.gz.scram", s2}}));
    write_file(dirs.program + "loose.gz.scram", s2);
    EXPECT_EQ(read_all("@one"), plain);
    EXPECT_EQ(read_all("@two"), plain);
    EXPECT_EQ(read_all("@loose"), plain);
    DataFile* f = file_open("@one", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(file_is_scrambled(f));
    EXPECT_FALSE(file_seek(f, 0));
    file_close(f);
}

TEST_F(FileIndexTest, MalformedArchivesContributeNothing) {
    struct Case { const char* file; std::string bytes; };
    const Case cases[] = {
        {"nodash.saf", "3 a1\n3 a2\nabcdef"},
        {"nonumber.saf", "3 b1\nxx b2\n-\nabcdef"},
        {"nolf.saf", "3 c1\n3 c2"},
        {"negative.saf", "3 d1\n-3 d2\n-\nabc"},
        {"huge.saf", "3 e1\n99999999999999999999 e2\n-\nabc"},
        {"longline.saf", "3 f1\n3 " + std::string(1100, 'f') + "\n-\nabcdef"},
        {"overflow.saf", "2147483647 g1\n2147483647 g2\n-\nab"},
    };
    for (const Case& c : cases) write_file(dirs.program + c.file, c.bytes);
    write_file(dirs.program + "good.saf", "3 ok\n-\nyes");
    for (const char* name : {"a1", "a2", "b1", "c1", "d1", "e1", "f1", "g1", "g2"}) {
        EXPECT_FALSE(listed(name)) << name;
        EXPECT_EQ(file_open((std::string("@") + name).c_str(), "rb"), nullptr) << name;
    }
    EXPECT_EQ(read_all("@ok"), "yes");
}

TEST_F(FileIndexTest, MemberSizesBoundReading) {
    // The first member must not read into the second; the last member's
    // listed size runs past the end of the archive and reads short.
    write_file(dirs.program + "m.saf", "0 empty\n4 first\n100 last\n-\nAAAABBBB");
    EXPECT_EQ(read_all("@empty"), "");
    EXPECT_EQ(read_all("@first"), "AAAA");
    EXPECT_EQ(read_all("@last"), "BBBB");

    DataFile* f = file_open("@first", "rb");
    ASSERT_NE(f, nullptr);
    char buf[64];
    EXPECT_EQ(file_read(f, buf, sizeof buf), 4u);
    EXPECT_EQ(file_read(f, buf, sizeof buf), 0u);
    EXPECT_TRUE(file_seek(f, 2));
    EXPECT_EQ(file_getc(f), 'A');
    EXPECT_FALSE(file_seek(f, 4));
    file_close(f);

    DataFile* e = file_open("@empty", "rb");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(file_getc(e), -1);
    EXPECT_EQ(file_gets(e, buf, sizeof buf), nullptr);
    file_close(e);
}

TEST_F(FileIndexTest, NameListIsSortedDistinctAndDescribed) {
    write_file(dirs.home + "Beta", "h");
    write_file(dirs.program + "beta", "p");
    write_file(dirs.program + "alpha", "p");
    write_file(dirs.program + "x.saf", saf_bytes({{"gamma//deep", "g"}, {"ALPHA", "a"}}));
    std::vector<std::string> names;
    for (const char* const* n = file_list(); *n; n++) names.push_back(*n);
    // The lowest-priority entry decides the spelling of each name.
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "gamma/deep", "x.saf"}));
    EXPECT_EQ(file_list_count(), 4);

    char buf[512];
    ASSERT_TRUE(file_describe(0, buf, sizeof buf));
    EXPECT_EQ(std::string(buf), "alpha -> " + dirs.program + "alpha");
    ASSERT_TRUE(file_describe(1, buf, sizeof buf));
    EXPECT_EQ(std::string(buf), "ALPHA -> " + dirs.program + "x.saf");
    char small[6];
    ASSERT_TRUE(file_describe(1, small, sizeof small));
    EXPECT_STREQ(small, "ALPHA");
    ASSERT_TRUE(file_describe(5, buf, sizeof buf));
    EXPECT_FALSE(file_describe(6, buf, sizeof buf));
}

TEST_F(FileIndexTest, LooseFileInOtherCaseIsFoundThroughTheIndex) {
    write_file(dirs.program + "Bikes/KX.txt", "kx");
    EXPECT_EQ(read_all("@bikes/kx.txt"), "kx");
}

TEST_F(FileIndexTest, ReplaceCommitsWholeOrNotAtAll) {
    write_file(dirs.home + "config", "old\n");
    DataFile* f = file_replace_open("@config");
    ASSERT_NE(f, nullptr);
    file_puts(f, "new\n");
    // Until the commit, the old file stands and the new text is elsewhere.
    EXPECT_EQ(grtest::read_file(dirs.home + "config"), "old\n");
    EXPECT_TRUE(std::filesystem::exists(dirs.home + "config.tmp"));
    EXPECT_TRUE(file_replace_commit(f, "@config"));
    EXPECT_EQ(grtest::read_file(dirs.home + "config"), "new\n");
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config.tmp"));

    // A write that fails (a full device) leaves the old file as it was.
    f = file_replace_open("@config");
    ASSERT_NE(f, nullptr);
    fclose(f->file);
    f->file = fopen("/dev/full", "w");
    ASSERT_NE(f->file, nullptr);
    for (int i = 0; i < 10000; i++) file_puts(f, "lost text\n");
    EXPECT_FALSE(file_replace_commit(f, "@config"));
    EXPECT_EQ(grtest::read_file(dirs.home + "config"), "new\n");
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config.tmp"));

    f = file_replace_open("@config");
    ASSERT_NE(f, nullptr);
    file_puts(f, "abandoned\n");
    file_replace_abort(f, "@config");
    EXPECT_EQ(grtest::read_file(dirs.home + "config"), "new\n");
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config.tmp"));

    EXPECT_TRUE(file_rename("@config", "@config.bak"));
    EXPECT_EQ(grtest::read_file(dirs.home + "config.bak"), "new\n");
    EXPECT_FALSE(file_rename("@config", "@config.bak"));
}

}  // namespace
