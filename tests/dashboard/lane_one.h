// The lane the board tests follow: the first, with its meter's serial. For the live feed's tests
// and the one board's alike.
#pragma once

#include "station_observer.h"

namespace pxr7 {

inline LaneTag laneOne() {
    LaneTag tag;
    tag.number = 1;
    tag.serial = "PX7A0001";
    tag.index = 0;
    return tag;
}

} // namespace pxr7
