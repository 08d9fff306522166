// The one header for every Windows name the system uses. On Windows it brings in the SDK; elsewhere our
// stand-in with the same names, values and interface shapes. Below it, a few helpers that both sides share.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <olectl.h>
#include <propsys.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <windows.h>
#define MIRELTH_W(s) L##s
#else
#include "platform/standin.h"
#endif

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace mirelth {

using WideString = std::basic_string<WCHAR>;

// Interface identifiers, spelled out so that no import library has to provide them.
inline constexpr GUID kIidIUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID kIidIClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID kIidIThumbnailProvider = {
    0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};
inline constexpr GUID kIidIInitializeWithStream = {
    0xB824B49D, 0x22AC, 0x4161, {0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F}};
inline constexpr GUID kIidIInitializeWithFile = {
    0xB7D14566, 0x0509, 0x4CCE, {0xA7, 0x1F, 0x0A, 0x55, 0x42, 0x33, 0xBD, 0x9B}};
inline constexpr GUID kIidIInitializeWithItem = {
    0x7F73BE3F, 0xFB79, 0x493C, {0xA6, 0xC7, 0x7E, 0xE1, 0x4E, 0x24, 0x58, 0x41}};

inline constexpr GUID kIidIPreviewHandler = {
    0x8895B1C6, 0xB41F, 0x4C1C, {0xA5, 0x62, 0x0D, 0x56, 0x42, 0x50, 0x83, 0x6F}};
inline constexpr GUID kIidIPreviewHandlerVisuals = {
    0x196BF9A5, 0xB346, 0x4EF0, {0xAA, 0x1E, 0x5D, 0xCD, 0xB7, 0x67, 0x68, 0xB1}};
inline constexpr GUID kIidIPreviewHandlerFrame = {
    0xFEC87AAF, 0x35F9, 0x447A, {0xAD, 0xB7, 0x20, 0x23, 0x44, 0x91, 0x40, 0x1A}};
inline constexpr GUID kIidIObjectWithSite = {
    0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
inline constexpr GUID kIidIOleWindow = {0x00000114, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::char_traits<char>::compare(reinterpret_cast<const char*>(a.Data4), reinterpret_cast<const char*>(b.Data4),
                                         8) == 0;
}

// UTF-8 <-> UTF-16 for names and paths. Invalid sequences become U+FFFD.
WideString Utf8ToWide(std::string_view text);
std::string WideToUtf8(const WCHAR* text);
std::string WideToUtf8(const WideString& text);

// Opens a file named in UTF-8 (the C library's fopen on Linux, _wfopen on Windows).
FILE* OpenFileUtf8(const std::string& path, const char* mode);

// The program's arguments in UTF-8 (on Windows taken from the wide command line).
std::vector<std::string> CommandLineUtf8(int argc, char** argv);

bool IsTerminal(FILE* stream);

// Bitmaps and device contexts alive in this process: the stand-in's count, or GetGuiResources on Windows.
long CountLiveGdiObjects();

// Creates the directory (and its parents) named in UTF-8; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace mirelth
