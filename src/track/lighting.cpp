// The lighting values of the current track.
#include "track/track.h"

namespace gr {

Lighting lighting;

}  // namespace gr
