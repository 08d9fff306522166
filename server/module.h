// The COM module: the one class factory, the module count that decides when the library may unload, and the
// module handle registration needs. The exports (DllMain, DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer, DllUnregisterServer) are declared by the platform header.
#pragma once

#include "platform/win32.h"

namespace mirelth {

// {5C3E8A14-27D9-4B6F-8E01-B4A9D2C7F365}
inline constexpr GUID kClsidMirelthThumbnail = {
    0x5C3E8A14, 0x27D9, 0x4B6F, {0x8E, 0x01, 0xB4, 0xA9, 0xD2, 0xC7, 0xF3, 0x65}};
inline constexpr const WCHAR* kClsidMirelthThumbnailText = MIRELTH_W("{5C3E8A14-27D9-4B6F-8E01-B4A9D2C7F365}");

// Factory references, server locks and live providers.
long ModuleCount();
// The library's own handle, kept at process attach (null when linked into a program).
HMODULE ModuleHandle();

}  // namespace mirelth

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
