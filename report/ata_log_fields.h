// An ATA drive's log values by the names the report, the metrics and the page give them.
#pragma once

#include <vector>

#include "model/drive_table.h"

namespace trelmoss {

// Only the values the drive gave, in one fixed order: wear, temperatures with the drive's own
// limits, hours, sectors written and read, the error count.
std::vector<HealthLogField> AtaLogFields(const AtaLogs& logs);

// The self-test kind an entry names: "short", "extended", "conveyance", "selective", "offline"
// or "vendor".
const char* SelfTestKindName(std::uint8_t type);

}  // namespace trelmoss
