#include "server/classes.h"

#include "server/module.h"
#include "server/provider.h"

namespace mirelth {
namespace {

// The interface identifier of IThumbnailProvider names the thumbnail handler subkey. Explorer reads the key under
// SystemFileAssociations first, so another program's plain extension handler does not hide ours.
constexpr const WCHAR* kThumbnailHandlerKey = MIRELTH_W("\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}");

constexpr ComClass kClasses[] = {
    {&kClsidMirelthThumbnail,
     kClsidMirelthThumbnailText,
     MIRELTH_W("MirelthThumbnail"),
     CreateThumbnailProvider,
     {{MIRELTH_W(""), kThumbnailHandlerKey}, {MIRELTH_W("SystemFileAssociations\\"), kThumbnailHandlerKey}}},
};

}  // namespace

const ComClass* ComClasses(size_t* count) {
  *count = sizeof kClasses / sizeof kClasses[0];
  return kClasses;
}

const ComClass* ComClassFor(REFCLSID clsid) {
  for (const ComClass& c : kClasses) {
    if (SameGuid(clsid, *c.clsid)) return &c;
  }
  return nullptr;
}

}  // namespace mirelth
