// A server for autoreg's tests: registers the class named by
// $TEST_SERVER_PROGID, and takes its time between reading the registry and
// writing it back, so that runs started together overlap.

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/automation/com.h"
#include "platform/automation/registry.h"

namespace {

using verdanpost::HRESULT;

HRESULT Update(bool add) {
  const char* progid = std::getenv("TEST_SERVER_PROGID");
  if (progid == nullptr) return verdanpost::E_FAIL;
  verdanpost::Registry registry;
  std::string err;
  if (!verdanpost::LoadDefaultRegistry(&registry, &err)) return verdanpost::REGDB_E_READREGDB;
  if (add) {
    registry.SetValue(std::string(progid) + "\\CLSID", "", progid);
  } else {
    registry.DeleteKey(progid);
  }
  usleep(20000);
  return verdanpost::SaveDefaultRegistry(registry, &err) ? verdanpost::S_OK
                                                         : verdanpost::REGDB_E_WRITEREGDB;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) verdanpost::HRESULT DllRegisterServer() {
  return Update(true);
}
extern "C" __attribute__((visibility("default"))) verdanpost::HRESULT DllUnregisterServer() {
  return Update(false);
}
