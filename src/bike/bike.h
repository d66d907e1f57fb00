// The bike simulation: the compiled-in bike models, collision shapes, the
// live bike of seven rigid bodies and six joints in the one physics world,
// tyre and body contacts with the ground, suspension, engine, clutch,
// gearbox and brakes, and the numeric bike setup they read.
//
// Units are feet, seconds and slugs; forces in pounds-force, torques in
// pound-force feet. In a bike's own frame x is the axle direction, y is up
// and the bike faces -z. ODE runs in double precision.
#pragma once

#include <ode/ode.h>

#include <cstdint>

namespace gr {

struct ImageData;
struct Model;
struct Settings;
struct SurfaceType;
struct Terrain;

// ---------------------------------------------------------------------------
// Constants

inline constexpr double TICK = 1.0 / 128;     // simulation tick, seconds
inline constexpr double GRAVITY = 32;         // feet per second squared, along -y
inline constexpr double RPM_PER_RAD_S = 9.549296;  // rpm = rad/s * 60 / (2 pi)
inline constexpr double MPH_PER_FT_S = 15.0 / 22.0;

enum {
    BIKE_MODEL_COUNT = 55,
    TORQUE_POINTS = 50,      // torque table entries, 500 rpm apart
    GEAR_COUNT = 6,
    KNOCKOUT_DELAYS = 16,
    BIKE_NUMBER_CHARS = 7,
};

// Bike flags (first byte).
enum : uint8_t {
    BIKE_STEER_UNLOADED = 1 << 0,     // steering input acts while the front wheel is unloaded
    BIKE_WHEELIE_CUT_TORQUE = 1 << 1, // stop wheelies: no drive while the front wheel is up
    BIKE_WHEELIE_FREE_BRAKE = 1 << 2, // stop wheelies: front brake off while only the front touches
    BIKE_FRONT_ANTILOCK = 1 << 3,
    BIKE_REAR_ANTILOCK = 1 << 4,
    BIKE_AUTO_SHIFT = 1 << 5,
    BIKE_AUTO_DAB = 1 << 6,
    BIKE_REALIGN = 1 << 7,
};
// Bike flags (second byte).
enum : uint8_t { BIKE_ARCADE = 1 << 0 };

// The stop-wheelies mode (0..3) sits in bits 1-2 of the first flags byte.
inline int stop_wheelies_mode(uint8_t flags) { return (flags >> 1) & 3; }

// ---------------------------------------------------------------------------
// Bike models

// One bike model; compiled in. Positions are in the bike's frame as built.
struct BikeModel {
    const char* name;          // model key, as the setup's "bike" key writes it
    const char* engine_class;  // "450f", "250f", "250", "125" or "50"

    float front_wheel_pos[3];
    float front_ring_radius, front_tube_radius, front_rim_mass;
    float front_hub_radius, front_hub_mass;
    float rear_wheel_pos[3];
    float rear_ring_radius, rear_tube_radius, rear_rim_mass;
    float rear_hub_radius, rear_hub_mass;

    float frame_pos[3];
    float frame_mass;          // without the rider
    float frame_box[3];
    float steering_head_pos[3];
    float swingarm_pos[3];
    float swingarm_pivot[3];
    float lower_fork_pos[3];
    float fork_tube_spacing;
    float fork_length;
    float fork_mass;           // both tubes
    float fork_spring_min, fork_spring_max;
    float fork_preload_min, fork_preload_max;
    float fork_air_gap_min, fork_air_gap_max;
    float fork_damping[4];     // high/low-speed compression, high/low-speed rebound
    float fork_travel;
    float swingarm_arm_mass;   // each of the two arms
    float shock_spring_min, shock_spring_max;
    float shock_preload_min, shock_preload_max;
    float shock_damping[4];
    float linkage_mid, linkage_end;
    float swingarm_max_angle;
    float linkage_break;
    float linkage_slope[3];

    float primary_ratio;
    float front_sprocket, rear_sprocket;
    float gear_ratio[GEAR_COUNT];  // <= 0: the model lacks that gear
    float engine_inertia;
    float clutch_stiffness, clutch_damping;
    float closed_torque[TORQUE_POINTS];  // throttle shut, lbf ft at 500 k rpm
    float open_torque[TORQUE_POINTS];    // full throttle
    float shift_down_rpm, shift_up_rpm, redline_rpm;

