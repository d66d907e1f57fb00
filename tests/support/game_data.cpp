// Racing on the generated game data in tests.
#include "support/game_data.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "robots/robots.h"

namespace grtest {

TestDirs* use_game_data(const char* track) {
    TestDirs* dirs = new TestDirs(make_test_dirs());
    setenv("GR_HOME", std::filesystem::current_path().c_str(), 1);
    gr::data_free();
    gr::settings_reset();
    gr::app_lists.tracks = gr::build_track_list();
    for (size_t i = 0; i < gr::app_lists.tracks.size(); i++)
        if (gr::app_lists.tracks[i].dir == track) gr::app_lists.current_track = int(i);
    gr::physics_world_create();
    return dirs;
}

void release_game_data(TestDirs* dirs) {
    gr::race_free();
    gr::robot_driver = nullptr;
    gr::model_free_stale(true);
    gr::texture_free_stale(true);
    gr::collision_shape_cache_clear();
    gr::app_lists = gr::AppLists{};
    remove_test_dirs(*dirs);
    delete dirs;
}

}  // namespace grtest
