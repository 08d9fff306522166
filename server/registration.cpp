// Registration as the in-process server of every class of the class table and as each class's handler of every
// extension in the table of containers: machine-wide under HKEY_CLASSES_ROOT (DllRegisterServer, or DllInstall
// without "user"), or for the current user under HKEY_CURRENT_USER\Software\Classes (DllInstall with "user":
// regsvr32 /n /i:user). The tables serve both operations: register writes every key in order (a class's own rows,
// then its handler keys once per extension); unregister deletes the keys that own a key tree (the class key takes
// InprocServer32 with it) and leaves the extension keys, and whatever other software keeps under them, alone.
// Either way the shell is told that associations changed, so Explorer picks the change up without a restart.
#include <memory>
#include <type_traits>
#include <vector>

#include "formats/containers.h"
#include "server/classes.h"
#include "server/module.h"

namespace mirelth {
namespace {

// Long paths: the largest a Windows path can be, so that nothing is cut short.
constexpr DWORD kPathCapacity = 32768;

enum class Data { kClassName, kLibraryPath, kApartment, kClassId, kAppId };

// The keys of a class itself, built on its identifier.
struct Row {
  const WCHAR* prefix;  // key name: prefix + the class identifier + suffix
  const WCHAR* suffix;
  const WCHAR* valueName;  // null: the default value
  Data data;
  bool ownsKeyTree;  // unregister deletes this key with everything below it
};

constexpr Row kClassRows[] = {
    {MIRELTH_W("CLSID\\"), MIRELTH_W(""), nullptr, Data::kClassName, true},
    {MIRELTH_W("CLSID\\"), MIRELTH_W("\\InprocServer32"), nullptr, Data::kLibraryPath, false},
    {MIRELTH_W("CLSID\\"), MIRELTH_W("\\InprocServer32"), MIRELTH_W("ThreadingModel"), Data::kApartment, false},
    {MIRELTH_W("CLSID\\"), MIRELTH_W(""), MIRELTH_W("AppID"), Data::kAppId, false},  // classes with a surrogate
};

// Where the rows go: the machine's classes, or the current user's.
struct Hive {
  HKEY root;
  const WCHAR* prefix;
};
const Hive kMachine{HKEY_CLASSES_ROOT, MIRELTH_W("")};
const Hive kUser{HKEY_CURRENT_USER, MIRELTH_W("Software\\Classes\\")};

// One key of the registration: a class row (on the class identifier), a handler key or a handler value (on an
// extension).
struct Key {
  const ComClass* comClass;
  const Row* row;             // a class row, or null
  const HandlerKey* handler;  // a handler key, or null
  const HandlerValue* value;  // a handler value, or null
  const char* extension;      // the handler key's or value's extension
};

// Where a key lives: under the hive's classes, or (property handlers) under HKEY_LOCAL_MACHINE itself.
HKEY RootOf(const Hive& hive, const Key& key) {
  return key.handler && key.handler->localMachine ? HKEY_LOCAL_MACHINE : hive.root;
}

WideString KeyName(const Hive& hive, const Key& key) {
  WideString name = key.handler && key.handler->localMachine ? WideString() : WideString(hive.prefix);
  if (key.row) {
    name += key.row->prefix;
    name += key.comClass->clsidText;
    name += key.row->suffix;
  } else if (key.handler) {
    name += key.handler->prefix;
    name += Utf8ToWide(key.extension);
    name += key.handler->suffix;
  } else {
    name += MIRELTH_W("SystemFileAssociations\\");
    name += Utf8ToWide(key.extension);
  }
  return name;
}

// Calls `visit(key)` for every key the tables stand for, class by class (its own rows, then its handler keys and
// values once per extension), leaving out the classes Windows reads for all users only when `hive` is the user's;
// stops at the first false.
template <typename Visit>
bool ForEachKey(const Hive& hive, Visit visit) {
  size_t extensionCount = 0, classCount = 0;
  const Container* containers = Containers(&extensionCount);
  const ComClass* classes = ComClasses(&classCount);
  for (size_t c = 0; c < classCount; ++c) {
    if (classes[c].allUsersOnly && hive.root != HKEY_CLASSES_ROOT) continue;
    for (const Row& row : kClassRows) {
      if (row.data == Data::kAppId && !classes[c].appId) continue;
      if (!visit(Key{&classes[c], &row, nullptr, nullptr, nullptr})) return false;
    }
    for (const HandlerKey& handler : classes[c].handlerKeys) {
      if (!handler.prefix) break;
      for (size_t i = 0; i < extensionCount; ++i) {
        if (!visit(Key{&classes[c], nullptr, &handler, nullptr, containers[i].extension})) return false;
      }
    }
    for (const HandlerValue& value : classes[c].handlerValues) {
      if (!value.name) break;
      for (size_t i = 0; i < extensionCount; ++i) {
        if (!visit(Key{&classes[c], nullptr, nullptr, &value, containers[i].extension})) return false;
      }
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

const WCHAR* ValueName(const Key& key) {
  if (key.row) return key.row->valueName;
  if (key.value) return key.value->name;
  return nullptr;
}

// Writes one REG_SZ value, creating its key; false when either cannot be done.
bool WriteKey(const Hive& hive, const Key& key, const WideString& data) {
  HKEY raw = nullptr;
  const WideString name = KeyName(hive, key);
  if (RegCreateKeyExW(RootOf(hive, key), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &raw,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  UniqueKey opened(raw);
  // Two bytes a character, the terminating null included.
  const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR));
  return RegSetValueExW(opened.get(), ValueName(key), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
         ERROR_SUCCESS;
}

// A REG_SZ value of an open key; false when it is missing or not text.
bool ReadText(HKEY key, const WCHAR* name, WideString* text) {
  std::vector<WCHAR> data(4096, 0);
  DWORD type = 0, size = static_cast<DWORD>((data.size() - 1) * sizeof(WCHAR));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  text->assign(data.data());
  return true;
}
bool WriteText(HKEY key, const WCHAR* name, const WideString& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}
// Where another program's details list waits while ours stands in its place.
WideString SavedName(const HandlerValue& value) { return WideString(value.name) + MIRELTH_W(".MirelthSaved"); }

// Writes a handler value; another program's value there is kept aside (and put back by unregistration).
bool WriteHandlerValue(const Hive& hive, const Key& key) {
  HKEY raw = nullptr;
  const WideString name = KeyName(hive, key);
  if (RegCreateKeyExW(RootOf(hive, key), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  UniqueKey opened(raw);
  WideString current, saved;
  if (ReadText(opened.get(), key.value->name, &current) && current != key.value->data &&
      !ReadText(opened.get(), SavedName(*key.value).c_str(), &saved) &&
      !WriteText(opened.get(), SavedName(*key.value).c_str(), current)) {
    return false;
  }
  return WriteText(opened.get(), key.value->name, key.value->data);
}

// Deletes a handler value while it holds what we wrote, and puts back what another program had there.
void DeleteOurValue(const Hive& hive, const Key& key) {
  HKEY raw = nullptr;
  const WideString name = KeyName(hive, key);
  if (RegOpenKeyExW(RootOf(hive, key), name.c_str(), 0, KEY_READ | KEY_WRITE, &raw) != ERROR_SUCCESS) return;
  UniqueKey opened(raw);
  WideString current, saved;
  if (!ReadText(opened.get(), key.value->name, &current) || current != key.value->data) return;
  RegDeleteValueW(opened.get(), key.value->name);
  if (ReadText(opened.get(), SavedName(*key.value).c_str(), &saved)) {
    WriteText(opened.get(), key.value->name, saved);
    RegDeleteValueW(opened.get(), SavedName(*key.value).c_str());
  }
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

// The full path of a file beside the library.
bool BesideLibrary(const WideString& library, const WCHAR* file, WideString* path) {
  const size_t slash = library.find_last_of(MIRELTH_W("\\/"));
  if (slash == WideString::npos) return false;
  *path = library.substr(0, slash + 1) + file;
  return true;
}

// The lists that name a class (PreviewHandlers): HKEY_LOCAL_MACHINE for all users, HKEY_CURRENT_USER per user.
HKEY ListRoot(const Hive& hive) { return hive.root == HKEY_CLASSES_ROOT ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

bool WriteLists(const Hive& hive) {
  size_t count = 0;
  const ComClass* classes = ComClasses(&count);
  for (size_t c = 0; c < count; ++c) {
    if (!classes[c].listKey || (classes[c].allUsersOnly && hive.root != HKEY_CLASSES_ROOT)) continue;
    HKEY raw = nullptr;
    if (RegCreateKeyExW(ListRoot(hive), classes[c].listKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    UniqueKey opened(raw);
    if (!WriteText(opened.get(), classes[c].clsidText, classes[c].name)) return false;
  }
  return true;
}

// Deletes our entry of each list (the list key and its other entries stay).
void DeleteLists(const Hive& hive) {
  size_t count = 0;
  const ComClass* classes = ComClasses(&count);
  for (size_t c = 0; c < count; ++c) {
    HKEY raw = nullptr;
    if (!classes[c].listKey ||
        RegOpenKeyExW(ListRoot(hive), classes[c].listKey, 0, KEY_READ | KEY_WRITE, &raw) != ERROR_SUCCESS) {
      continue;
    }
    UniqueKey opened(raw);
    RegDeleteValueW(opened.get(), classes[c].clsidText);
  }
}

HRESULT Register(const Hive& hive) {
  WideString libraryPath;
  try {
    if (!LibraryPath(&libraryPath)) return E_FAIL;
    const bool written = ForEachKey(hive, [&](const Key& key) {
      WideString data;
      if (key.value) return WriteHandlerValue(hive, key);
      switch (key.row ? key.row->data : Data::kClassId) {
        case Data::kClassName: data = key.comClass->name; break;
        case Data::kLibraryPath: data = libraryPath; break;
        case Data::kApartment: data = MIRELTH_W("Apartment"); break;
        case Data::kClassId: data = key.comClass->clsidText; break;
        case Data::kAppId: data = key.comClass->appId; break;
      }
      return WriteKey(hive, key, data);
    });
    // A key or value that cannot be written is a broken install: say so.
    if (!written || !WriteLists(hive)) return E_FAIL;
    // Property schemas (all users only, as their classes).
    size_t count = 0;
    const ComClass* classes = ComClasses(&count);
    for (size_t c = 0; c < count && hive.root == HKEY_CLASSES_ROOT; ++c) {
      WideString schema;
      if (!classes[c].schema) continue;
      if (!BesideLibrary(libraryPath, classes[c].schema, &schema)) return E_FAIL;
      const HRESULT registered = PSRegisterPropertySchema(schema.c_str());
      if (FAILED(registered)) return registered;
    }
  } catch (...) {
    return E_OUTOFMEMORY;  // the only exception the strings can throw
  }
  NotifyShell();
  return S_OK;
}

HRESULT Unregister(const Hive& hive) {
  try {
    DeleteLists(hive);
    ForEachKey(hive, [&](const Key& key) {
      if (key.value) {
        DeleteOurValue(hive, key);
      } else if (!key.row || key.row->ownsKeyTree) {
        SHDeleteKeyW(RootOf(hive, key), KeyName(hive, key).c_str());
      }
      return true;
    });
    WideString libraryPath;
    size_t count = 0;
    const ComClass* classes = ComClasses(&count);
    for (size_t c = 0; c < count && hive.root == HKEY_CLASSES_ROOT && LibraryPath(&libraryPath); ++c) {
      WideString schema;
      if (classes[c].schema && BesideLibrary(libraryPath, classes[c].schema, &schema)) {
        PSUnregisterPropertySchema(schema.c_str());
      }
    }
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
