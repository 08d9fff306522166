// A client that uses MirelthThumbnail.dll the way the shell does, run under Wine: it registers the DLL, reads
// the registry back, activates the class through the registry with CoCreateInstance in an apartment,
// initialises it through each of its three interfaces, asks for thumbnails, reads the pixels back with
// GetDIBits and compares them with our own decode of the same file linked into this program; then it checks
// the unload test, CoFreeUnusedLibraries and unregistration.
//
//   e2e_client DLL FILE...              the whole round, exit 0 when every check passed
//   e2e_client --expect-registered DLL [--user]  only the registry layout (after regsvr32, or an installer);
//                                                 --user: under HKEY_CURRENT_USER\Software\Classes
//   e2e_client --expect-unregistered [--user]    only that the layout is gone
//   e2e_client --thumbnail FILE...               thumbnails through whatever the registry says (after an install)
//   e2e_client --properties FILE...              the property handler's values, one line a file
//   e2e_client --preview FILE...                 the preview pane in a window (needs a display: Xvfb under Wine)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture/filter.h"
#include "platform/win32.h"
#include "server/hresult.h"
#include "server/module.h"
#include "server/preview_handler.h"
#include "server/preview_view.h"
#include "server/properties.h"
#include "server/property_handler.h"
#include "server/provider.h"

