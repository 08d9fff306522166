// Module entry, the class objects and the unload test. Each class of the class table has one constant-initialised
// static factory whose AddRef and Release count on the module count; every live object holds one server lock.
#include "server/module.h"

#include <atomic>

#include "server/classes.h"

namespace mirelth {
namespace {

std::atomic<long> moduleCount{0};
HMODULE moduleHandle = nullptr;

class ClassFactory final : public IClassFactory {
 public:
  constexpr explicit ClassFactory(size_t index) : index_(index) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!SameGuid(riid, kIidIUnknown) && !SameGuid(riid, kIidIClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The factory lives as long as the library: its references are the module's.
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++moduleCount;
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    --moduleCount;
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // new (nothrow), QueryInterface for the caller, then drop the construction reference.
    size_t count = 0;
    const ComClass* classes = ComClasses(&count);
    return classes[index_].create(this, riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++moduleCount;
    } else {
      --moduleCount;
    }
    return S_OK;
  }

 private:
  size_t index_;  // the class's row in the class table
};

// One factory a class, by the class table's row.
constexpr size_t kMaxClasses = 4;
constinit ClassFactory factories[kMaxClasses] = {ClassFactory(0), ClassFactory(1), ClassFactory(2), ClassFactory(3)};

ClassFactory* FactoryFor(REFCLSID clsid) {
  size_t count = 0;
  const ComClass* classes = ComClasses(&count);
  for (size_t i = 0; i < count && i < kMaxClasses; ++i) {
    if (SameGuid(clsid, *classes[i].clsid)) return &factories[i];
  }
  return nullptr;
}

}  // namespace

long ModuleCount() { return moduleCount.load(); }
HMODULE ModuleHandle() { return moduleHandle; }

}  // namespace mirelth

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    mirelth::moduleHandle = static_cast<HMODULE>(instance);
    DisableThreadLibraryCalls(static_cast<HMODULE>(instance));
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // The class is tested before the interface.
  mirelth::ClassFactory* factory = mirelth::FactoryFor(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() { return mirelth::moduleCount.load() == 0 ? S_OK : S_FALSE; }
