// Shared pieces of the application-core tests: a fixture with private
// directories and fresh settings, and small lookups by configuration key.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/app.h"
#include "data/data.h"
#include "support/test_dirs.h"

namespace apptest {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        gr::settings_reset();
        gr::app_state = gr::AppState{};
    }
    void TearDown() override { grtest::remove_test_dirs(dirs); }

    // A file in the program directory (what GR_HOME names).
    void data_file(const std::string& name, const std::string& bytes = "x") {
        grtest::write_file(dirs.program + name, bytes);
    }
    std::string home_file(const std::string& name) { return grtest::read_file(dirs.home + name); }

    grtest::TestDirs dirs;
};

// The entry of a configuration key, general or bike.
inline const gr::ConfigKey* config_key(const char* key) {
    for (const auto* table : {&gr::general_keys(), &gr::bike_keys()})
        for (const gr::ConfigKey& k : *table)
            if (strcmp(k.key, key) == 0) return &k;
    return nullptr;
}

// The value of a key as the file would hold it.
inline std::string value_of(const char* key) {
    const gr::ConfigKey* k = config_key(key);
    if (!k) return "<no such key>";
    if (k->integer) return std::to_string(*k->integer);
    return gr::setting_value_text(*k->setting);
}

// The newest line of the on-screen message list.
inline std::string last_message() {
    return gr::messages.lines[(gr::messages.next + gr::MESSAGE_RING - 1) % gr::MESSAGE_RING];
}

}  // namespace apptest
