// The Windows services MirelthThumbnail uses, for builds without the Windows SDK (Linux).
// Only what the provider, the decoders, registration and the tests rely on is here, with the real
// HRESULT values and the real interface shapes, so that one code path compiles on both sides.
// The behaviour follows the Windows services: zero-filled bottom-up DIB sections, nearest-pixel
// handles that must be deleted.
#pragma once

#if defined(_WIN32)
#error "standin.h is for builds without the Windows SDK"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define WINAPI
#define MIRELTH_W(s) u##s

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using HRESULT = int32_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPVOID = void*;
using LPCVOID = const void*;
using SIZE_T = size_t;
using ULONGLONG = uint64_t;
using LONGLONG = int64_t;
using LSTATUS = LONG;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }
inline bool IsEqualIID(const GUID& a, const GUID& b) { return a == b; }

// Handles are opaque pointers, as on Windows.
struct StandinHandle;
struct StandinGdiObject;
struct StandinKey;
using HANDLE = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using HGDIOBJ = StandinGdiObject*;
using HBITMAP = StandinGdiObject*;
using HDC = void*;
using HKEY = StandinKey*;
using PHKEY = HKEY*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// HRESULT values, as Windows defines them.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_INITIALIZED = 1247;
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return code == 0 ? 0 : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

// COM base interfaces.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGM_READ = 0;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

struct STATSTG {
  LPWSTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

struct ISequentialStream : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                           ULARGE_INTEGER* written) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IStream** clone) = 0;

 protected:
  ~IStream() = default;
};

struct IBindCtx;
using SIGDN = int32_t;
constexpr SIGDN SIGDN_NORMALDISPLAY = 0;
constexpr SIGDN SIGDN_FILESYSPATH = static_cast<SIGDN>(0x80058000u);
using SFGAOF = ULONG;
using SICHINTF = DWORD;

struct IShellItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx* bindContext, REFGUID handler, REFIID riid,
                                                  void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParent(IShellItem** parent) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF mask, SFGAOF* attributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE Compare(IShellItem* other, SICHINTF hint, int* order) = 0;

 protected:
  ~IShellItem() = default;
};

enum WTS_ALPHATYPE { WTSAT_UNKNOWN = 0, WTSAT_RGB = 1, WTSAT_ARGB = 2 };

struct IThumbnailProvider : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) = 0;

 protected:
  ~IThumbnailProvider() = default;
};
struct IInitializeWithStream : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) = 0;

 protected:
  ~IInitializeWithStream() = default;
};
struct IInitializeWithFile : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(LPCWSTR path, DWORD mode) = 0;

 protected:
  ~IInitializeWithFile() = default;
};
struct IInitializeWithItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(IShellItem* item, DWORD mode) = 0;

 protected:
  ~IInitializeWithItem() = default;
};
struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// Property stores (the property handler).
using VARTYPE = uint16_t;
constexpr VARTYPE VT_EMPTY = 0, VT_UI4 = 19, VT_LPWSTR = 31;
struct PROPERTYKEY {
  GUID fmtid;
  DWORD pid;
};
using REFPROPERTYKEY = const PROPERTYKEY&;
struct PROPVARIANT {
  VARTYPE vt;
  uint16_t wReserved1, wReserved2, wReserved3;
  union {
    ULONG ulVal;
    LPWSTR pwszVal;
    uint64_t uhVal;
  };
};
using REFPROPVARIANT = const PROPVARIANT&;
// Frees what the variant owns (a string from CoTaskMemAlloc) and empties it.
HRESULT PropVariantClear(PROPVARIANT* value);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);

struct IPropertyStore : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit() = 0;

 protected:
  ~IPropertyStore() = default;
};
struct IPropertyStoreCapabilities : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY key) = 0;

 protected:
  ~IPropertyStoreCapabilities() = default;
};
// The property schema (propsys): registration recorded by the stand-in.
HRESULT PSRegisterPropertySchema(LPCWSTR path);
HRESULT PSUnregisterPropertySchema(LPCWSTR path);

// Process heap and task allocator.
constexpr DWORD HEAP_ZERO_MEMORY = 0x00000008;
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
LPVOID CoTaskMemAlloc(SIZE_T bytes);
void CoTaskMemFree(LPVOID memory);

