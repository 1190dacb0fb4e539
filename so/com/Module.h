// The server module: its lock count (one per live object and per LockServer), the
// class factory and registration. The five Dll exports are in Module.cpp.
#pragma once

#include <string>

#include "platform/com.h"

namespace so_module {

void Lock();
void Unlock();
LONG LockCount();

// Full path of the shared library this code is linked into.
std::string ModulePath();

// Writes or removes the registration: under HKEY_LOCAL_MACHINE "SOFTWARE\Classes" for
// the machine, under HKEY_CURRENT_USER "Software\Classes" per user.
HRESULT Register(bool perUser, const std::wstring& modulePath);
HRESULT Unregister(bool perUser);

}  // namespace so_module

#define SO_EXPORT extern "C" __attribute__((visibility("default")))

SO_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);
SO_EXPORT HRESULT DllCanUnloadNow();
SO_EXPORT HRESULT DllRegisterServer();
SO_EXPORT HRESULT DllUnregisterServer();
SO_EXPORT HRESULT DllInstall(BOOL install, LPCWSTR commandLine);
