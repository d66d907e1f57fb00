// The fixed robot roster and the personality table.
#include <cstring>

#include "data/data.h"
#include "robots/robots.h"

namespace gr {

const Personality personalities[PERSONALITY_COUNT] = {
    {"", 0, 0, 0, 0, 0},  // not a robot
    {"flint", 0, 0, 1.0f, 0.2f, 0.4f},
    {"ember", 2, 1, 10.0f, 0.2f, 0.4f},
    {"slate", 1, 0, 10.0f, 0.0f, 0.1f},
    {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};

int personality_index(const char* name) {
    for (int i = 1; i < PERSONALITY_COUNT; i++)
        if (name && !strcmp(personalities[i].name, name)) return i;
    log_printf("auto pilot personality '%s' not found\n", name ? name : "");
    return 1;
}

namespace {

#define BODY(n) "@rider_body-alt" #n ".png"
#define HEAD(n) "@rider_head-alt" #n ".png"
#define WHEELS(n) "@wheels-alt" #n ".png"

}  // namespace

// 20-39: ember on the two-stroke 125s, five each; 40-59 flint and 60-79
// ember on 250 four-strokes; 80-99 slate on 250 four-strokes in full custom
// graphics.
const RosterEntry roster[ROSTER_SIZE] = {
    {"20", "ember", "cr125", BODY(1), HEAD(1), nullptr, WHEELS(1)},
    {"21", "ember", "cr125", BODY(2), HEAD(2), nullptr, nullptr},
    {"22", "ember", "cr125", BODY(3), HEAD(3), nullptr, WHEELS(2)},
    {"23", "ember", "cr125", nullptr, nullptr, nullptr, nullptr},
    {"24", "ember", "cr125", BODY(1), HEAD(2), nullptr, WHEELS(1)},
    {"25", "ember", "kx125", BODY(2), HEAD(3), nullptr, nullptr},
    {"26", "ember", "kx125", BODY(3), HEAD(1), nullptr, WHEELS(2)},
    {"27", "ember", "kx125", nullptr, nullptr, nullptr, nullptr},
    {"28", "ember", "kx125", BODY(1), HEAD(3), nullptr, WHEELS(1)},
    {"29", "ember", "kx125", BODY(2), HEAD(1), nullptr, nullptr},
    {"30", "ember", "rm125", BODY(3), HEAD(2), nullptr, WHEELS(2)},
    {"31", "ember", "rm125", nullptr, nullptr, nullptr, nullptr},
    {"32", "ember", "rm125", BODY(1), HEAD(1), nullptr, WHEELS(1)},
    {"33", "ember", "rm125", BODY(2), HEAD(2), nullptr, nullptr},
    {"34", "ember", "rm125", BODY(3), HEAD(3), nullptr, WHEELS(2)},
    {"35", "ember", "yz125", nullptr, nullptr, nullptr, nullptr},
    {"36", "ember", "yz125", BODY(1), HEAD(2), nullptr, WHEELS(1)},
    {"37", "ember", "yz125", BODY(2), HEAD(3), nullptr, nullptr},
    {"38", "ember", "yz125", BODY(3), HEAD(1), nullptr, WHEELS(2)},
    {"39", "ember", "yz125", nullptr, nullptr, nullptr, nullptr},
    {"40", "flint", "crf250(2016)", BODY(1), HEAD(1), nullptr, WHEELS(1)},
    {"41", "flint", "kx250f(2016)", BODY(2), HEAD(2), nullptr, nullptr},
    {"42", "flint", "rmz250(2016)", BODY(3), HEAD(3), nullptr, WHEELS(2)},
    {"43", "flint", "yz250f(2016)", nullptr, nullptr, nullptr, nullptr},
    {"44", "flint", "250sxf(2016)", BODY(1), HEAD(2), nullptr, WHEELS(1)},
    {"45", "flint", "crf250(2013)", BODY(2), HEAD(3), nullptr, nullptr},
    {"46", "flint", "kx250f(2013)", BODY(3), HEAD(1), nullptr, WHEELS(2)},
    {"47", "flint", "rmz250(2013)", nullptr, nullptr, nullptr, nullptr},
    {"48", "flint", "yz250f(2013)", BODY(1), HEAD(3), nullptr, WHEELS(1)},
    {"49", "flint", "250sxf(2013)", BODY(2), HEAD(1), nullptr, nullptr},
    {"50", "flint", "crf250(2016)", BODY(3), HEAD(2), nullptr, WHEELS(2)},
    {"51", "flint", "kx250f(2016)", nullptr, nullptr, nullptr, nullptr},
    {"52", "flint", "rmz250(2016)", BODY(1), HEAD(1), nullptr, WHEELS(1)},
    {"53", "flint", "yz250f(2016)", BODY(2), HEAD(2), nullptr, nullptr},
    {"54", "flint", "250sxf(2016)", BODY(3), HEAD(3), nullptr, WHEELS(2)},
    {"55", "flint", "crf250(2013)", nullptr, nullptr, nullptr, nullptr},
    {"56", "flint", "kx250f(2013)", BODY(1), HEAD(2), nullptr, WHEELS(1)},
    {"57", "flint", "rmz250(2013)", BODY(2), HEAD(3), nullptr, nullptr},
    {"58", "flint", "yz250f(2013)", BODY(3), HEAD(1), nullptr, WHEELS(2)},
    {"59", "flint", "250sxf(2013)", nullptr, nullptr, nullptr, nullptr},
    {"60", "ember", "crf250(2016)", BODY(1), HEAD(3), nullptr, WHEELS(1)},
    {"61", "ember", "kx250f(2016)", BODY(2), HEAD(1), nullptr, nullptr},
    {"62", "ember", "rmz250(2016)", BODY(3), HEAD(2), nullptr, WHEELS(2)},
    {"63", "ember", "yz250f(2016)", nullptr, nullptr, nullptr, nullptr},
    {"64", "ember", "250sxf(2016)", BODY(1), HEAD(1), nullptr, WHEELS(1)},
    {"65", "ember", "crf250(2009)", BODY(2), HEAD(2), nullptr, nullptr},
    {"66", "ember", "kx250f(2009)", BODY(3), HEAD(3), nullptr, WHEELS(2)},
    {"67", "ember", "rmz250(2009)", nullptr, nullptr, nullptr, nullptr},
    {"68", "ember", "yz250f(2009)", BODY(1), HEAD(2), nullptr, WHEELS(1)},
    {"69", "ember", "250sxf(2009)", BODY(2), HEAD(3), nullptr, nullptr},
    {"70", "ember", "crf250(2016)", BODY(3), HEAD(1), nullptr, WHEELS(2)},
    {"71", "ember", "kx250f(2016)", nullptr, nullptr, nullptr, nullptr},
    {"72", "ember", "rmz250(2016)", BODY(1), HEAD(3), nullptr, WHEELS(1)},
    {"73", "ember", "yz250f(2016)", BODY(2), HEAD(1), nullptr, nullptr},
    {"74", "ember", "250sxf(2016)", BODY(3), HEAD(2), nullptr, WHEELS(2)},
    {"75", "ember", "crf250(2009)", nullptr, nullptr, nullptr, nullptr},
    {"76", "ember", "kx250f(2009)", BODY(1), HEAD(1), nullptr, WHEELS(1)},
    {"77", "ember", "rmz250(2009)", BODY(2), HEAD(2), nullptr, nullptr},
    {"78", "ember", "yz250f(2009)", BODY(3), HEAD(3), nullptr, WHEELS(2)},
    {"79", "ember", "250sxf(2009)", nullptr, nullptr, nullptr, nullptr},
    {"80", "slate", "crf250(2016)", BODY(1), HEAD(1), "@crf250-alt1.png", WHEELS(1)},
    {"81", "slate", "kx250f(2016)", BODY(2), HEAD(2), "@kx250f-alt1.png", WHEELS(2)},
    {"82", "slate", "rmz250(2016)", BODY(3), HEAD(3), "@rmz250-alt1.png", WHEELS(1)},
    {"83", "slate", "yz250f(2016)", BODY(1), HEAD(2), "@yz250f-alt1.png", WHEELS(2)},
    {"84", "slate", "250sxf(2016)", BODY(2), HEAD(3), "@250sxf-alt1.png", WHEELS(1)},
    {"85", "slate", "crf250(2016)", BODY(3), HEAD(1), "@crf250-alt2.png", WHEELS(2)},
    {"86", "slate", "kx250f(2016)", BODY(1), HEAD(3), "@kx250f-alt2.png", WHEELS(1)},
    {"87", "slate", "rmz250(2016)", BODY(2), HEAD(1), "@rmz250-alt2.png", WHEELS(2)},
    {"88", "slate", "yz250f(2016)", BODY(3), HEAD(2), "@yz250f-alt2.png", WHEELS(1)},
    {"89", "slate", "250sxf(2016)", BODY(1), HEAD(1), "@250sxf-alt2.png", WHEELS(2)},
    {"90", "slate", "crf250(2013)", BODY(2), HEAD(2), "@crf250-alt1.png", WHEELS(1)},
    {"91", "slate", "kx250f(2013)", BODY(3), HEAD(3), "@kx250f-alt1.png", WHEELS(2)},
    {"92", "slate", "rmz250(2013)", BODY(1), HEAD(2), "@rmz250-alt1.png", WHEELS(1)},
    {"93", "slate", "yz250f(2013)", BODY(2), HEAD(3), "@yz250f-alt1.png", WHEELS(2)},
    {"94", "slate", "250sxf(2013)", BODY(3), HEAD(1), "@250sxf-alt1.png", WHEELS(1)},
    {"95", "slate", "crf250(2013)", BODY(1), HEAD(3), "@crf250-alt2.png", WHEELS(2)},
    {"96", "slate", "kx250f(2013)", BODY(2), HEAD(1), "@kx250f-alt2.png", WHEELS(1)},
    {"97", "slate", "rmz250(2013)", BODY(3), HEAD(2), "@rmz250-alt2.png", WHEELS(2)},
    {"98", "slate", "yz250f(2013)", BODY(1), HEAD(1), "@yz250f-alt2.png", WHEELS(1)},
    {"99", "slate", "250sxf(2013)", BODY(2), HEAD(2), "@250sxf-alt2.png", WHEELS(2)},
};

}  // namespace gr
