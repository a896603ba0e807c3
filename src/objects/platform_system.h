// The operating system's side of platform.h, given once per system (platform_posix.cpp,
// platform_windows.cpp). Everyone else calls platform.h, whose test overrides come first.
#pragma once

#include <cstddef>
#include <string>

#include "objects/platform.h"

namespace verava {

LocalDateTime SystemNowLocal();
// Raises std::runtime_error when the system has no random bytes to give.
void SystemRandomBytes(void* out, size_t count);
// The C library's English text for an errno value ("No space left on device").
std::string SystemErrorText(int code);

}  // namespace verava