namespace mirelth {
namespace {

int passed = 0, failed = 0;
void Check(bool ok, const std::string& what) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // top row first, 0xAARRGGBB
  uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Reads any bitmap back through GetDIBits as 32-bit top-down pixels.
Picture ReadPixels(HBITMAP bitmap) {
  Picture picture;
  BITMAP info{};
  if (!GetObjectW(bitmap, sizeof info, &info)) return picture;
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = info.bmWidth;
  request.bmiHeader.biHeight = -info.bmHeight;  // top-down
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  picture.width = info.bmWidth;
  picture.height = info.bmHeight;
  picture.pixels.resize(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  HDC dc = CreateCompatibleDC(nullptr);
  const int rows =
      GetDIBits(dc, bitmap, 0, static_cast<UINT>(info.bmHeight), picture.pixels.data(), &request, DIB_RGB_COLORS);
  DeleteDC(dc);
  if (rows != info.bmHeight) picture = Picture{};
  return picture;
}

std::wstring FullPath(const std::string& path) {
  const WideString wide = Utf8ToWide(path);
  wchar_t buffer[32768];
  const DWORD length = GetFullPathNameW(wide.c_str(), 32768, buffer, nullptr);
  return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring(wide.begin(), wide.end());
}
std::string Narrow(const std::wstring& text) { return WideToUtf8(WideString(text.begin(), text.end())); }

// Where the layout is read: the machine's classes, or the current user's.
bool userHive = false;
std::wstring ReadValue(const std::wstring& key, const wchar_t* name) {
  HKEY handle = nullptr;
  const std::wstring path = userHive ? L"Software\\Classes\\" + key : key;
  if (RegOpenKeyExW(userHive ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &handle) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  wchar_t buffer[32768] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
  const LSTATUS status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return L"<missing>";
  return type == REG_SZ ? std::wstring(buffer) : L"<not REG_SZ>";
}

const wchar_t* const kClassKey = L"CLSID\\{5C3E8A14-27D9-4B6F-8E01-B4A9D2C7F365}";
// Every extension of the table of containers.
std::vector<std::wstring> Extensions() {
  size_t count = 0;
  const Container* rows = Containers(&count);
  std::vector<std::wstring> extensions;
  for (size_t i = 0; i < count; ++i)
    extensions.emplace_back(rows[i].extension, rows[i].extension + std::strlen(rows[i].extension));
  return extensions;
}
// The handler keys of an extension: under the extension and under SystemFileAssociations.
std::vector<std::wstring> HandlerKeys(const std::wstring& extension) {
  const std::wstring handler = extension + L"\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}";
  return {handler, L"SystemFileAssociations\\" + handler};
}

// The property handler's keys: the class, and HKEY_LOCAL_MACHINE's PropertyHandlers (all users only).
const wchar_t* const kPropertyClassKey = L"CLSID\\{8A71C3D2-4E5F-4B60-9D12-6E3F4A5B7C81}";
std::wstring PropertyHandlerOf(const std::wstring& extension) {
  HKEY handle = nullptr;
  const std::wstring key =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\" + extension;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return L"<missing>";
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  const LSTATUS status = RegQueryValueExW(handle, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  return status == ERROR_SUCCESS ? std::wstring(buffer) : L"<missing>";
}

void ExpectPropertyHandler(bool registered) {
  const bool expected = registered && !userHive;  // a per-user registration leaves it out
  Check((ReadValue(kPropertyClassKey, nullptr) == L"MirelthThumbnail Properties") == expected,
        std::string("property handler class ") + (expected ? "registered" : "absent"));
  for (const std::wstring& extension : Extensions()) {
    const bool present = PropertyHandlerOf(extension) == L"{8A71C3D2-4E5F-4B60-9D12-6E3F4A5B7C81}";
    Check(present == expected, "PropertyHandlers\\" + Narrow(extension));
    const std::wstring details = ReadValue(L"SystemFileAssociations\\" + extension, L"PreviewDetails");
    Check((details.rfind(L"prop:System.Image.Dimensions;Mirelth.Texture.Encoding", 0) == 0) == expected,
          "PreviewDetails of " + Narrow(extension));
  }
}

// The preview handler's keys: its class (with the preview host's AppID), the handler key of every extension under
// SystemFileAssociations, and its entry in PreviewHandlers (HKEY_LOCAL_MACHINE, or the user's).
const wchar_t* const kPreviewClassKey = L"CLSID\\{3F6C2A91-7B4D-4E8A-B5C3-9D1E2F4A6B78}";
std::wstring PreviewListEntry() {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(userHive ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers", 0, KEY_READ,
                    &handle) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  const LSTATUS status = RegQueryValueExW(handle, L"{3F6C2A91-7B4D-4E8A-B5C3-9D1E2F4A6B78}", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  return status == ERROR_SUCCESS ? std::wstring(buffer) : L"<missing>";
}
void ExpectPreviewHandler(bool registered) {
  Check((ReadValue(kPreviewClassKey, nullptr) == L"MirelthThumbnail Preview") == registered,
        std::string("preview handler class ") + (registered ? "registered" : "absent"));
  Check((ReadValue(kPreviewClassKey, L"AppID") == L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}") == registered,
        "preview handler AppID");
  for (const std::wstring& extension : Extensions()) {
    const std::wstring key =
        L"SystemFileAssociations\\" + extension + L"\\shellex\\{8895b1c6-b41f-4c1c-a562-0d564250836f}";
    Check((ReadValue(key, nullptr) == L"{3F6C2A91-7B4D-4E8A-B5C3-9D1E2F4A6B78}") == registered,
          "preview handler key of " + Narrow(extension));
  }
  Check((PreviewListEntry() == L"MirelthThumbnail Preview") == registered, "PreviewHandlers entry");
}

void ExpectRegistered(const std::wstring& dllPath) {
  Check(ReadValue(kClassKey, nullptr) == L"MirelthThumbnail", "class key default value");
  const std::wstring server = ReadValue(std::wstring(kClassKey) + L"\\InprocServer32", nullptr);
  Check(lstrcmpiW(server.c_str(), dllPath.c_str()) == 0, "InprocServer32 is the DLL's full path: " + Narrow(server));
  Check(ReadValue(std::wstring(kClassKey) + L"\\InprocServer32", L"ThreadingModel") == L"Apartment",
        "ThreadingModel Apartment");
  for (const std::wstring& extension : Extensions()) {
    for (const std::wstring& key : HandlerKeys(extension)) {
      Check(ReadValue(key, nullptr) == L"{5C3E8A14-27D9-4B6F-8E01-B4A9D2C7F365}", "handler key " + Narrow(key));
    }
  }
  ExpectPropertyHandler(true);
  ExpectPreviewHandler(true);
}

void ExpectUnregistered() {
  Check(ReadValue(kClassKey, nullptr) == L"<missing>", "class key removed");
  for (const std::wstring& extension : Extensions()) {
    for (const std::wstring& key : HandlerKeys(extension)) {
      Check(ReadValue(key, nullptr) == L"<missing>", "handler " + Narrow(key) + " removed");
    }
  }
  ExpectPropertyHandler(false);
  ExpectPreviewHandler(false);
}

// The property handler as Explorer drives it, for each file: the class through the registry, initialised with a
// stream on the file, every property read (and a write refused); one line a file, "key=value" pairs with the names
// --info --json uses, for the script to compare with the command line's facts.
void PropertiesThroughTheRegistry(const std::vector<std::string>& files) {
  Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "CoInitializeEx");
  const struct {
    GUID format;
    DWORD pid;
    const char* key;
  } names[] = {
      {kImagePropertiesFormat, 3, "width"},          {kImagePropertiesFormat, 4, "height"},
      {kImagePropertiesFormat, 7, "bits_per_pixel"}, {kMirelthPropertiesFormat, 2, "encoding"},
      {kMirelthPropertiesFormat, 3, "levels"},       {kMirelthPropertiesFormat, 4, "faces"},
      {kMirelthPropertiesFormat, 5, "layers"},       {kMirelthPropertiesFormat, 6, "depth"},
      {kMirelthPropertiesFormat, 7, "alpha"},        {kMirelthPropertiesFormat, 8, "colour_space"},
      {kMirelthPropertiesFormat, 10, "container"},   {kMirelthPropertiesFormat, 11, "colour_mode"},
      {kMirelthPropertiesFormat, 13, "channels"},    {kMirelthPropertiesFormat, 14, "layer_count"},
  };
  for (const std::string& name : files) {
    IInitializeWithStream* init = nullptr;
    Check(CoCreateInstance(kClsidMirelthProperties, nullptr, CLSCTX_INPROC_SERVER, kIidIInitializeWithStream,
                           reinterpret_cast<void**>(&init)) == S_OK &&
              init,
          name + ": the property handler through the registry");
    if (!init) continue;
    IStream* stream = nullptr;
    Check(SUCCEEDED(SHCreateStreamOnFileEx(FullPath(name).c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                           FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream)),
          name + ": a stream on the file");
    if (stream) {
      Check(init->Initialize(stream, STGM_READ) == S_OK, name + ": Initialize");
      stream->Release();
    }
    IPropertyStore* store = nullptr;
    init->QueryInterface(kIidIPropertyStore, reinterpret_cast<void**>(&store));
    init->Release();
    if (!store) continue;
    DWORD count = 0;
    store->GetCount(&count);
    std::string line = "file=" + name;
    for (DWORD i = 0; i < count; ++i) {
      PROPERTYKEY key{};
      PROPVARIANT value;
      if (FAILED(store->GetAt(i, &key)) || FAILED(store->GetValue(key, &value))) continue;
      for (const auto& n : names) {
        if (n.pid != key.pid || !SameGuid(n.format, key.fmtid)) continue;
        if (value.vt == VT_UI4) line += std::string("\t") + n.key + "=" + std::to_string(value.ulVal);
        if (value.vt == VT_LPWSTR) line += std::string("\t") + n.key + "=" + WideToUtf8(value.pwszVal);
      }
      PropVariantClear(&value);
    }
    PROPVARIANT none;
    PropVariantInit(&none);
    Check(store->SetValue(PROPERTYKEY{kImagePropertiesFormat, 3}, none) == STG_E_ACCESSDENIED,
          name + ": SetValue refused");
    store->Release();
    std::printf("%s\n", line.c_str());
  }
  CoUninitialize();
}

using ServerCall = HRESULT(STDAPICALLTYPE*)();

HRESULT CallExport(const std::wstring& dllPath, const char* name) {
  HMODULE module = LoadLibraryW(dllPath.c_str());
  if (!module) return E_FAIL;
  auto function = reinterpret_cast<ServerCall>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  const HRESULT result = function ? function() : E_NOTIMPL;
  FreeLibrary(module);
  return result;
}

// Our own decode of the file, linked into this program: the reference (the full decode, or the reference
// thumbnail at cx: a full decode of the level the thumbnail draws from, through the same filter).
Picture ReferenceImage(const std::wstring& path, UINT cx = 0) {
  Picture picture;
  IInitializeWithFile* init = nullptr;
  if (FAILED(CreateThumbnailProvider(nullptr, kIidIInitializeWithFile, reinterpret_cast<void**>(&init))))
    return picture;
  IMirelthThumbnailDetails* details = nullptr;
  HBITMAP bitmap = nullptr;
  if (SUCCEEDED(init->Initialize(path.c_str(), STGM_READ)) &&
      SUCCEEDED(init->QueryInterface(kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details))) &&
      SUCCEEDED(cx ? details->GetReferenceThumbnail(cx, &bitmap) : details->GetFullImage(&bitmap))) {
    picture = ReadPixels(bitmap);
    DeleteObject(bitmap);
  }
  if (details) details->Release();
  init->Release();
  return picture;
}

// The DLL's thumbnail is exactly our reference thumbnail.
bool MatchesReference(const Picture& thumb, const Picture& reference, std::string* why) {
  if (thumb.width != reference.width || thumb.height != reference.height) {
    *why = "size " + std::to_string(thumb.width) + "x" + std::to_string(thumb.height);
    return false;
  }
  if (thumb.pixels != reference.pixels) {
    *why = "pixels differ from the reference thumbnail";
    return false;
  }
  return true;
}

enum class Path { Stream, File, Item };
const char* Name(Path path) { return path == Path::Stream ? "stream" : path == Path::File ? "file" : "item"; }

HRESULT InitializeThrough(IThumbnailProvider* provider, Path path, const std::wstring& file) {
  HRESULT result = E_FAIL;
  if (path == Path::Stream) {
    IStream* stream = nullptr;
    if (FAILED(SHCreateStreamOnFileEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                      nullptr, &stream))) {
      return E_FAIL;
    }
    IInitializeWithStream* init = nullptr;
    if (SUCCEEDED(provider->QueryInterface(kIidIInitializeWithStream, reinterpret_cast<void**>(&init)))) {
      result = init->Initialize(stream, STGM_READ);
      init->Release();
    }
    stream->Release();
  } else if (path == Path::File) {
    IInitializeWithFile* init = nullptr;
    if (SUCCEEDED(provider->QueryInterface(kIidIInitializeWithFile, reinterpret_cast<void**>(&init)))) {
      result = init->Initialize(file.c_str(), STGM_READ);
      init->Release();
    }
  } else {
    IShellItem* item = nullptr;
    if (FAILED(SHCreateItemFromParsingName(file.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(&item)))) {
      return E_FAIL;
    }
    IInitializeWithItem* init = nullptr;
    if (SUCCEEDED(provider->QueryInterface(kIidIInitializeWithItem, reinterpret_cast<void**>(&init)))) {
      result = init->Initialize(item, STGM_READ);
      init->Release();
    }
    item->Release();
  }
  return result;
}

void ThumbnailRound(const std::wstring& file) {
  const std::string name = Narrow(file);
  const Picture full = ReferenceImage(file);
  Check(full.width > 0, name + ": reference decode");
  if (full.width == 0) return;
  const UINT longer = static_cast<UINT>(std::max(full.width, full.height));
  for (Path path : {Path::Stream, Path::File, Path::Item}) {
    for (UINT cx : {longer, 64u, 200u}) {
      const std::string what = name + " via " + Name(path) + " at " + std::to_string(cx);
      IThumbnailProvider* provider = nullptr;
      const HRESULT created = CoCreateInstance(kClsidMirelthThumbnail, nullptr, CLSCTX_INPROC_SERVER,
                                               kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
      Check(created == S_OK && provider, what + ": CoCreateInstance");
      if (!provider) continue;
      Check(SUCCEEDED(InitializeThrough(provider, path, file)), what + ": Initialize");
      HBITMAP bitmap = nullptr;
      WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
      const HRESULT drawn = provider->GetThumbnail(cx, &bitmap, &alpha);
      Check(drawn == S_OK && bitmap && alpha == WTSAT_ARGB, what + ": GetThumbnail");
      if (bitmap) {
        std::string why;
        Check(MatchesReference(ReadPixels(bitmap), ReferenceImage(file, cx), &why), what + ": " + why);
        DeleteObject(bitmap);
      }
      // While the provider lives the DLL must stay; after its last Release it may go.
      HMODULE dll = GetModuleHandleW(L"MirelthThumbnail.dll");
      auto canUnload =
          dll ? reinterpret_cast<ServerCall>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow"))) : nullptr;
      Check(canUnload && canUnload() == S_FALSE, what + ": DllCanUnloadNow while a provider lives");
      provider->Release();
      Check(canUnload && canUnload() == S_OK, what + ": DllCanUnloadNow after the last Release");
    }
  }
}

int Finish() {
  std::printf("e2e: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

// Thumbnails of the files through the class as the registry has it, compared with our own decode.
void ThumbnailsThroughTheRegistry(const std::vector<std::string>& files) {
  Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "CoInitializeEx");
  for (const std::string& name : files) {
    if (name == "--user") continue;
    const std::wstring file = FullPath(name);
    IThumbnailProvider* provider = nullptr;
    if (userHive) {
      // Windows merges the user's classes into HKEY_CLASSES_ROOT for CoCreateInstance; Wine does not, so the
      // class is resolved as the shell would: the user's InprocServer32, loaded, asked for its class object.
      const std::wstring server = ReadValue(std::wstring(kClassKey) + L"\\InprocServer32", nullptr);
      HMODULE module = LoadLibraryW(server.c_str());
      using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
      auto get =
          module
              ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
              : nullptr;
      IClassFactory* factory = nullptr;
      if (get && SUCCEEDED(get(kClsidMirelthThumbnail, kIidIClassFactory, reinterpret_cast<void**>(&factory)))) {
        factory->CreateInstance(nullptr, kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
        factory->Release();
      }
      Check(provider != nullptr, name + ": the class from the user's registration");
    } else {
      Check(CoCreateInstance(kClsidMirelthThumbnail, nullptr, CLSCTX_INPROC_SERVER, kIidIThumbnailProvider,
                             reinterpret_cast<void**>(&provider)) == S_OK &&
                provider,
            name + ": CoCreateInstance through the registry");
    }
    if (!provider) continue;
    Check(SUCCEEDED(InitializeThrough(provider, Path::File, file)), name + ": Initialize");
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    Check(provider->GetThumbnail(64, &bitmap, &alpha) == S_OK && bitmap, name + ": GetThumbnail");
    if (bitmap) {
      std::string why;
      Check(MatchesReference(ReadPixels(bitmap), ReferenceImage(file, 64), &why), name + ": " + why);
      DeleteObject(bitmap);
    }
    provider->Release();
  }
  CoUninitialize();
}

// The preview pane as the preview host drives it, in a real window: the class through the registry, a stream on
// the file, SetWindow / SetRect / DoPreview; the pane's pixels read back from its window and its picture area
// compared with our own filtered drawing of the file at the fitted size over the checkerboard; the keys, a
// resize, the host's colours; Unload and Release with no GDI object left.
struct Pane {
  HWND host = nullptr;
  IPreviewHandler* handler = nullptr;
};

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

void Pump() {
  MSG message;
  for (int i = 0; i < 4; ++i) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(2);
  }
}

// The child window's pixels, top row first.
Picture Capture(HWND window) {
  Picture picture;
  RECT rect{};
  GetClientRect(window, &rect);
  picture.width = rect.right, picture.height = rect.bottom;
  if (picture.width <= 0 || picture.height <= 0) return Picture{};
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  HDC source = GetDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, picture.width, picture.height, source, 0, 0, SRCCOPY);
  GdiFlush();
  picture.pixels.assign(static_cast<const uint32_t*>(bits),
                        static_cast<const uint32_t*>(bits) + static_cast<size_t>(picture.width) * picture.height);
  for (uint32_t& p : picture.pixels) p |= 0xFF000000u;  // the screen has no alpha
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  return picture;
}

// Our drawing of level 0 of `file` at the size the pane fits it to, over the checkerboard, and where it lies.
struct ExpectedPane {
  Picture image;
  int32_t x = 0, y = 0;
  bool drawn = false;
};
ExpectedPane ExpectPane(const std::wstring& file, int32_t width, int32_t height, int32_t lineHeight) {
  ExpectedPane e;
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return e;
  LARGE_INTEGER size{};
  GetFileSizeEx(handle, &size);
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(handle);
  MemorySource source(bytes.data(), bytes.size());
  const Container* container = ContainerFor(FileTypeFromName(reinterpret_cast<const WCHAR*>(file.c_str())));
  OpenOptions options;
  PicturePtr picture;
  DecodeFailure failure;
  if (!container || !container->openPicture(source, options, &picture, &failure)) return e;
  const int32_t areaWidth = width - 2 * kPreviewMargin, areaHeight = height - 3 * kPreviewMargin - lineHeight;
  int32_t tw = 0, th = 0;
  FitToArea(picture->width(), picture->height(), areaWidth, areaHeight, &tw, &th);
  HBITMAP bitmap = nullptr;
  if (!picture->DrawThumbnail(tw, th, false, &bitmap, &failure)) return e;
  e.image = ReadPixels(bitmap);
  DeleteObject(bitmap);
  for (int32_t y = 0; y < e.image.height; ++y) {
    for (int32_t x = 0; x < e.image.width; ++x) {
      uint32_t& p = e.image.pixels[static_cast<size_t>(y) * e.image.width + x];
      p = OverCheckerboard(p, x, y);
    }
  }
  e.x = kPreviewMargin + (areaWidth - e.image.width) / 2;
  e.y = kPreviewMargin + (areaHeight - e.image.height) / 2;
  e.drawn = true;
  return e;
}

// Picture pixels of the capture that differ from the expected drawing (by more than 1: the screen's depth).
int Differences(const Picture& shot, const ExpectedPane& e) {
  int wrong = 0;
  for (int32_t y = 0; y < e.image.height; ++y) {
    for (int32_t x = 0; x < e.image.width; ++x) {
      if (e.x + x >= shot.width || e.y + y >= shot.height) return -1;
      const uint32_t a = shot.at(e.x + x, e.y + y), b = e.image.at(x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 1 || d < -1) {
          ++wrong;
          break;
        }
      }
    }
  }
  return wrong;
}

int32_t GuiLineHeight(HWND window) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return metrics.tmHeight;
}

void PreviewThroughTheRegistry(const std::vector<std::string>& files) {
  Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "CoInitializeEx");
  WNDCLASSW type{};
  type.lpfnWndProc = HostProcedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"MirelthPreviewHost";
  RegisterClassW(&type);
  HWND host = CreateWindowExW(0, type.lpszClassName, L"preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 500,
                              nullptr, nullptr, type.hInstance, nullptr);
  Check(host != nullptr, "the host window");
  if (!host) return;
  Pump();
  const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  DWORD handlesBefore = 0, handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  for (const std::string& name : files) {
    const std::wstring file = FullPath(name);
    IPreviewHandler* handler = nullptr;
    Check(CoCreateInstance(kClsidMirelthPreview, nullptr, CLSCTX_INPROC_SERVER, kIidIPreviewHandler,
                           reinterpret_cast<void**>(&handler)) == S_OK &&
              handler,
          name + ": CoCreateInstance of the preview handler");
    if (!handler) continue;
    IStream* stream = nullptr;
    SHCreateStreamOnFileEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr,
                           &stream);
    IInitializeWithStream* init = nullptr;
    handler->QueryInterface(kIidIInitializeWithStream, reinterpret_cast<void**>(&init));
    Check(init && stream && init->Initialize(stream, STGM_READ) == S_OK, name + ": Initialize");
    if (init) init->Release();
    if (stream) stream->Release();
    RECT rect{10, 10, 330, 250};
    Check(handler->SetWindow(host, &rect) == S_OK && handler->DoPreview() == S_OK, name + ": DoPreview");
    Pump();
    HWND pane = GetWindow(host, GW_CHILD);
    Check(pane != nullptr, name + ": the pane's window");
    if (!pane) {
      handler->Release();
      continue;
    }
    const int32_t line = GuiLineHeight(pane);
    ExpectedPane e = ExpectPane(file, 320, 240, line);
    Picture shot = Capture(pane);
    if (e.drawn) {
      const int wrong = Differences(shot, e);
      Check(wrong == 0, name + ": the pane shows the filtered drawing (" + std::to_string(wrong) + " pixels differ)");
      // R: the red channel as gray; R again: colour.
      SendMessageW(pane, WM_KEYDOWN, 'R', 0);
      shot = Capture(pane);
      const uint32_t p = shot.at(e.x + e.image.width / 2, e.y + e.image.height / 2);
      Check(((p >> 16) & 0xFF) == ((p >> 8) & 0xFF) && (p & 0xFF) == ((p >> 8) & 0xFF), name + ": R shows gray");
      SendMessageW(pane, WM_KEYDOWN, 'R', 0);
      for (const WPARAM key : {WPARAM('G'), WPARAM('G'), WPARAM('B'), WPARAM('B'), WPARAM('A'), WPARAM('A'),
                               WPARAM('M'), WPARAM('N'), WPARAM('F'), WPARAM('F')}) {
        SendMessageW(pane, WM_KEYDOWN, key, 0);
      }
      // Resize: the picture refitted.
      RECT smaller{10, 10, 210, 170};
      Check(handler->SetRect(&smaller) == S_OK, name + ": SetRect");
      Pump();
      if (!name.empty() && name.find("cube") == std::string::npos) {
        const ExpectedPane small = ExpectPane(file, 200, 160, line);
        const int wrongSmall = Differences(Capture(pane), small);
        Check(wrongSmall == 0, name + ": resized (" + std::to_string(wrongSmall) + " pixels differ)");
      }
    } else {
      // A refusal: its reason in the line, nothing else drawn over the background.
      int text = 0;
      for (int32_t y = shot.height - kPreviewMargin - line; y >= 0 && y < shot.height; ++y) {
        for (int32_t x = 0; x < shot.width; ++x) text += shot.at(x, y) != shot.at(0, 0);
      }
      Check(text > 0, name + ": the refusal's reason is written");
    }
    // The host's colours.
    IPreviewHandlerVisuals* visuals = nullptr;
    if (SUCCEEDED(handler->QueryInterface(kIidIPreviewHandlerVisuals, reinterpret_cast<void**>(&visuals)))) {
      visuals->SetBackgroundColor(RGB(10, 20, 30));
      visuals->SetTextColor(RGB(250, 250, 0));
      visuals->Release();
      Pump();
      Check((Capture(pane).at(1, 1) & 0xFFFFFF) == 0x0A141E, name + ": the host's background");
    }
    Check(handler->Unload() == S_OK, name + ": Unload");
    Pump();
    Check(GetWindow(host, GW_CHILD) == nullptr, name + ": Unload takes the pane's window away");
    handler->Release();
  }
  const DWORD gdiAfter = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  Check(handlesAfter <= handlesBefore + 2,
        "handles " + std::to_string(handlesBefore) + " before, " + std::to_string(handlesAfter) + " after");
  Check(gdiAfter <= gdiBefore,
        "GDI objects " + std::to_string(gdiBefore) + " before, " + std::to_string(gdiAfter) + " after");
  DestroyWindow(host);
  CoUninitialize();
}

