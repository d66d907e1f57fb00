// Bike setup files under "@setups/": writing the bike block alone, applying
// only bike keys back, and the answers shown for each case.
#include <filesystem>

#include "app_test_support.h"

using namespace gr;
using apptest::AppTest;
using apptest::last_message;
using apptest::value_of;

namespace {

class SetupFileTest : public AppTest {};

TEST_F(SetupFileTest, WriteHoldsOnlyTheBikeBlockAndReadBringsItBack) {
    config_apply_line("bike=cr125\n");
    config_apply_line("stability=50\n");
    config_apply_line("roll_damping=12\n");
    config_apply_line("name=Sam\n");
    ASSERT_TRUE(setup_file_write("mine"));
    EXPECT_EQ(last_message(), "Setup written");

    std::string text = home_file("setups/mine");
    EXPECT_EQ(text.rfind("bike=cr125\nname=Sam\n", 0), 0u);
    EXPECT_EQ(text.find("xres="), std::string::npos);
    EXPECT_EQ(text.find("throttle_key="), std::string::npos);
    EXPECT_NE(text.find("roll_damping=12.000000\n"), std::string::npos);

    settings_reset();
    ASSERT_TRUE(setup_file_read("mine"));
    EXPECT_EQ(last_message(), "Setup updated");
    EXPECT_EQ(value_of("bike"), "cr125");
    EXPECT_EQ(value_of("name"), "Sam");
    EXPECT_EQ(value_of("stability"), "50.000000");
    EXPECT_EQ(value_of("roll_damping"), "12.000000");  // after the preset line
    EXPECT_EQ(value_of("restricted_lock"), "7.500000");
}

TEST_F(SetupFileTest, ReadIgnoresKeysOutsideTheBikeBlock) {
    grtest::write_file(dirs.home + "setups/mixed",
                       "xres=1\nlaps=9\nthrottle_key=(k)q\nnumber=42\r\nnonsense\n");
    ASSERT_TRUE(setup_file_read("mixed"));
    EXPECT_EQ(value_of("xres"), "640");
    EXPECT_EQ(value_of("laps"), "5.000000");
    EXPECT_EQ(value_of("throttle_key"), "(k)x");
    EXPECT_EQ(value_of("number"), "42");
}

TEST_F(SetupFileTest, FailuresSayWhatHappened) {
    EXPECT_FALSE(setup_file_read("missing"));
    EXPECT_EQ(last_message(), "Error reading setup");

    // A name never reaches outside "@setups/": this would replace "@config".
    grtest::write_file(dirs.home + "config", "xres=800\n");
    EXPECT_FALSE(setup_file_write("../config"));
    EXPECT_EQ(last_message(), "Error writing setup");
    EXPECT_EQ(home_file("config"), "xres=800\n");
    EXPECT_FALSE(setup_file_read("../config"));
    EXPECT_EQ(last_message(), "Error reading setup");
    EXPECT_FALSE(setup_file_write(""));

    // A write that cannot complete is not reported as written.
    grtest::write_file(dirs.home + "setups/taken/keep", "mine");
    EXPECT_FALSE(setup_file_write("taken"));
    EXPECT_EQ(last_message(), "Error writing setup");
    EXPECT_EQ(grtest::read_file(dirs.home + "setups/taken/keep"), "mine");

    // Sub-folders are fine.
    EXPECT_TRUE(setup_file_write("mx/fast"));
    EXPECT_TRUE(std::filesystem::exists(dirs.home + "setups/mx/fast"));
}

}  // namespace
