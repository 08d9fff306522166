// The table of COM classes the DLL serves: one row a class, with its identifier, its name, how an object is made
// and the keys that make Windows use it for each extension of the table of containers. The class factory, the
// class object lookup and registration read it; a new class is a row here and its file.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace mirelth {

// A key per extension that names the class as a handler: prefix + extension + suffix, its default value the class
// identifier. Unregistration deletes the key with what is below it. Keys under the classes root by default; some
// (property handlers) under HKEY_LOCAL_MACHINE itself, which only an all-users registration writes.
struct HandlerKey {
  const WCHAR* prefix;  // "" or "SystemFileAssociations\\"
  const WCHAR* suffix;  // "\\shellex\\{...}"
  bool localMachine = false;
};
// A value per extension under SystemFileAssociations\<ext> (the details lists of a property handler). Registration
// writes it; unregistration deletes it only while it still holds what we wrote (another handler's stays).
struct HandlerValue {
  const WCHAR* name;  // "PreviewDetails"
  const WCHAR* data;
};
inline constexpr size_t kMaxHandlerValues = 4;
inline constexpr size_t kMaxHandlerKeys = 4;

struct ComClass {
  const GUID* clsid;
  const WCHAR* clsidText;  // "{5C3E8A14-...}"
  const WCHAR* name;       // the class key's default value
  // A new object for the caller's interface, holding a server lock through `factory` for its life.
  HRESULT (*create)(IClassFactory* factory, REFIID riid, void** object);
  HandlerKey handlerKeys[kMaxHandlerKeys];             // a null prefix ends the list
  HandlerValue handlerValues[kMaxHandlerValues] = {};  // a null name ends the list
  bool allUsersOnly = false;      // Windows reads it for all users only: a per-user registration leaves it out
  const WCHAR* schema = nullptr;  // a property schema beside the library, registered with the class
  const WCHAR* appId = nullptr;   // the class key's AppID value: the surrogate process that hosts it
  // A list that names the class: a value named by the class identifier, holding the class name, under this key
  // of HKEY_LOCAL_MACHINE (all users) or HKEY_CURRENT_USER (per user).
  const WCHAR* listKey = nullptr;
};

const ComClass* ComClasses(size_t* count);
const ComClass* ComClassFor(REFCLSID clsid);

}  // namespace mirelth
