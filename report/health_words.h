// The verdict's reasons in words a person understands, for the page: "8 reallocated sectors
// (attribute 5)" rather than "reallocated_sectors 8".
#pragma once

#include <string>

#include "model/health.h"

namespace trelmoss {

std::string ReasonInWords(const HealthReason& reason);

}  // namespace trelmoss
