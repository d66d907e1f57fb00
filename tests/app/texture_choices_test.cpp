// Texture choice lists built from the data file names.
#include "app_test_support.h"

using namespace gr;
using apptest::AppTest;

namespace {

class TextureChoicesTest : public AppTest {};

TEST_F(TextureChoicesTest, PngAndScrambledPngFilesWithThePrefix) {
    data_file("rider_body-blue.png");
    data_file("rider_body-blue.png.scram");  // the same texture once more
    data_file("gear/rider_body-red.png.scram");
    data_file("rider_body-green_norm.png");
    data_file("rider_body-green_spec.png.scram");
    data_file("rider_body-white.png.gz");
    data_file("xrider_body-black.png");
    data_file("rider_head-blue.png");
    data_file("pack.saf", grtest::saf_bytes({{"rider_body-camo.png", "png"}}));

    TextureChoices c = texture_choices("rider_body-");
    EXPECT_EQ(c.names, (std::vector<std::string>{"default", "red", "blue", "camo"}));
    EXPECT_EQ(c.files, (std::vector<std::string>{"", "@gear/rider_body-red.png",
                                                 "@rider_body-blue.png", "@rider_body-camo.png"}));

    texture_lists_rebuild();
    EXPECT_TRUE(setting_set_choice(&settings.rider_texture, "blue"));
    EXPECT_FALSE(setting_set_choice(&settings.rider_texture, "green"));
    EXPECT_EQ(settings.head_texture.choices, (std::vector<std::string>{"default", "blue"}));
    EXPECT_EQ(settings.wheel_texture.choices, (std::vector<std::string>{"default"}));
}

}  // namespace
