// gr_mkdata: writes the game's data archives.
//
//   gr_mkdata --out DIR [--preview DIR]
//
// Everything is generated from code with fixed seeds, so every run writes
// the same bytes. The archives go into DIR; "zzzz.saf" marks the data as the
// game's own. With --preview, top-down renders and notes on each course go
// into that folder (they are not part of the data).
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "mkdata/mkdata.h"

int main(int argc, char** argv) {
    std::string out, preview;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--out") && i + 1 < argc) out = argv[++i];
        else if (!strcmp(argv[i], "--preview") && i + 1 < argc) preview = argv[++i];
        else {
            fprintf(stderr, "usage: gr_mkdata --out DIR [--preview DIR]\n");
            return 2;
        }
    }
    if (out.empty()) {
        fprintf(stderr, "usage: gr_mkdata --out DIR [--preview DIR]\n");
        return 2;
    }
    mkdir(out.c_str(), 0777);
    if (!preview.empty()) mkdir(preview.c_str(), 0777);

    mkdata::DataTree tree;
    tree.add_text("zzzz.saf", "gravelrun-data.txt", "Gravelrun game data 1\n");
    mkdata::make_shapes(tree);
    mkdata::make_models(tree);
    mkdata::make_textures(tree);
    if (!mkdata::make_tracks(tree, mkdata::Preview{preview})) return 1;
    if (!mkdata::write_archives(tree, out)) return 1;
    return 0;
}
