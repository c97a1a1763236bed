// A server for autoreg's tests: registers the class named by
// $TEST_SERVER_PROGID with one load-modify-save of the registry.

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
  if (!verdanpost::LoadDefaultRegistry(&registry, &err)) {
    return verdanpost::RegistryFailure(registry, verdanpost::REGDB_E_READREGDB);
  }
  if (add) {
    registry.SetValue(std::string(progid) + "\\CLSID", "", progid);
  } else {
    registry.DeleteKey(progid);
  }
  if (!verdanpost::SaveDefaultRegistry(registry, &err)) {
    return verdanpost::RegistryFailure(registry, verdanpost::REGDB_E_WRITEREGDB);
  }
  return verdanpost::S_OK;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) verdanpost::HRESULT DllRegisterServer() {
  return Update(true);
}
extern "C" __attribute__((visibility("default"))) verdanpost::HRESULT DllUnregisterServer() {
  return Update(false);
}
