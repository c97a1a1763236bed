#include "platform/automation/registry_test_support.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace verdanpost::test_support {

int LockWaiters(const std::string& registry) {
  struct stat lock;
  if (stat((registry + ".lock").c_str(), &lock) != 0) return 0;
  // "1: -> FLOCK  ADVISORY  WRITE 4321 00:2f:1234 0 EOF" is a blocked
  // request on inode 1234 of device 00:2f.
  std::ifstream locks("/proc/locks");
  int waiters = 0;
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, arrow;
    fields >> number >> arrow;
    if (arrow != "->") continue;
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(lock.st_dev), minor(lock.st_dev),
                  static_cast<unsigned long long>(lock.st_ino));
    for (std::string field; fields >> field;) waiters += field == file;
  }
  return waiters;
}

bool WaitForLockWaiters(const std::string& registry, int waiters,
                        const std::function<bool()>& gone) {
  while (LockWaiters(registry) < waiters) {
    if (gone()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace verdanpost::test_support
