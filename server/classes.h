// The table of COM classes the DLL serves: one row a class, with its identifier, its name, how an object is made
// and the keys that make Windows use it for each extension of the table of containers. The class factory, the
// class object lookup and registration read it; a new class is a row here and its file.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace mirelth {

// A key per extension that names the class as a handler: prefix + extension + suffix, its default value the class
// identifier. Unregistration deletes the key with what is below it.
struct HandlerKey {
  const WCHAR* prefix;  // "" or "SystemFileAssociations\\"
  const WCHAR* suffix;  // "\\shellex\\{...}"
};
inline constexpr size_t kMaxHandlerKeys = 4;

struct ComClass {
  const GUID* clsid;
  const WCHAR* clsidText;  // "{5C3E8A14-...}"
  const WCHAR* name;       // the class key's default value
  // A new object for the caller's interface, holding a server lock through `factory` for its life.
  HRESULT (*create)(IClassFactory* factory, REFIID riid, void** object);
  HandlerKey handlerKeys[kMaxHandlerKeys];  // a null prefix ends the list
};

const ComClass* ComClasses(size_t* count);
const ComClass* ComClassFor(REFCLSID clsid);

}  // namespace mirelth
