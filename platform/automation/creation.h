#ifndef VERDANPOST_PLATFORM_AUTOMATION_CREATION_H_
#define VERDANPOST_PLATFORM_AUTOMATION_CREATION_H_

#include <string>

#include "platform/automation/com.h"

namespace verdanpost {

// Looks up `progid` (following CurVer for a version-independent one) in the
// registry. CO_E_CLASSSTRING with a message when it is not registered.
HRESULT CLSIDFromProgID(const std::string& progid, CLSID* clsid, std::string* err);

// Loads the class's InprocServer32 library (once per process), asks its
// DllGetClassObject for the factory and creates one object with interface
// `riid`. Every failure comes with a message naming what was missing.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object,
                         std::string* err);

// Unloads every loaded server library whose DllCanUnloadNow answers S_OK.
void FreeUnusedLibraries();

// Number of server libraries currently held by the process-wide cache.
size_t LoadedServerLibraryCount();

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_CREATION_H_
