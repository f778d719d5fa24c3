// How calls of the Windows backend fail: the error number each failed call carries, and the
// numbers that mean a command ran out of time.
#pragma once

#include <windows.h>

namespace trelmoss {

// Windows maps a status to its error number; the few our own checks add use the same numbers.
inline int LastError() { return static_cast<int>(GetLastError()); }

// The port driver's timeout of a pass-through, and a driver's own of a control code, end the
// call with a timeout error.
inline bool MeansTimeoutError(int error) {
  return error == ERROR_SEM_TIMEOUT || error == ERROR_TIMEOUT || error == WAIT_TIMEOUT;
}

}  // namespace trelmoss
