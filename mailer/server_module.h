#ifndef VERDANPOST_MAILER_SERVER_MODULE_H_
#define VERDANPOST_MAILER_SERVER_MODULE_H_

#include "mailer/export.h"
#include "platform/automation/com.h"
#include "platform/automation/type_library.h"

namespace verdanpost {

// The library's lock count: each live object and each LockServer(TRUE)
// holds one. DllCanUnloadNow answers S_OK only at zero.
void LockModule();
void UnlockModule();
long ModuleLockCount();

// The type info of ISMTPMailer from the registered type library, loaded once
// per process; one reference for the caller.
HRESULT GetMailerTypeInfo(ITypeInfo** type_info);

// The type library carried by this library.
const AutomationTypeLibraryDesc& MailerTypeLibrary();

}  // namespace verdanpost

extern "C" {
VERDANPOST_EXPORT verdanpost::HRESULT DllGetClassObject(verdanpost::REFCLSID clsid,
                                                        verdanpost::REFIID riid, void** object);
VERDANPOST_EXPORT verdanpost::HRESULT DllCanUnloadNow();
VERDANPOST_EXPORT verdanpost::HRESULT DllRegisterServer();
VERDANPOST_EXPORT verdanpost::HRESULT DllUnregisterServer();
VERDANPOST_EXPORT const AutomationTypeLibraryDesc* AutomationGetTypeLibrary();
}

#endif  // VERDANPOST_MAILER_SERVER_MODULE_H_
