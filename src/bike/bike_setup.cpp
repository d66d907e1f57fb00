// The numeric bike setup, read from the settings record so the physics never
// looks at menu objects.
#include <cstring>

#include "app/app.h"
#include "bike/bike.h"

namespace gr {

namespace {

bool is(const Setting& s, const char* name) { return strcmp(setting_choice_name(s), name) == 0; }

}  // namespace

BikeSetup bike_setup_from_settings(const Settings& s) {
    BikeSetup b;
    b.fork_compression = s.fork_compression_adjustment.value;
    b.fork_slow_compression = s.fork_slow_compression_adjustment.value;
    b.fork_rebound = s.fork_rebound_adjustment.value;
    b.fork_slow_rebound = s.fork_slow_rebound_adjustment.value;
    b.fork_spring_rate = s.fork_spring_rate_adjustment.value;
    b.fork_preload = s.fork_preload_adjustment.value;
    b.fork_oil_level = s.fork_oil_level_adjustment.value;
    b.shock_compression = s.shock_compression_adjustment.value;
    b.shock_slow_compression = s.shock_slow_compression_adjustment.value;
    b.shock_rebound = s.shock_rebound_adjustment.value;
    b.shock_slow_rebound = s.shock_slow_rebound_adjustment.value;
    b.shock_spring_rate = s.shock_spring_rate_adjustment.value;
    b.shock_preload = s.shock_preload_adjustment.value;

    b.front_sprocket_adjustment = s.front_sprocket_adjustment.value;
    b.rear_sprocket_adjustment = s.rear_sprocket_adjustment.value;
    b.brake_torque = s.brake_torque.value;
    b.rear_brake_torque = s.rear_brake_torque.value;
    b.auto_clutch_rpm = s.auto_clutch_rpms.value;
    b.auto_shift = is(s.auto_shift, "Yes");
    b.front_antilock = is(s.front_brake, "Antilock");
    b.rear_antilock = is(s.rear_brake, "Antilock");
    b.stop_wheelies = is(s.stop_wheelies, "Yes") ? 3 : is(s.stop_wheelies, "Front Only") ? 2 : 0;

    b.rider_yspring = s.rider_yspring.value;
    b.rider_ydamping = s.rider_ydamping.value;
    b.rider_zspring = s.rider_zspring.value;
    b.rider_zdamping = s.rider_zdamping.value;
    b.rider_mass_distribution = s.rider_mass_distribution.value;
    b.sticky_dab = is(s.sticky_dab, "Yes");
    b.reverse_steering = is(s.reverse_steering, "Yes");

    b.leveling = s.leveling.value;
    b.roll_damping = s.roll_damping.value;
    b.roll_limit_angle = s.roll_limit_angle.value;
    b.roll_limit_factor = s.roll_limit_factor.value;
    b.steering_damping = s.steering_damping.value;
    b.steering_strength = s.steering_strength.value;
    b.max_steering_force = s.max_steering_force.value;
    b.direct_steering = s.direct_steering.value;
    b.slow_damping_speed = s.slow_damping_speed.value;
    b.slow_damping_factor = s.slow_damping_factor.value;
    b.land_damping_falloff = s.land_damping_falloff.value;
    b.land_damping_factor = s.land_damping_factor.value;
    b.full_lock_speed = s.full_lock_speed.value;
    b.restricted_lock_speed = s.restricted_lock_speed.value;
    b.restricted_lock = s.restricted_lock.value;
    b.max_dab_speed = s.max_dab_speed.value;
    b.arcade = is(s.arcade, "Yes");
    b.auto_dab = is(s.auto_dab, "Yes");
    b.auto_align = is(s.auto_align, "Yes");
    b.lean_indicator = is(s.lean_indicator, "Yes");
    return b;
}

}  // namespace gr
