// The memory a process holds in RAM, as the kernel counts it (Linux).
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace quillon::testing {

// A field of /proc/self/status in bytes: "VmRSS" now, "VmHWM" at its highest; -1 if unknown.
inline std::int64_t ProcessMemory(const std::string& field = "VmRSS") {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stoll(line.substr(field.size() + 1)) * 1024;
  }
  return -1;
}

}  // namespace quillon::testing
