// Registration as the in-process server of our class and as the thumbnail handler of every extension in the
// table of containers: machine-wide under HKEY_CLASSES_ROOT (DllRegisterServer, or DllInstall without "user"),
// or for the current user under HKEY_CURRENT_USER\Software\Classes (DllInstall with "user": regsvr32 /n /i:user).
// The handler is written under the extension and under SystemFileAssociations\<extension>, which Explorer consults
// first. One table of rows serves both operations: register writes every row in order (the class rows, then the
// handler rows once per extension); unregister deletes the rows that own a key tree (the class key takes
// InprocServer32 with it) and leaves the extension keys, and whatever other software keeps under them, alone.
// Either way the shell is told that associations changed, so Explorer picks the change up without a restart.
#include <memory>
#include <type_traits>
#include <vector>

#include "formats/containers.h"
#include "server/module.h"

namespace mirelth {
namespace {

// The interface identifier of IThumbnailProvider names the handler subkey.
constexpr const WCHAR* kThumbnailHandlerKey = MIRELTH_W("\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}");
// Long paths: the largest a Windows path can be, so that nothing is cut short.
constexpr DWORD kPathCapacity = 32768;

enum class Data { kClassName, kLibraryPath, kApartment, kClassId };

struct Row {
  const WCHAR* prefix;   // key name: prefix + (the class identifier, or the extension) + suffix
  bool perExtension;     // false: the key is built on the class identifier; true: once per container extension
  const WCHAR* suffix;
  const WCHAR* valueName;  // null: the default value
  Data data;
  bool ownsKeyTree;  // unregister deletes this key with everything below it
};

constexpr Row kRows[] = {
    {MIRELTH_W("CLSID\\"), false, MIRELTH_W(""), nullptr, Data::kClassName, true},
    {MIRELTH_W("CLSID\\"), false, MIRELTH_W("\\InprocServer32"), nullptr, Data::kLibraryPath, false},
    {MIRELTH_W("CLSID\\"), false, MIRELTH_W("\\InprocServer32"), MIRELTH_W("ThreadingModel"), Data::kApartment, false},
    {MIRELTH_W(""), true, kThumbnailHandlerKey, nullptr, Data::kClassId, true},
    {MIRELTH_W("SystemFileAssociations\\"), true, kThumbnailHandlerKey, nullptr, Data::kClassId, true},
};

// Where the rows go: the machine's classes, or the current user's.
struct Hive {
  HKEY root;
  const WCHAR* prefix;
};
const Hive kMachine{HKEY_CLASSES_ROOT, MIRELTH_W("")};
const Hive kUser{HKEY_CURRENT_USER, MIRELTH_W("Software\\Classes\\")};

WideString KeyName(const Hive& hive, const Row& row, const char* extension) {
  WideString name = hive.prefix;
  name += row.prefix;
  name += extension ? Utf8ToWide(extension) : WideString(kClsidMirelthThumbnailText);
  name += row.suffix;
  return name;
}

// Calls `visit(row, extension)` for every key the rows stand for; stops at the first false.
template <typename Visit>
bool ForEachKey(Visit visit) {
  size_t count = 0;
  const Container* containers = Containers(&count);
  for (const Row& row : kRows) {
    if (!row.perExtension) {
      if (!visit(row, nullptr)) return false;
      continue;
    }
    for (size_t i = 0; i < count; ++i) {
      if (!visit(row, containers[i].extension)) return false;
    }
  }
  return true;
}

struct KeyCloser {
  void operator()(HKEY key) const {
    if (key) RegCloseKey(key);
  }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Writes one REG_SZ value, creating its key; false when either cannot be done.
bool WriteRow(const Hive& hive, const Row& row, const char* extension, const WideString& data) {
  HKEY raw = nullptr;
  const WideString name = KeyName(hive, row, extension);
  if (RegCreateKeyExW(hive.root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &raw,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  UniqueKey key(raw);
  // Two bytes a character, the terminating null included.
  const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR));
  return RegSetValueExW(key.get(), row.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
         ERROR_SUCCESS;
}

// The library's full path; false when it cannot be had whole.
bool LibraryPath(WideString* path) {
  std::vector<WCHAR> buffer(kPathCapacity, 0);
  const DWORD length = GetModuleFileNameW(ModuleHandle(), buffer.data(), kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;  // failed, or cut short
  path->assign(buffer.data(), length);
  return true;
}

void NotifyShell() {
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  SystemParametersInfoW(SPI_SETICONS, 0, nullptr, SPIF_SENDCHANGE);
}

HRESULT Register(const Hive& hive) {
  WideString libraryPath;
  try {
    if (!LibraryPath(&libraryPath)) return E_FAIL;
    const bool written = ForEachKey([&](const Row& row, const char* extension) {
      WideString data;
      switch (row.data) {
        case Data::kClassName: data = MIRELTH_W("MirelthThumbnail"); break;
        case Data::kLibraryPath: data = libraryPath; break;
        case Data::kApartment: data = MIRELTH_W("Apartment"); break;
        case Data::kClassId: data = kClsidMirelthThumbnailText; break;
      }
      return WriteRow(hive, row, extension, data);
    });
    // A key or value that cannot be written is a broken install: say so.
    if (!written) return E_FAIL;
  } catch (...) {
    return E_OUTOFMEMORY;  // the only exception the strings can throw
  }
  NotifyShell();
  return S_OK;
}

HRESULT Unregister(const Hive& hive) {
  try {
    ForEachKey([&](const Row& row, const char* extension) {
      if (row.ownsKeyTree) SHDeleteKeyW(hive.root, KeyName(hive, row, extension).c_str());
      return true;
    });
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  NotifyShell();
  return S_OK;
}

// regsvr32 passes the text after /i: ("user" for the current user's classes), case as typed.
bool IsUser(LPCWSTR commandLine) {
  static constexpr char kWord[] = "user";
  if (!commandLine) return false;
  size_t i = 0;
  for (; commandLine[i] && i < 4; ++i) {
    const WCHAR c = commandLine[i];
    const WCHAR lower = c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + 32) : c;
    if (lower != static_cast<WCHAR>(kWord[i])) return false;
  }
  return i == 4 && commandLine[4] == 0;
}

}  // namespace
}  // namespace mirelth

STDAPI DllRegisterServer() { return mirelth::Register(mirelth::kMachine); }

STDAPI DllUnregisterServer() { return mirelth::Unregister(mirelth::kMachine); }

STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  using namespace mirelth;
  const Hive& hive = IsUser(commandLine) ? kUser : kMachine;
  return install ? Register(hive) : Unregister(hive);
}