    float rider_pos[3];
    float rider_mass;

    // Data files of the parts.
    const char* frame_model;
    const char* fork_upper_model;
    const char* fork_lower_model;
    const char* swingarm_model;
    const char* bike_texture;
    const char* side_plates_model;
    const char* front_plate_model;

    // Rider pose: left/right pairs of hand grips, foot pegs, hips and
    // shoulders, and the limb lengths upper arm, forearm, thigh, shin.
    float grip_pos[2][3];
    float peg_pos[2][3];
    float hip_pos[2][3];
    float shoulder_pos[2][3];
    float limb_length[4];
};

// The table, in menu order; the first model is the default.
const BikeModel* bike_models();

// Exact lookup; the last exact match wins. The old names "crf250",
// "kx250f", "rmz250" and "yz250f" stand for their 2008 models. Null when
// nothing matches.
const BikeModel* bike_model_exact(const char* name);

// Lookup with the fallback: a name containing "125" takes the first "125"
// model, anything else the first "250f" model (the default if even that
// fails), and the player is told which model stands in.
const BikeModel* bike_model_find(const char* name);

// Shared part files.
extern const char* const front_wheel_model_name;   // "@front_wheel.jm"
extern const char* const rear_wheel_model_name;
extern const char* const wheel_texture_name;       // "@wheels.png"
extern const char* const rider_head_model_name;
extern const char* const rider_head_texture_name;
extern const char* const rider_body_model_name;
extern const char* const rider_body_fp_model_name;
extern const char* const rider_body_texture_name;
extern const char* const rider_plate_model_name;

// ---------------------------------------------------------------------------
// Collision shapes

// One sphere of a shape: centre in the part's body frame, radius and the
// contact's friction and softness.
struct ShapeSphere {
    double centre[3];
    double radius;
    double friction;
    double stiffness;
    double damping;
    double world[3];  // centre in world coordinates, written each tick
};

// A part's collision spheres. Loaded shapes are cached by file name and
// never change; every user takes its own copy.
struct CollisionShape {
    int count = 0;
    ShapeSphere* spheres = nullptr;  // `count` records
    double bounding_radius = 0;      // largest |centre| + radius
};

// The cached shape of a ".shp" file, or null when it cannot be read or
// parsed (then the part has no collision).
const CollisionShape* collision_shape_load(const char* name);
// A private copy of a loaded shape (null for null); free with collision_shape_free.
CollisionShape* collision_shape_copy(const CollisionShape* shape);
void collision_shape_free(CollisionShape* shape);
// Empties the cache (the shapes handed out stay valid only until then).
void collision_shape_cache_clear();

// ---------------------------------------------------------------------------
// The physics world

// The one physics world (gravity (0, -32, 0)) and the contact group emptied
// after every step. Created by physics_world_create at start-up (after
// dInitODE2), destroyed by physics_world_destroy at shutdown.
struct PhysicsWorld {
    dWorldID world = nullptr;
    dJointGroupID contacts = nullptr;
};
extern PhysicsWorld physics;

void physics_world_create();
void physics_world_destroy();
// One quick step of one tick, then the contact group is emptied.
void physics_world_step();

// ---------------------------------------------------------------------------
// Wheel contacts

struct WheelContact {
    dBodyID body = nullptr;
    double axle[3] = {1, 0, 0};  // in the wheel's own frame
    double ring_radius = 0;
    double tube_radius = 0;
    double point[3] = {0, 0, 0};     // deepest contact this tick (world)
    double velocity[3] = {0, 0, 0};  // wheel material velocity there (the slip)
    double normal[3] = {0, 1, 0};    // out of the ground
    double depth = 0;                // > 0 when touching
    dJointFeedback feedback = {};
};

// ---------------------------------------------------------------------------
// The live bike

// Bookkeeping of the timing gates; kept by the lap code.
struct BikeLapState {
    int32_t gate_counter = 0;
    int32_t laps = 0;
    int32_t last_gate_tick = -1;
};

// Bookkeeping of a robot rider; kept by the robot code.
struct BikeRobotState {
    int32_t line_ids[4] = {-1, -1, -1, -1};
};

// One simulated foot of a crashed rider.
struct BikeFoot {
    double position[3] = {0, 0, 0};
    double velocity[3] = {0, 0, 0};
};

// One wheel sample for the ruts: where the wheel met the ground and the
// horizontal push of that contact, scaled by the wheel's speed.
struct ErosionSample {
    float x, z;
    float fx, fz;
};

// A ring of samples: empty when read == write, full when advancing write
// would reach read.
enum { EROSION_QUEUE_SIZE = 1024 };
struct ErosionQueue {
    ErosionSample samples[EROSION_QUEUE_SIZE];
    int32_t read = 0, write = 0;
};

// One per filled rider slot; made by build_bike, freed by free_bike.
struct Bike {
    BikeModel model;

