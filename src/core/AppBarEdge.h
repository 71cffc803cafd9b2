// The screen edges the bar docks to, as the settings file stores them.
#pragma once

#include <cstdint>

enum TAppBarEdge : uint8_t { abeLeft, abeTop, abeRight, abeBottom, abeUnknown, abeFloat };
