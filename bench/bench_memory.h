#ifndef VERDANPOST_BENCH_BENCH_MEMORY_H_
#define VERDANPOST_BENCH_BENCH_MEMORY_H_

#include <fstream>
#include <string>

namespace verdanpost::bench {

// "VmHWM" (peak) or "VmRSS" (now) of this process, in KiB; -1 when the
// kernel does not say.
inline long MemoryKiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

}  // namespace verdanpost::bench

#endif  // VERDANPOST_BENCH_BENCH_MEMORY_H_