    // Bodies.
    dBodyID frame = nullptr, front_wheel = nullptr, rear_wheel = nullptr;
    dBodyID fork_upper = nullptr, fork_lower = nullptr, swingarm = nullptr, rider = nullptr;

    // Joints and what each applied in the last step.
    dJointID front_axle = nullptr, rear_axle = nullptr, steering_head = nullptr;
    dJointID fork_slider = nullptr, swingarm_pivot = nullptr, rider_mount = nullptr;
    dJointFeedback front_axle_feedback = {}, rear_axle_feedback = {}, steering_head_feedback = {};
    dJointFeedback fork_slider_feedback = {}, swingarm_pivot_feedback = {}, rider_mount_feedback = {};

    WheelContact front_contact, rear_contact;

    // Rider inputs.
    float throttle = 0;      // 0..1
    float clutch = 0;        // engagement 0..1, 1 = fully engaged
    float front_brake = 0;   // 0..1
    float rear_brake = 0;    // 0..1
    float steering = 0;      // -1..1
    float sit_dab = 0;       // 0..1
    float foot_extension = 0;
    float back_up = 0;       // 0..1
    float lean_input = 0;    // -1..1, positive = backward
    int32_t gear = 0;        // 0 = first gear; there is no neutral
    int32_t last_shift = 0;  // -1, 0 or 1

    // Drivetrain.
    double crank_angle = 0;     // at the rear wheel's scale, -pi..pi
    double engine_speed = 0;    // radians per second
    double engine_inertia = 0;
    double sprocket_ratio = 0;

    // Suspension settings.
    double fork_compression = 0;       // high-speed coefficient
    double fork_slow_compression = 0;  // low-speed offset
    double fork_rebound = 0;
    double fork_slow_rebound = 0;
    double fork_spring = 0;
    double fork_preload = 0;
    double fork_air_gap = 0;
    double shock_compression = 0;
    double shock_slow_compression = 0;
    double shock_rebound = 0;
    double shock_slow_rebound = 0;
    double shock_spring = 0;
    double shock_preload = 0;
    double rider_yspring = 0, rider_ydamping = 0, rider_zspring = 0, rider_zdamping = 0;  // 0..1

    BikeLapState lap;
    BikeRobotState robot;

    // Riding-assist settings.
    double roll_damping = 0;
    double leveling = 0;
    double roll_limit_factor = 0;
    double roll_limit_angle = 0;    // radians
    double steering_damping = 0;
    double steering_strength = 0;
    double max_steering_force = 0;
    double direct_steering = 0;
    double slow_damping_speed = 0;
    double slow_damping_factor = 0;
    double land_damping_falloff = 0;
    double land_damping_factor = 0;
    double auto_clutch_rpm = 0;
    double front_brake_torque = 0;
    double rear_brake_torque = 0;
    double max_dab_speed = 0;       // feet per second
    double full_lock_speed = 0;
    double restricted_lock_speed = 0;
    double restricted_lock_angle = 0;  // radians

