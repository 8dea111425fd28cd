// The local time as the IM messages, stamps and records carry it.
#pragma once

#include "ImText.h"

namespace chatdesk {

ImDateTime LocalImTime();

}  // namespace chatdesk