// File reading. Paths are UTF-16 and are opened as UTF-8 file names.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
struct SECURITY_ATTRIBUTES;
// Positioned reads: the offset of the read (hEvent unused here).
struct OVERLAPPED {
  uintptr_t Internal;
  uintptr_t InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD attributes, HANDLE templateFile);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();

// Module entry.
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;
BOOL DisableThreadLibraryCalls(HMODULE module);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// GDI: 32-bit device-independent bitmap sections. (Thumbnails are sampled by our own code; no DC is needed.)
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
static_assert(sizeof(BITMAPINFO) == 44);
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};
struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectW(HGDIOBJ object, int size, void* out);
BOOL GdiFlush();

// Registry (an in-memory one, under HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, kept apart) and
// shell notifications.
using REGSAM = DWORD;
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr DWORD ERROR_MORE_DATA = 234;
LSTATUS RegCreateKeyExW(HKEY parent, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                        SECURITY_ATTRIBUTES* security, PHKEY result, DWORD* disposition);
LSTATUS RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
LSTATUS RegCloseKey(HKEY key);
LSTATUS SHDeleteKeyW(HKEY parent, LPCWSTR subKey);
constexpr LONG SHCNE_ASSOCCHANGED = 0x08000000;
constexpr UINT SHCNF_IDLIST = 0;
void SHChangeNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2);
constexpr UINT SPI_SETICONS = 0x58;
constexpr UINT SPIF_SENDCHANGE = 2;
BOOL SystemParametersInfoW(UINT action, UINT parameter, void* data, UINT winIni);

// Windows and messages, as far as a preview handler meets them.
struct StandinWindow;
using HWND = StandinWindow*;
using HFONT = void*;
using COLORREF = DWORD;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
struct RECT {
  LONG left, top, right, bottom;
};
struct POINT {
  LONG x, y;
};
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
struct LOGFONTW {
  LONG lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
  BYTE lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily;
  WCHAR lfFaceName[32];
};
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) { return COLORREF{r} | COLORREF{g} << 8 | COLORREF{b} << 16; }
using HACCEL = void*;
struct PREVIEWHANDLERFRAMEINFO {
  HACCEL haccel;
  UINT cAccelEntries;
};

struct IObjectWithSite : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) = 0;

 protected:
  ~IObjectWithSite() = default;
};
struct IOleWindow : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) = 0;
  virtual HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) = 0;

 protected:
  ~IOleWindow() = default;
};
struct IPreviewHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetWindow(HWND window, const RECT* rect) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRect(const RECT* rect) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoPreview() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unload() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFocus() = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryFocus(HWND* window) = 0;
  virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) = 0;

 protected:
  ~IPreviewHandler() = default;
};
struct IPreviewHandlerVisuals : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF colour) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFont(const LOGFONTW* font) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTextColor(COLORREF colour) = 0;

 protected:
  ~IPreviewHandlerVisuals() = default;
};
struct IPreviewHandlerFrame : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetWindowContext(PREVIEWHANDLERFRAMEINFO* info) = 0;
  virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) = 0;

 protected:
  ~IPreviewHandlerFrame() = default;
};

// COM entry points a server exports.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
STDAPI DllInstall(BOOL install, LPCWSTR commandLine);

// Stand-in controls, for tests: live object counts and injected failures.
namespace standin {
// Bitmaps alive now (the counterpart of GetGuiResources on Windows).
long LiveGdiObjects();
// Heap blocks from HeapAlloc not yet freed.
long LiveHeapBlocks();
// File handles from CreateFileW not yet closed.
long LiveFileHandles();
// The next `count`-th HeapAlloc (1 = the next one) fails; 0 turns this off.
void FailHeapAllocAfter(int count);
// The next `count`-th CreateDIBSection fails; 0 turns this off.
void FailCreateDibSectionAfter(int count);
// Registry: forget every key; fail the next `count`-th key creation or value write (0: off).
void ResetRegistry();
void FailRegistryCreateAfter(int count);
void FailRegistryWriteAfter(int count);
// Shell notifications recorded so far (SHChangeNotify and SystemParametersInfoW calls).
int ShellNotifications();
// The property schemas registered now (PSRegisterPropertySchema paths, UTF-8).
std::vector<std::string> RegisteredSchemas();
// What GetModuleFileNameW reports (empty: the running program).
void SetModuleFileName(const char16_t* path);
}  // namespace standin