    // Parts: collision shapes (per-bike copies), models and textures.
    CollisionShape* frame_shape = nullptr;
    CollisionShape* fork_upper_shape = nullptr;
    CollisionShape* fork_lower_shape = nullptr;
    CollisionShape* swingarm_shape = nullptr;
    CollisionShape* front_wheel_shape = nullptr;
    CollisionShape* rear_wheel_shape = nullptr;
    CollisionShape* rider_shape = nullptr;
    Model* frame_model = nullptr;
    Model* fork_upper_model = nullptr;
    Model* fork_lower_model = nullptr;
    Model* swingarm_model = nullptr;
    Model* front_wheel_model = nullptr;
    Model* rear_wheel_model = nullptr;
    Model* rider_head_model = nullptr;
    Model* rider_body_model = nullptr;
    Model* rider_body_fp_model = nullptr;
    Model* side_plates_model = nullptr;
    Model* front_plate_model = nullptr;
    Model* rider_plate_model = nullptr;
    unsigned bike_texture = 0, wheel_texture = 0, rider_body_texture = 0, rider_head_texture = 0;
    unsigned plate_texture = 0;        // made by the renderer from the colours below
    uint8_t plate_background[3] = {255, 255, 255};
    uint8_t plate_foreground[3] = {0, 0, 0};
    char number[BIKE_NUMBER_CHARS + 1] = {};
    int32_t slot = -1;

    // Events.
    int32_t takeoff_tick = 0;
    int32_t landing_tick = 0;
    int32_t crash_timer = 0;        // ticks; > 0 while the rider is off the bike
    int32_t crash_count = 0;
    BikeFoot feet[2];
    double rider_velocity_ring[4][3] = {};
    double assist_timer = 0;
    double steering_lock_blend = 0;
    double landing_damping = 1;     // the landing-damping factor in force
    bool ground_touched = false;    // something other than a wheel touched the ground
    float presence = 1;             // 1 simulated; 0.25 or below: bodies disabled
    double collision_timer = 0;     // ticks; > 0 ran into a bike, < 0 was hit
    int32_t last_bike_contact_tick = -1;

    uint8_t flags = 0;
    uint8_t flags2 = 0;

    double total_mass = 0;          // of the seven bodies, summed at construction

    // Rider model and assists (kept by the rider and assist code).
    double rider_mass_distribution = 1.0 / 3;  // share of the rider's mass in the rider body
    double assist_blend = 0;        // 0..1: how far the front slides or the bars turn into the lean
    double setup_refused_time = -20;  // game-clock seconds of the last refused setup
    int32_t update_count = 0;       // bike updates since the last reset
    float sticky_dab_state = 0;     // the toggled sit/dab of "Sticky Sit/Dab"
    float last_dab_control = 0;     // the sit/dab control of the previous record
    bool reverse_steering = true;
    bool sticky_dab = false;
    bool lean_indicator = true;
    bool realign_done = false;      // realignment stood the bike up since it last fell

