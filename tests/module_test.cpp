// The class object and the module count, and registration: the registry layout written and removed.
#include <gtest/gtest.h>

#include <string>

#include "formats/containers.h"
#include "server/module.h"
#include "server/properties.h"
#include "server/provider.h"

namespace mirelth {
namespace {

IClassFactory* GetFactory() {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(DllGetClassObject(kClsidMirelthThumbnail, kIidIClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  return factory;
}

TEST(Module, ClassObjectAndUnloadTest) {
  const long resting = ModuleCount();
  ASSERT_EQ(resting, 0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  // The class is tested before the interface.
  const GUID otherClass = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(otherClass, kIidIClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(kClsidMirelthThumbnail, kIidIThumbnailProvider, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(DllGetClassObject(kClsidMirelthThumbnail, kIidIClassFactory, nullptr), E_POINTER);
  // Twice the same factory; the count rises by two.
  IClassFactory* first = GetFactory();
  IClassFactory* second = GetFactory();
  EXPECT_EQ(first, second);
  EXPECT_EQ(ModuleCount(), resting + 2);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  second->Release();
  IUnknown* unknown = nullptr;
  EXPECT_EQ(first->QueryInterface(kIidIUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  unknown->Release();
  EXPECT_EQ(first->QueryInterface(kIidIThumbnailProvider, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  // A live provider holds the module; its last Release lets it go.
  IThumbnailProvider* provider = nullptr;
  ASSERT_EQ(first->CreateInstance(nullptr, kIidIThumbnailProvider, reinterpret_cast<void**>(&provider)), S_OK);
  first->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(provider->AddRef(), 2u);  // CreateInstance left exactly one reference
  EXPECT_EQ(provider->Release(), 1u);
  EXPECT_EQ(provider->Release(), 0u);
  EXPECT_EQ(ModuleCount(), resting);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(Module, CreateInstanceRefusalsLeaveTheCountAlone) {
  IClassFactory* factory = GetFactory();
  const long count = ModuleCount();
  void* object = reinterpret_cast<void*>(1);
  IUnknown* outer = factory;
  EXPECT_EQ(factory->CreateInstance(outer, kIidIUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidIClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidIUnknown, nullptr), E_POINTER);
  EXPECT_EQ(ModuleCount(), count);
  // Locks count too; an unmatched unlock leaves the count below rest, so the library stays.
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(ModuleCount(), count + 1);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Reads a REG_SZ value (under HKEY_CLASSES_ROOT unless said); "<missing>" when the key or value does not exist.
std::string ReadValue(const WCHAR* key, const WCHAR* name, HKEY root = HKEY_CLASSES_ROOT) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return "<missing>";
  WCHAR buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(WCHAR), type = 0;
  const LSTATUS status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<not REG_SZ>";
  if (size % sizeof(WCHAR) != 0 || size < sizeof(WCHAR) || buffer[size / sizeof(WCHAR) - 1] != 0) {
    return "<not null-terminated>";
  }
  return WideToUtf8(buffer);
}
bool KeyExists(const WCHAR* key, HKEY root = HKEY_CLASSES_ROOT) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

const char* const kClsid = "{5C3E8A14-27D9-4B6F-8E01-B4A9D2C7F365}";
// The thumbnail handler keys of every extension of the table of containers.
std::vector<WideString> HandlerKeys() {
  std::vector<WideString> keys;
  size_t count = 0;
  const Container* rows = Containers(&count);
  for (const char* prefix : {"", "SystemFileAssociations\\"}) {
    for (size_t i = 0; i < count; ++i) {
      keys.push_back(
          Utf8ToWide(std::string(prefix) + rows[i].extension + "\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}"));
    }
  }
  return keys;
}
#define CLASS_KEY MIRELTH_W("CLSID\\{5C3E8A14-27D9-4B6F-8E01-B4A9D2C7F365}")

std::string OwnPath() {
  WCHAR buffer[32768] = {};
  GetModuleFileNameW(ModuleHandle(), buffer, 32768);
  return WideToUtf8(buffer);
}

// The layout under HKEY_CLASSES_ROOT, or under `prefix` of another root.
void ExpectRegistered(HKEY root = HKEY_CLASSES_ROOT, const WideString& prefix = WideString()) {
  const WideString classKey = prefix + CLASS_KEY, server = classKey + MIRELTH_W("\\InprocServer32");
  EXPECT_EQ(ReadValue(classKey.c_str(), nullptr, root), "MirelthThumbnail");
  EXPECT_EQ(ReadValue(server.c_str(), nullptr, root), OwnPath());
  EXPECT_EQ(ReadValue(server.c_str(), MIRELTH_W("ThreadingModel"), root), "Apartment");
  for (const WideString& key : HandlerKeys()) {
    EXPECT_EQ(ReadValue((prefix + key).c_str(), nullptr, root), kClsid) << WideToUtf8(key);
  }
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    DllUnregisterServer();
    DllInstall(FALSE, MIRELTH_W("user"));
#if !defined(_WIN32)
    standin::ResetRegistry();
#endif
  }
  void TearDown() override {
    DllUnregisterServer();
    DllInstall(FALSE, MIRELTH_W("user"));
  }
};

// regsvr32 /n /i:user: the same layout under HKEY_CURRENT_USER\Software\Classes, no administrator needed; the
// machine's classes untouched; /u removes it. Without "user", DllInstall is DllRegisterServer.
TEST_F(Registration, PerUserInstallWritesTheCurrentUsersClasses) {
  const WideString userClasses = MIRELTH_W("Software\\Classes\\");
  ASSERT_EQ(DllInstall(TRUE, MIRELTH_W("User")), S_OK);
  ExpectRegistered(HKEY_CURRENT_USER, userClasses);
#if !defined(_WIN32)
  EXPECT_FALSE(KeyExists(CLASS_KEY));  // (Windows merges the user's classes into HKEY_CLASSES_ROOT)
  EXPECT_EQ(standin::ShellNotifications(), 2);
#endif
  ASSERT_EQ(DllInstall(FALSE, MIRELTH_W("user")), S_OK);
  EXPECT_FALSE(KeyExists((userClasses + CLASS_KEY).c_str(), HKEY_CURRENT_USER));
  for (const WideString& key : HandlerKeys()) EXPECT_FALSE(KeyExists((userClasses + key).c_str(), HKEY_CURRENT_USER));
  ASSERT_EQ(DllInstall(TRUE, nullptr), S_OK);
  ExpectRegistered();
  ASSERT_EQ(DllInstall(FALSE, MIRELTH_W("")), S_OK);
  EXPECT_FALSE(KeyExists(CLASS_KEY));
}

TEST_F(Registration, WritesTheLayoutAndRemovesOnlyWhatItOwns) {
  // Another program's extension key with its own default value.
  HKEY other = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, MIRELTH_W(".dds"), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                            nullptr, &other, nullptr),
            ERROR_SUCCESS);
  const WCHAR value[] = MIRELTH_W("OtherApp.Texture");
  ASSERT_EQ(RegSetValueExW(other, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(other);

  ASSERT_EQ(DllRegisterServer(), S_OK);
  ExpectRegistered();
  ASSERT_EQ(DllRegisterServer(), S_OK);  // twice: the same layout
  ExpectRegistered();
#if !defined(_WIN32)
  EXPECT_EQ(standin::ShellNotifications(), 4);  // SHChangeNotify and SystemParametersInfoW, each time
#endif

  EXPECT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(CLASS_KEY));
  EXPECT_FALSE(KeyExists(CLASS_KEY MIRELTH_W("\\InprocServer32")));
  for (const WideString& key : HandlerKeys()) EXPECT_FALSE(KeyExists(key.c_str())) << WideToUtf8(key);
  EXPECT_TRUE(KeyExists(MIRELTH_W(".psd\\shellex")));
  EXPECT_EQ(ReadValue(MIRELTH_W(".dds"), nullptr), "OtherApp.Texture");
  // Unregistering again, with nothing registered, succeeds.
  EXPECT_EQ(DllUnregisterServer(), S_OK);
  SHDeleteKeyW(HKEY_CLASSES_ROOT, MIRELTH_W(".dds"));
}

#if !defined(_WIN32)
TEST_F(Registration, AnythingThatCannotBeWrittenFailsRegistration) {
  // Every key and every value of the layout, failed in turn, fails the registration (and notifies nobody); the
  // first count that lets it through is past the last write.
  for (const bool values : {false, true}) {
    int which = 1;
    for (;; ++which) {
      standin::ResetRegistry();
      (values ? standin::FailRegistryWriteAfter : standin::FailRegistryCreateAfter)(which);
      const HRESULT result = DllRegisterServer();
      standin::FailRegistryWriteAfter(0);
      standin::FailRegistryCreateAfter(0);
      if (result == S_OK) break;
      EXPECT_EQ(result, E_FAIL) << (values ? "value " : "key ") << which;
      EXPECT_EQ(standin::ShellNotifications(), 0) << "no notification after a failure";
      ASSERT_LT(which, 500);
    }
    EXPECT_GT(which, 40) << "the thumbnail and property handler layout";
  }
  // A library path that does not fit the buffer would be registered cut short: refused.
  const std::u16string longPath = u"/" + std::u16string(40000, u'a') + u"/MirelthThumbnail.dll";
  standin::SetModuleFileName(longPath.c_str());
  EXPECT_EQ(DllRegisterServer(), E_FAIL);
  // Long paths below the limit are written whole.
  const std::u16string deepPath = u"/" + std::u16string(1000, u'b') + u"/MirelthThumbnail.dll";
  standin::SetModuleFileName(deepPath.c_str());
  EXPECT_EQ(DllRegisterServer(), S_OK);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, CLASS_KEY MIRELTH_W("\\InprocServer32"), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, (deepPath.size() + 1) * 2);
  RegCloseKey(key);
  standin::SetModuleFileName(nullptr);
}
#endif

// The property handler: registered for all users only (Windows reads HKEY_LOCAL_MACHINE's PropertyHandlers),
// with its schema and the details lists under SystemFileAssociations; a per-user registration leaves all of it out;
// unregistration removes exactly that and leaves another handler's details alone.
TEST_F(Registration, PropertyHandlerForAllUsersOnly) {
  const WideString handlers =
      MIRELTH_W("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\");
  const char* const clsid = "{8A71C3D2-4E5F-4B60-9D12-6E3F4A5B7C81}";
  const WideString classKey = WideString(MIRELTH_W("CLSID\\")) + Utf8ToWide(clsid);
  // Another program's details list on one extension, which must survive.
  HKEY other = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, MIRELTH_W("SystemFileAssociations\\.tga"), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &other, nullptr),
            ERROR_SUCCESS);
  const WCHAR theirs[] = MIRELTH_W("prop:System.Size");
  ASSERT_EQ(
      RegSetValueExW(other, MIRELTH_W("InfoTip"), 0, REG_SZ, reinterpret_cast<const BYTE*>(theirs), sizeof theirs),
      ERROR_SUCCESS);
  RegCloseKey(other);

  ASSERT_EQ(DllInstall(TRUE, MIRELTH_W("user")), S_OK);
  EXPECT_FALSE(KeyExists((MIRELTH_W("Software\\Classes\\") + classKey).c_str(), HKEY_CURRENT_USER));
  EXPECT_FALSE(KeyExists((handlers + MIRELTH_W(".dds")).c_str(), HKEY_LOCAL_MACHINE));
  ASSERT_EQ(DllInstall(FALSE, MIRELTH_W("user")), S_OK);

  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ReadValue(classKey.c_str(), nullptr), "MirelthThumbnail Properties");
  EXPECT_EQ(ReadValue((classKey + MIRELTH_W("\\InprocServer32")).c_str(), nullptr), OwnPath());
  size_t count = 0;
  const Container* rows = Containers(&count);
  for (size_t i = 0; i < count; ++i) {
    const WideString extension = Utf8ToWide(rows[i].extension);
    EXPECT_EQ(ReadValue((handlers + extension).c_str(), nullptr, HKEY_LOCAL_MACHINE), clsid) << rows[i].extension;
    const WideString details = MIRELTH_W("SystemFileAssociations\\") + extension;
    EXPECT_EQ(ReadValue(details.c_str(), MIRELTH_W("FullDetails")), WideToUtf8(DetailsList(false)));
    EXPECT_EQ(ReadValue(details.c_str(), MIRELTH_W("PreviewDetails")), WideToUtf8(DetailsList(true)));
  }
  EXPECT_NE(WideToUtf8(DetailsList(true)).find("System.Image.Dimensions;Mirelth.Texture.Encoding"), std::string::npos);
#if !defined(_WIN32)
  ASSERT_EQ(standin::RegisteredSchemas().size(), 1u);
  EXPECT_NE(standin::RegisteredSchemas()[0].find("MirelthThumbnail.propdesc"), std::string::npos);
#endif

  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(classKey.c_str()));
  EXPECT_FALSE(KeyExists((handlers + MIRELTH_W(".dds")).c_str(), HKEY_LOCAL_MACHINE));
  EXPECT_EQ(ReadValue(MIRELTH_W("SystemFileAssociations\\.dds"), MIRELTH_W("FullDetails")), "<missing>");
  EXPECT_EQ(ReadValue(MIRELTH_W("SystemFileAssociations\\.tga"), MIRELTH_W("InfoTip")), "prop:System.Size");
#if !defined(_WIN32)
  EXPECT_TRUE(standin::RegisteredSchemas().empty());
#endif
  SHDeleteKeyW(HKEY_CLASSES_ROOT, MIRELTH_W("SystemFileAssociations\\.tga"));
}

}  // namespace
}  // namespace mirelth
