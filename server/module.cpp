// Module entry, the class object and the unload test. The factory is one constant-initialised static object
// whose AddRef and Release count on the module count; every live provider holds one server lock.
#include "server/module.h"

#include <atomic>

#include "server/provider.h"

namespace mirelth {
namespace {

std::atomic<long> moduleCount{0};
HMODULE moduleHandle = nullptr;

class MirelthThumbFactory final : public IClassFactory {
 public:
  constexpr MirelthThumbFactory() = default;

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
    return CreateThumbnailProvider(this, riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++moduleCount;
    } else {
      --moduleCount;
    }
    return S_OK;
  }
};

constinit MirelthThumbFactory factory;

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
  if (!mirelth::SameGuid(clsid, mirelth::kClsidMirelthThumbnail)) return CLASS_E_CLASSNOTAVAILABLE;
  return mirelth::factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() { return mirelth::moduleCount.load() == 0 ? S_OK : S_FALSE; }