    // Ruts: wheel samples waiting to be turned into height changes.
    ErosionQueue erosion;
};

// Builds a bike of the named model (with the fallback) at the model's own
// positions. Texture names may be null or "" for the model's own.
Bike* build_bike(const char* model_name, int32_t slot, const char* number,
                 const char* rider_body_texture, const char* rider_head_texture,
                 const char* bike_texture, const char* wheel_texture);
// Destroys the bodies and joints and frees what the bike holds.
void free_bike(Bike* bike);

// Back to the model positions at rest: inputs, gear, drivetrain, lap and
// event state cleared, presence 1, rider mounted.
void reset_bike_pose(Bike* bike);
void move_bike(Bike* bike, double dx, double dy, double dz);
// Rotates all seven bodies about the world origin.
void rotate_bike(Bike* bike, const double axis[3], double angle);
double bike_total_mass(const Bike* bike);
// Puts d (0.33..0.5) of the rider's mass in the rider body, the rest in the frame.
void set_rider_mass_distribution(Bike* bike, double d);
// On: presence 1 and bodies enabled; off: presence 0 and bodies disabled.
void set_bike_presence(Bike* bike, bool on);

// Re-attaches the rider mount at the rider body's current place.
void attach_rider_mount(Bike* bike);

// The frame's roll angle: 0 upright, negative leaning toward its +x side.
double bike_lean(const Bike* bike);

// The number-plate colours from a texture's info text ("[numberbackground:
// r,g,b]", "[numberforeground:r,g,b]", components clamped to 0..1); white and
// black when a tag is missing. `info` may be null.
void plate_colours(const char* info, uint8_t background[3], uint8_t foreground[3]);

// Finishes a number-plate image: `img` is RGBA, the number drawn in black on
// white (alpha as drawn). Colours are mapped from white to the background and
// from black to the foreground, the mip chain is built by 2 x 2 averaging and
// every level's outermost rows and columns are reset to clear white. False
// for an image that is not RGBA.
bool plate_image_build(ImageData* img, const uint8_t background[3], const uint8_t foreground[3]);

// The knockout delay of each crash number (ticks); all 0 unless the race
// server sends them. Owned here, set by the network client.
extern int32_t knockout_delays[KNOCKOUT_DELAYS];

// Throws the rider off: detaches the mount, starts the feet, counts the crash
// and starts the crash timer.
void eject_rider(Bike* bike);
inline bool bike_crashed(const Bike* bike) { return bike->crash_timer > 0; }

// ---------------------------------------------------------------------------
// Ground contact

// Friction coefficient of a surface at a slip speed (interpolated in squared
// speed).
double surface_friction(const SurfaceType& s, double slip_speed);
// Rolling resistance (uncompressed, fully compressed) at a ground speed.
void surface_rolling_resistance(const SurfaceType& s, double speed, double out[2]);

// Soft-contact values for a stiffness and damping over one tick.
struct ContactSoftness {
    double erp;
    double cfm;
};
ContactSoftness contact_softness(double stiffness, double damping);
// Tyre stiffness and damping at a compression (depth / tube radius, capped at 1).
void tyre_stiffness(double depth, double tube_radius, double* stiffness, double* damping);

// Deepest penetration of a torus (centre, unit axle, ring and tube radius)
// or a sphere into the ground triangles under it. True when positive; the
// point, unit normal (out of the ground) and depth are written.
bool tyre_ground_penetration(const Terrain& t, const double centre[3], const double axle[3],
                             double ring_radius, double tube_radius, double point[3],
                             double normal[3], double* depth);
bool sphere_ground_penetration(const Terrain& t, const double centre[3], double radius,
                               double point[3], double normal[3], double* depth);
// Penetration of a torus or sphere into one triangle (corners a, b, c; any
// winding). The depth may be negative (no contact).
bool tyre_triangle_penetration(const double a[3], const double b[3], const double c[3],
                               const double centre[3], const double axle[3], double ring_radius,
                               double tube_radius, double point[3], double normal[3], double* depth);
bool sphere_triangle_penetration(const double a[3], const double b[3], const double c[3],
                                 const double centre[3], double radius, double point[3],
                                 double normal[3], double* depth);

// One wheel against the ground: records the contact, creates its contact
// joint and applies rolling resistance. True when the wheel touches.
bool wheel_ground_contact(const Terrain& t, WheelContact* wc, double grip);
// A body part's spheres against the ground: world centres are written into
// the shape; with a body, contact joints are made. True when any touches.
bool shape_ground_contact(CollisionShape* shape, dBodyID body, const dReal* position,
                          const dReal* rotation, const Terrain& t);
// The grip factor of the tyres: 1, or in arcade mode falling to 0.625 at a
// lean of pi/4.
double bike_ground_grip(const Bike* bike);
// The whole bike against the current terrain, once per tick before the step.
bool collide_bike_with_ground(Bike* bike);

// ---------------------------------------------------------------------------
// Collisions with scenery and other bikes

// Parts of a bike as a collision reports them (bits OR-ed).
enum {
    PART_FRAME = 1,
    PART_FRONT_WHEEL = 2,
    PART_REAR_WHEEL = 4,
    PART_FORK_UPPER = 8,
    PART_FORK_LOWER = 16,
    PART_SWINGARM = 32,
    PART_RIDER = 64,
    PART_FRONT = PART_FRONT_WHEEL | PART_FORK_LOWER,  // what counts as running into something
};

// What a touching sphere pair does.
enum {
    CONTACT_TOUCH = -1,   // only reported: no constraint, no force
    CONTACT_JOINT = 0,    // a soft contact joint in the contact group
    CONTACT_PENALTY = 1,  // a spring-damper force added to the bodies directly
};

// Collision-timer marks (ticks): who ran into whom.
inline constexpr double COLLISION_HEAD_ON = 192;  // both riders, head on
inline constexpr double COLLISION_HITTER = 256;   // the rider who ran into the other
inline constexpr double COLLISION_HIT = -640;     // the rider who was run into

// One sphere pair's contact: point in the middle of the overlap, the
// velocity of the first body's material there, unit normal from the first
// sphere toward the second, depth of the overlap.
struct SphereContact {
    double point[3];
    double velocity[3];
    double normal[3];
    double depth;
};

// Two spheres whose world centres are set. Bodies may be null (static);
// with both null only the touch is reported. Contact joints attach body 2
// first, so the joint pushes body 2 along the normal. True when they overlap.
bool sphere_sphere_contact(const ShapeSphere& s1, dBodyID body1, const ShapeSphere& s2, dBodyID body2, int mode,
                           SphereContact* out);
// Every sphere of A against every sphere of B after one bounding-sphere
// test; writes both shapes' world centres. Poses are ODE positions and 3 x 4
// rotations. True when any pair touched.
bool shape_shape_contact(CollisionShape* a, dBodyID body_a, const dReal* pos_a, const dReal* rot_a,
                         CollisionShape* b, dBodyID body_b, const dReal* pos_b, const dReal* rot_b, int mode);
// A wheel's tyre (the torus around its axle) against a shape. When the wheel
// has no ground contact this tick, the deepest obstacle contact becomes its
// contact record (normal out of the obstacle, toward the wheel).
bool wheel_shape_contact(CollisionShape* s, dBodyID body, const dReal* pos, const dReal* rot, WheelContact* wc,
                         int mode);
// The bike's wheels (as tyres) and shaped parts against a shape; with
// `front_touch_only` the front wheel and both fork parts only report.
// Returns the part bits of the bike that touched.
int collide_bike_with_shape(Bike* bike, CollisionShape* s, dBodyID body, const dReal* pos, const dReal* rot,
                            int mode, bool front_touch_only);
// A solid object (a statue, a starting-gate piece): contact joints, and the
// rider thrown off when he meets it faster than 20 feet per second. Part bits.
int collide_bike_with_statue(Bike* bike, CollisionShape* s, dBodyID body, const dReal* pos, const dReal* rot);
// The statues binned near the frame, each once; a touched statue records
// the current race tick.
void collide_bike_with_scenery(Bike* bike);
// The pose a statue collides in: a statue that turns toward the viewer is
// solid as if unturned.
struct Statue;
void statue_collision_pose(const Statue& s, dVector3 position, dMatrix3 rotation);
// Bike a's parts against bike b (b's wheels as tyres). Penalty forces when
// either bike already met a bike this tick; with `remote`, b's front wheel
// and forks only report against a's rear wheel, frame, swingarm and rider.
// Marks the collision timers and the contact tick; returns b's part bits.
int collide_bikes(Bike* a, Bike* b, bool remote);

// ---------------------------------------------------------------------------
// Bike setup

// The bike-setup values the simulation reads, as the setup keys give them
// (percentages 0..100, degrees, miles per hour); the appliers clamp.
struct BikeSetup {
    // Suspension (0..100, default 50).
    double fork_compression = 50, fork_slow_compression = 50;
    double fork_rebound = 50, fork_slow_rebound = 50;
    double fork_spring_rate = 50, fork_preload = 50, fork_oil_level = 50;
    double shock_compression = 50, shock_slow_compression = 50;
    double shock_rebound = 50, shock_slow_rebound = 50;
    double shock_spring_rate = 50, shock_preload = 50;
    // Drivetrain.
    double front_sprocket_adjustment = 0, rear_sprocket_adjustment = 0;  // -2..2
    double brake_torque = 250, rear_brake_torque = 250;                  // 0..500
    double auto_clutch_rpm = 5000;                                       // 0..5000
    bool auto_shift = true;
    bool front_antilock = true;
    bool rear_antilock = false;
    int stop_wheelies = 0;  // 0 "No", 3 "Yes", 2 "Front Only"
    // Rider.
    double rider_yspring = 50, rider_ydamping = 50, rider_zspring = 50, rider_zdamping = 50;
    double rider_mass_distribution = 0.33;
    bool sticky_dab = false;
    bool reverse_steering = true;
    // Riding assists.
    double leveling = 20, roll_damping = 80, roll_limit_angle = 35, roll_limit_factor = 32;
    double steering_damping = 45, steering_strength = 75, max_steering_force = 400;
    double direct_steering = 0, slow_damping_speed = 40, slow_damping_factor = 2;
    double land_damping_falloff = 0.25, land_damping_factor = 2;
    double full_lock_speed = 10, restricted_lock_speed = 50, restricted_lock = 5;
    double max_dab_speed = 20;  // mph
    bool arcade = true, auto_dab = true, auto_align = true, lean_indicator = true;
};

// The bike setup held by the settings record.
BikeSetup bike_setup_from_settings(const Settings& s);

// ---------------------------------------------------------------------------
// Suspension

// Writes the suspension settings from the setup (values clamped).
void apply_suspension_setup(Bike* bike, const BikeSetup& setup);
// Sets the fork slider's motor for this tick; returns the force.
double fork_force(Bike* bike);
// Sets the swingarm pivot's motor for this tick; returns the torque.
double shock_torque(Bike* bike);
// Shock compression and its slope at a normalised swingarm travel s (0..1).
void linkage(const BikeModel& m, double s, double* compression, double* slope);
// Fork position, fork speed, fork mix, swingarm position, shock speed, shock mix.
void suspension_telemetry(const Bike* bike, float out[6]);

// Fork air-spring force at a compression x (0..travel).
double fork_air_force(double travel, double air_gap, double x);
// A damper's force from the speed (negative = compressing for the fork's
// sign) and its coefficients, bounded to 1/8..8 times the high-speed part.
double damper_force(double speed_compressing, double compression, double slow_compression,
                    double rebound, double slow_rebound);

// ---------------------------------------------------------------------------
// Engine, clutch, gearbox and brakes

void apply_drivetrain_setup(Bike* bike, const BikeSetup& setup);
// Sprocket ratio for tooth adjustments (each clamped to -2..2).
double sprocket_ratio_for(const BikeModel& m, double front_adjustment, double rear_adjustment);

void set_throttle(Bike* bike, double v);     // 0 while crashed
void set_front_brake(Bike* bike, double v);
void set_rear_brake(Bike* bike, double v);
void set_clutch_engagement(Bike* bike, double e);
// The clutch lever (0 released .. 1 pulled): the last eighth does nothing;
// engagement drops at once and comes back at 4 per second.
void set_clutch_lever(Bike* bike, double lever);
// Edge-triggered shift: -1 down, +1 up, 0 re-arms.
void shift(Bike* bike, int s);

// Total reduction from crankshaft to rear wheel in the current gear.
double drive_ratio(const Bike* bike);
double engine_rpm(const Bike* bike);
// Crankshaft torque at the current engine speed and throttle.
double engine_torque(const Bike* bike);
// Automatic shifting, engine, clutch and brakes for one tick; `tick` is the
// race tick (automatic shifting acts on multiples of 32).
void drivetrain_step(Bike* bike, int32_t tick);

// ---------------------------------------------------------------------------
// Controls, setup, rider and the per-tick update

// The nine controls rebuilt every tick from the bindings (or written by a
// robot) and applied to a bike.
enum ControlIndex {
    CONTROL_STEERING = 0,  // left positive
    CONTROL_THROTTLE,
    CONTROL_FRONT_BRAKE,
    CONTROL_REAR_BRAKE,
    CONTROL_SHIFT,         // up positive, down negative
    CONTROL_CLUTCH,
    CONTROL_SIT_DAB,
    CONTROL_BACK_UP,
    CONTROL_LEAN,          // backward positive, forward negative
    CONTROL_RECORD_SIZE,
};
struct ControlRecord {
    float v[CONTROL_RECORD_SIZE] = {};
};

// Sign conventions of the rider and the assists. In the frame's axes +x is
// the rider's right. A positive lean (bike_lean) leans toward the frame's -x
// side (the rider's left); the roll rate (frame z component of the frame's
// angular velocity) is the rate of change of that lean. A positive steering
// angle (the steering-head hinge angle, bike_steering_angle) turns the bars
// to the left, and a positive steering torque turns them further left, so a
// positive balance torque steers into a positive lean and reduces it. The
// steering input is positive to the left after apply_controls; with
// "Reversed Steering" on (the default) the control is negated on the way in.

// The controls of one tick for the locally ridden bike.
void apply_controls(Bike* bike, const ControlRecord& c);
// The whole setup: suspension, drivetrain, rider and assists. Refused (false)
// while the frame moves faster than 1/8 foot per second; a refusal less than
// 10 seconds of game time (`now`, seconds) after the previous one says so on
// the message line. `arcade_allowed` false writes arcade as off.
bool apply_setup(Bike* bike, const BikeSetup& setup, double now, bool arcade_allowed = true);
// The rider and assist settings alone (clamped); part of apply_setup.
void apply_rider_setup(Bike* bike, const BikeSetup& setup, bool arcade_allowed = true);

void set_steering(Bike* bike, double v);   // clamped to -1..1
void set_sit_dab(Bike* bike, double v);    // 0 while crashed
void set_back_up(Bike* bike, double v);    // 0 while crashed
void set_lean(Bike* bike, double v);       // -1..1, 0 while crashed

// Once per tick for every bike, after the physics step: everything it
// applies acts in the next step. `tick` is the race tick, `start_tick` the
// race start.
void bike_update(Bike* bike, int32_t tick, int32_t start_tick);

// The parts of bike_update, for tests and tools.
// The seat point the rider body is pulled toward (world).
void rider_seat_point(const Bike* bike, double out[3]);
// The rider body's seat constraints for the next step (mounted rider).
void rider_constraints(Bike* bike);
// The crash tolerance factor at `tick` from the takeoff and landing ticks.
double crash_tolerance(const Bike* bike, int32_t tick);
// The ejection rules on relative speed and felt acceleration; true when
// the rider was thrown off.
bool crash_detection(Bike* bike, int32_t tick);
// Tethers, the crash timer and the return to the bike while crashed.
void crash_handling(Bike* bike);
// The feet: extension falling back; particles while crashed.
void feet_update(Bike* bike);

// ---------------------------------------------------------------------------
// Steering and riding assists

// The steering-head hinge angle: positive with the bars turned left.
double bike_steering_angle(const Bike* bike);
// The roll rate: positive while the lean grows.
double bike_roll_rate(const Bike* bike);
// Wheel speed from the front axle (positive forward).
double bike_wheel_speed(const Bike* bike);
// The front wheel's slip angle in the upper fork's axes: positive when it
// moves to the left of where it points; 0 below 1 foot per second.
double front_slip_angle(const Bike* bike);
// The dab speed limit, raised to 75 after a hard hit.
double dab_limit(const Bike* bike);
// The steering lock (radians) at the current wheel speed and surface.
double steering_lock(const Bike* bike);
// The lean the lean targeting allows at a speed (`exponent` 4 for steering,
// 32 for the dab assist).
double allowed_lean(const Bike* bike, double speed, int exponent);

// Torque T about the steering axis on the front wheel, -T on the frame.
void apply_steering_torque(Bike* bike, double T);
void steering_controller(Bike* bike);
void arcade_controller(Bike* bike);
void standstill_assists(Bike* bike, int32_t tick, int32_t start_tick);
void dab_assist(Bike* bike);
// A horizontal unit heading along the course at the bike (the next timing
// gate's direction); false when the track has no gates.
bool course_heading(const Bike* bike, double out[2]);

// ---------------------------------------------------------------------------
// Ruts

// One wheel's sample (0 front, 1 rear) into the bike's erosion queue.
void erosion_sample(Bike* bike, int wheel);
// Samples both wheels, then turns up to 4 queued samples the bike has left
// behind into height changes of the current terrain. Nothing for a rate of 0.
void erosion_process(Bike* bike, float erode_rate);

}  // namespace gr
