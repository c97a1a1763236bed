#ifndef VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_TEST_SUPPORT_H_
#define VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_TEST_SUPPORT_H_

#include <functional>
#include <string>

namespace verdanpost::test_support {

// How many takers, in any process, wait for the lock beside the registry
// file |registry| (the blocked requests the kernel lists in /proc/locks).
int LockWaiters(const std::string& registry);

// Waits until |waiters| takers wait for the lock beside |registry|; gives
// false, without waiting longer, once |gone| says they never will (the
// takers ended). Overlapping updates are made to happen this way, by the
// event itself rather than by sleeping and hoping.
bool WaitForLockWaiters(const std::string& registry, int waiters,
                        const std::function<bool()>& gone);

}  // namespace verdanpost::test_support

#endif  // VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_TEST_SUPPORT_H_
