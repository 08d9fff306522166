#include "server/classes.h"

#include "server/module.h"
#include "server/preview_handler.h"
#include "server/property_handler.h"
#include "server/provider.h"

namespace mirelth {
namespace {

// The interface identifier of IThumbnailProvider names the thumbnail handler subkey. Explorer reads the key under
// SystemFileAssociations first, so another program's plain extension handler does not hide ours.
constexpr const WCHAR* kThumbnailHandlerKey = MIRELTH_W("\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}");

// Property handlers are read from HKEY_LOCAL_MACHINE only: Explorer asks for them for all users.
constexpr const WCHAR* kPropertyHandlers =
    MIRELTH_W("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\");

// The interface identifier of IPreviewHandler names the preview handler subkey; the preview host (prevhost.exe)
// is the surrogate of its AppID, and Explorer lists preview handlers under PreviewHandlers.
constexpr const WCHAR* kPreviewHandlerKey = MIRELTH_W("\\shellex\\{8895b1c6-b41f-4c1c-a562-0d564250836f}");
constexpr const WCHAR* kPreviewHostAppId = MIRELTH_W("{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}");
constexpr const WCHAR* kPreviewHandlers = MIRELTH_W("Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers");

// clang-format off
const ComClass kClasses[] = {
    {&kClsidMirelthThumbnail, kClsidMirelthThumbnailText, MIRELTH_W("MirelthThumbnail"), CreateThumbnailProvider,
     {{MIRELTH_W(""), kThumbnailHandlerKey}, {MIRELTH_W("SystemFileAssociations\\"), kThumbnailHandlerKey}}},
    {&kClsidMirelthProperties, kClsidMirelthPropertiesText, MIRELTH_W("MirelthThumbnail Properties"),
     CreatePropertyHandler,
     {{kPropertyHandlers, MIRELTH_W(""), true}},
     {{MIRELTH_W("PreviewDetails"), DetailsList(true)}, {MIRELTH_W("FullDetails"), DetailsList(false)},
      {MIRELTH_W("InfoTip"), DetailsList(true)}},
     true, MIRELTH_W("MirelthThumbnail.propdesc")},
    {&kClsidMirelthPreview, kClsidMirelthPreviewText, MIRELTH_W("MirelthThumbnail Preview"), CreatePreviewHandler,
     {{MIRELTH_W("SystemFileAssociations\\"), kPreviewHandlerKey}},
     {}, false, nullptr, kPreviewHostAppId, kPreviewHandlers},
};
// clang-format on

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