int Run(const std::vector<std::string>& args) {
  userHive = std::find(args.begin(), args.end(), "--user") != args.end();
  if (args.size() >= 3 && args[1] == "--expect-registered") {
    ExpectRegistered(FullPath(args[2]));
    return Finish();
  }
  if (args.size() >= 2 && args[1] == "--expect-unregistered") {
    ExpectUnregistered();
    return Finish();
  }
  if (args.size() >= 3 && args[1] == "--properties") {
    PropertiesThroughTheRegistry(std::vector<std::string>(args.begin() + 2, args.end()));
    return Finish();
  }
  if (args.size() >= 3 && args[1] == "--preview") {
    PreviewThroughTheRegistry(std::vector<std::string>(args.begin() + 2, args.end()));
    return Finish();
  }
  if (args.size() >= 3 && args[1] == "--thumbnail") {
    ThumbnailsThroughTheRegistry(std::vector<std::string>(args.begin() + 2, args.end()));
    return Finish();
  }
  if (args.size() < 3) {
    std::fprintf(stderr,
                 "usage: e2e_client DLL FILE... | --expect-registered DLL [--user] | --expect-unregistered [--user] | "
                 "--thumbnail FILE... | --properties FILE... | --preview FILE...\n");
    return 2;
  }
  const std::wstring dll = FullPath(args[1]);

  // Another program's value on an extension key must survive our unregistration.
  HKEY other = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L".dds", 0, nullptr, 0, KEY_WRITE, nullptr, &other, nullptr) ==
      ERROR_SUCCESS) {
    const wchar_t value[] = L"OtherApp.Texture";
    RegSetValueExW(other, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    RegCloseKey(other);
  }

  Check(CallExport(dll, "DllRegisterServer") == S_OK, "DllRegisterServer");
  ExpectRegistered(dll);

  Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "CoInitializeEx");
  for (size_t i = 2; i < args.size(); ++i) ThumbnailRound(FullPath(args[i]));
  CoFreeUnusedLibrariesEx(0, 0);
  Check(GetModuleHandleW(L"MirelthThumbnail.dll") == nullptr, "CoFreeUnusedLibraries unloads the DLL");
  CoUninitialize();

  Check(CallExport(dll, "DllUnregisterServer") == S_OK, "DllUnregisterServer");
  ExpectUnregistered();
  Check(ReadValue(L".dds", nullptr) == L"OtherApp.Texture", "another program's .dds value survives");
  Check(CallExport(dll, "DllUnregisterServer") == S_OK, "unregistering twice");
  SHDeleteKeyW(HKEY_CLASSES_ROOT, L".dds");
  return Finish();
}

}  // namespace
}  // namespace mirelth

int main(int argc, char** argv) { return mirelth::Run(mirelth::CommandLineUtf8(argc, argv)); }
