// Steers the test disk driver through its control device, and runs programs against it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/driver_scenario.h"
#include "tests/windows/disk_driver/test_disk_protocol.h"

namespace trelmoss::test {

// The devices the Windows stage installs: "root\trelmoss\0" to "root\trelmoss\7".
inline constexpr std::size_t kTestDiskDevices = 8;

// Device N plays drives[N] (the captured sectors, number, capabilities, failure), and the drives
// after the devices' are reached only through `controller`'s ports; the log is cleared. Fails
// the calling test when the control device does not answer.
void SetUpTestDisks(const std::vector<ScenarioDrive>& drives,
                    const test_disk_controller& controller = {});
// The requests the devices received since the last setup.
std::unique_ptr<test_disk_log> ReadTestDiskLog();

struct ProgramRun {
  int status = -1;
  std::string output;  // standard output, its CR CR LF turned back into CR LF
};
// Runs `commandLine` with the working folder `folder` and waits for it.
ProgramRun RunProgram(const std::string& commandLine, const std::string& folder);

}  // namespace trelmoss::test
