// The preview handler as the preview host drives it (through the stand-in window): every sample fitted to the
// pane equals the thumbnail path's drawing at that size over the checkerboard; resize, every key, the host's
// colours, a refused file, keys it leaves to the host's frame, Unload, registration, nothing left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "fuzz/memory_stream.h"
#include "picture/bitmap.h"
#include "picture/filter.h"
#include "platform/preview_window.h"
#include "server/module.h"
#include "server/preview_handler.h"
#include "server/preview_view.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

// A host frame that counts the keys handed back to it.
struct Frame final : IPreviewHandlerFrame {
  int keys = 0;
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (!SameGuid(riid, kIidIUnknown) && !SameGuid(riid, kIidIPreviewHandlerFrame)) return E_NOINTERFACE;
    *object = this;
    ++refs;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(PREVIEWHANDLERFRAMEINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override {
    ++keys;
    return S_OK;
  }
};

struct Pane {
  std::vector<uint8_t> bytes;
  WideString name;
  testing::MemoryStream stream;
  IPreviewHandler* handler = nullptr;
  Pane(std::vector<uint8_t> b, const std::string& fileName)
      : bytes(std::move(b)), name(Utf8ToWide(fileName)), stream(bytes.data(), bytes.size(), name.c_str()) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(DllGetClassObject(kClsidMirelthPreview, kIidIClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, kIidIPreviewHandler, reinterpret_cast<void**>(&handler)), S_OK);
    factory->Release();
    IInitializeWithStream* init = nullptr;
    EXPECT_EQ(handler->QueryInterface(kIidIInitializeWithStream, reinterpret_cast<void**>(&init)), S_OK);
    EXPECT_EQ(init->Initialize(&stream, 0), S_OK);
    init->Release();
  }
  ~Pane() {
    if (handler) {
      handler->Unload();
      handler->Release();
    }
  }
  void Show(int32_t width, int32_t height) {
    const RECT rect{0, 0, width, height};
    ASSERT_EQ(handler->SetWindow(reinterpret_cast<HWND>(this), &rect), S_OK);
    ASSERT_EQ(handler->DoPreview(), S_OK);
  }
  PreviewWindow* window() const { return standin::LastPreviewWindow(); }
  uint32_t at(int32_t x, int32_t y) const { return window()->pixels()[static_cast<size_t>(y) * window()->width() + x]; }
  std::string line() const { return WideToUtf8(window()->line()); }
};

// The picture the pane should show: the filtered drawing of `level` at its fitted size, composited over the
// checkerboard, and where it lies.
struct Expected {
  test::Image image;
  int32_t x = 0, y = 0;
};
Expected Expect(Picture& picture, int32_t level, int32_t paneWidth, int32_t paneHeight) {
  const int32_t lineHeight = 16;  // the stand-in window's
  const int32_t areaWidth = paneWidth - 2 * kPreviewMargin, areaHeight = paneHeight - 3 * kPreviewMargin - lineHeight;
  int32_t lw = 0, lh = 0, tw = 0, th = 0;
  picture.levelSize(level, &lw, &lh);
  FitToArea(lw, lh, areaWidth, areaHeight, &tw, &th);
  HBITMAP bitmap = nullptr;
  DecodeFailure failure;
  EXPECT_TRUE(level == 0 ? picture.DrawThumbnail(tw, th, false, &bitmap, &failure)
                         : picture.DrawLevel(level, tw, th, &bitmap, &failure))
      << DescribeFailure(failure);
  Expected e;
  e.image = test::ImageFromBitmap(bitmap);
  DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  for (int32_t y = 0; y < e.image.height; ++y) {
    for (int32_t x = 0; x < e.image.width; ++x) {
      uint32_t& p = e.image.pixels[static_cast<size_t>(y) * e.image.width + x];
      p = OverCheckerboard(p, x, y);
    }
  }
  e.x = kPreviewMargin + (areaWidth - e.image.width) / 2;
  e.y = kPreviewMargin + (areaHeight - e.image.height) / 2;
  return e;
}

PicturePtr OpenBytes(const std::vector<uint8_t>& bytes, FileType type, MemorySource* source, uint32_t surface = 0) {
  OpenOptions options;
  options.surface = surface;
  PicturePtr picture;
  DecodeFailure failure;
  EXPECT_TRUE(ContainerFor(type)->openPicture(*source, options, &picture, &failure)) << DescribeFailure(failure);
  (void)bytes;
  return picture;
}

void ExpectShows(const Pane& pane, const Expected& e, const char* what) {
  int wrong = 0;
  for (int32_t y = 0; y < e.image.height && wrong < 3; ++y) {
    for (int32_t x = 0; x < e.image.width && wrong < 3; ++x) {
      if (pane.at(e.x + x, e.y + y) != e.image.at(x, y)) {
        ++wrong;
        ADD_FAILURE() << what << ": pixel " << x << "," << y << std::hex << " 0x" << pane.at(e.x + x, e.y + y)
                      << " where 0x" << e.image.at(x, y);
      }
    }
  }
}

TEST(Preview, FitKeepsTheAspectAndEnlargesAtMostTwice) {
  const struct {
    int32_t w, h, areaW, areaH, tw, th;
  } cases[] = {
      {4096, 4096, 300, 200, 200, 200},
      {4096, 2048, 300, 200, 300, 150},
      {48, 40, 300, 200, 96, 80},
      {2048, 4096, 300, 200, 100, 200},
      {1, 1, 300, 200, 2, 2},
      {1000, 10, 300, 200, 300, 3},
      {60, 36, 5, 5, 5, 3},
  };
  for (const auto& c : cases) {
    int32_t tw = 0, th = 0;
    FitToArea(c.w, c.h, c.areaW, c.areaH, &tw, &th);
    EXPECT_EQ(tw, c.tw) << c.w << "x" << c.h;
    EXPECT_EQ(th, c.th) << c.w << "x" << c.h;
  }
}

// Every sample the thumbnail path draws, in a landscape and a portrait pane.
TEST(Preview, EverySampleShowsTheFilteredDrawingAtThePanesSize) {
  const long gdiBefore = ::standin::LiveGdiObjects();
  int shown = 0;
  for (const auto& entry : std::filesystem::directory_iterator(MIRELTH_SAMPLES_DIR)) {
    const std::string name = entry.path().filename().string();
    const FileType type = FileTypeFromName(Utf8ToWide(name).c_str());
    if (type == FileType::kNone || name.find(".expected") != std::string::npos) continue;
    const std::vector<uint8_t> bytes = test::ReadFileBytes(entry.path().string());
    MemorySource source(bytes.data(), bytes.size());
    OpenOptions options;
    PicturePtr picture;
    DecodeFailure failure;
    test::QuietStdout quiet;
    const bool opens = ContainerFor(type)->openPicture(source, options, &picture, &failure);
    Pane pane(bytes, name);
    for (const auto& [w, h] : {std::pair{320, 240}, std::pair{150, 260}}) {
      pane.Show(w, h);
      ASSERT_NE(pane.window(), nullptr);
      EXPECT_EQ(pane.window()->width(), w);
      HBITMAP probe = nullptr;
      if (!opens || !picture->DrawThumbnail(8, 8, false, &probe, &failure)) {
        EXPECT_NE(pane.line().find(": "), std::string::npos) << name << ": " << pane.line();  // the reason
        continue;
      }
      DeleteObject(reinterpret_cast<HGDIOBJ>(probe));
      ExpectShows(pane, Expect(*picture, 0, w, h), name.c_str());
      ++shown;
    }
  }
  EXPECT_GT(shown, 150);
  EXPECT_EQ(::standin::LiveGdiObjects(), gdiBefore);
}

TEST(Preview, KeysResizeColoursAndTheHostsFrame) {
  const std::string file = "ktx2-create-zlib-mips-r8g8b8a8unorm-halo-64x32.ktx2";
  const std::vector<uint8_t> bytes = test::ReadFileBytes(test::SamplePath(file));
  MemorySource source(bytes.data(), bytes.size());
  const PicturePtr picture = OpenBytes(bytes, FileType::kKtx2, &source);
  Pane pane(bytes, file);
  Frame frame;
  IObjectWithSite* site = nullptr;
  ASSERT_EQ(pane.handler->QueryInterface(kIidIObjectWithSite, reinterpret_cast<void**>(&site)), S_OK);
  site->SetSite(&frame);
  pane.Show(300, 200);
  EXPECT_EQ(pane.line(), "VK_FORMAT_R8G8B8A8_UNORM 64 x 32, 7 levels");
  Expected e = Expect(*picture, 0, 300, 200);
  ExpectShows(pane, e, "level 0");
  // R, G, B: one channel as gray; the same key again: colour.
  const struct {
    char key;
    int shift;
    const char* shown;
  } channels[] = {{'R', 16, "red channel"}, {'G', 8, "green channel"}, {'B', 0, "blue channel"}, {'A', 24, "alpha"}};
  HBITMAP raw = nullptr;
  DecodeFailure failure;
  ASSERT_TRUE(picture->DrawThumbnail(e.image.width, e.image.height, false, &raw, &failure));
  const test::Image straight = test::ImageFromBitmap(raw);
  DeleteObject(reinterpret_cast<HGDIOBJ>(raw));
  for (const auto& c : channels) {
    ASSERT_TRUE(pane.window()->SendKey(static_cast<uint32_t>(c.key)));
    EXPECT_NE(pane.line().find(c.shown), std::string::npos) << pane.line();
    const uint32_t v = (straight.at(20, 10) >> c.shift) & 0xFF;
    EXPECT_EQ(pane.at(e.x + 20, e.y + 10), 0xFF000000u | v << 16 | v << 8 | v) << c.key;
    ASSERT_TRUE(pane.window()->SendKey(static_cast<uint32_t>(c.key)));
  }
  ExpectShows(pane, e, "colour again");
  // M and N: the next smaller level, fitted (enlarged at most twice), and back.
  ASSERT_TRUE(pane.window()->SendKey('M'));
  ASSERT_TRUE(pane.window()->SendKey('M'));
  EXPECT_NE(pane.line().find("level 2 of 7: 16 x 8"), std::string::npos) << pane.line();
  ExpectShows(pane, Expect(*picture, 2, 300, 200), "level 2");
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(pane.window()->SendKey('M'));
  EXPECT_NE(pane.line().find("level 6 of 7: 1 x 1"), std::string::npos) << pane.line();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(pane.window()->SendKey('N'));
  ExpectShows(pane, e, "level 0 again");
  // A key the pane does not use goes to the host's frame.
  EXPECT_EQ(frame.keys, 0);
  EXPECT_TRUE(pane.window()->SendKey('Q'));
  EXPECT_EQ(frame.keys, 1);
  // Resize: the same picture refitted; the host's background and text colours.
  const RECT small{0, 0, 120, 90};
  ASSERT_EQ(pane.handler->SetRect(&small), S_OK);
  EXPECT_EQ(pane.window()->width(), 120);
  ExpectShows(pane, Expect(*picture, 0, 120, 90), "resized");
  IPreviewHandlerVisuals* visuals = nullptr;
  ASSERT_EQ(pane.handler->QueryInterface(kIidIPreviewHandlerVisuals, reinterpret_cast<void**>(&visuals)), S_OK);
  ASSERT_EQ(visuals->SetBackgroundColor(RGB(10, 20, 30)), S_OK);
  EXPECT_EQ(pane.at(0, 0), 0xFF0A141Eu);
  visuals->Release();
  site->SetSite(nullptr);
  site->Release();
  EXPECT_EQ(frame.refs, 1u);
}

// F steps through the faces of a cube map and the layers of an array: each drawn as the container draws that
// surface.
// Six 4 x 4 faces of distinct colours in a version-3 PVR (each level: surfaces, then faces) and in a VTF 7.2
// environment map (each mip: frames, then faces).
std::vector<uint8_t> SixFaces() {
  std::vector<uint8_t> faces;
  for (uint8_t f = 0; f < 6; ++f) {
    for (int i = 0; i < 16; ++i) faces.insert(faces.end(), {uint8_t(40 * f), uint8_t(200 - 30 * f), 90, 255});
  }
  return faces;
}
std::vector<uint8_t> PvrCube() {
  std::vector<uint8_t> file(52, 0);
  const uint64_t format =
      uint64_t{'r'} | uint64_t{'g'} << 8 | uint64_t{'b'} << 16 | uint64_t{'a'} << 24 | uint64_t{0x08080808} << 32;
  test::PutLE(file, 0, 0x03525650);
  test::PutLE(file, 8, static_cast<uint32_t>(format));
  test::PutLE(file, 12, static_cast<uint32_t>(format >> 32));
  for (const auto& [at, v] : {std::pair{24, 4u}, std::pair{28, 4u}, std::pair{32, 1u}, std::pair{36, 1u},
                              std::pair{40, 6u}, std::pair{44, 1u}}) {
    test::PutLE(file, static_cast<size_t>(at), v);
  }
  const std::vector<uint8_t> faces = SixFaces();
  file.insert(file.end(), faces.begin(), faces.end());
  return file;
}
std::vector<uint8_t> VtfEnvironmentMap() {
  std::vector<uint8_t> file(80, 0);
  std::memcpy(file.data(), "VTF", 4);
  test::PutLE(file, 4, 7);
  test::PutLE(file, 8, 2);
  test::PutLE(file, 12, 80);
  file[16] = 4, file[18] = 4;                      // 4 x 4
  test::PutLE(file, 20, 0x4000);                   // environment map
  file[24] = 1, file[26] = 0xFF, file[27] = 0xFF;  // one frame; start frame 0xFFFF: six faces
  test::PutLE(file, 52, 0);                        // RGBA8888
  file[56] = 1;                                    // one mip
  test::PutLE(file, 57, 0xFFFFFFFFu);              // no low-resolution image
  file[63] = 1;                                    // depth
  const std::vector<uint8_t> faces = SixFaces();
  file.insert(file.end(), faces.begin(), faces.end());
  return file;
}

TEST(Preview, FacesAndLayers) {
  const struct {
    const char* file;
    FileType type;
    std::vector<uint8_t> bytes;
  } cubes[] = {
      {"ktx2-create-cube-r8g8b8a8unorm-tiles-16x16.ktx2", FileType::kKtx2,
       test::ReadFileBytes(test::SamplePath("ktx2-create-cube-r8g8b8a8unorm-tiles-16x16.ktx2"))},
      {"dds-pvrtextool-cubemap-r5g6b5-faces-64x64.dds", FileType::kDds,
       test::ReadFileBytes(test::SamplePath("dds-pvrtextool-cubemap-r5g6b5-faces-64x64.dds"))},
      {"cube.pvr", FileType::kPvr, PvrCube()},
      {"environment.vtf", FileType::kVtf, VtfEnvironmentMap()},
  };
  for (const auto& cube : cubes) {
    const std::vector<uint8_t>& bytes = cube.bytes;
    Pane pane(bytes, cube.file);
    pane.Show(200, 200);
    ASSERT_NE(pane.line().find("6 faces"), std::string::npos) << cube.file << ": " << pane.line();
    std::vector<uint32_t> previous(pane.window()->pixels(), pane.window()->pixels() + 200 * 200);
    for (uint32_t face = 1; face <= 6; ++face) {
      ASSERT_TRUE(pane.window()->SendKey('F'));
      MemorySource source(bytes.data(), bytes.size());
      const PicturePtr picture = OpenBytes(bytes, cube.type, &source, face % 6);
      ExpectShows(pane, Expect(*picture, 0, 200, 200), cube.file);
      const std::vector<uint32_t> now(pane.window()->pixels(), pane.window()->pixels() + 200 * 200);
      EXPECT_NE(now, previous) << cube.file << " face " << face % 6 << " looks like the face before";
      previous = now;
      if (face < 6) {
        EXPECT_NE(pane.line().find("face " + std::to_string(face + 1) + " of 6"), std::string::npos) << pane.line();
      }
    }
  }
}

TEST(Preview, ARefusedFileShowsItsReasonAndRegistrationIsReadBack) {
  const std::string file = "ktx2-refuse-vkformat-uint-sky-60x36.ktx2";
  {
    Pane pane(test::ReadFileBytes(test::SamplePath(file)), file);
    pane.Show(200, 120);
    EXPECT_EQ(pane.line(), "unsupported: VK_FORMAT_R8G8B8A8_UINT");
    EXPECT_FALSE(pane.window()->SendKey('R'));  // nothing to show another way: the host's
    EXPECT_EQ(pane.handler->Unload(), S_OK);
    EXPECT_EQ(pane.window(), nullptr);
  }
#if !defined(_WIN32)
  ::standin::ResetRegistry();
#endif
  ASSERT_EQ(DllRegisterServer(), S_OK);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT,
                          MIRELTH_W("SystemFileAssociations\\.ktx2\\shellex\\{8895b1c6-b41f-4c1c-a562-0d564250836f}"),
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  WCHAR value[64] = {};
  DWORD size = sizeof value, type = 0;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (WideString(MIRELTH_W("CLSID\\")) + kClsidMirelthPreviewText).c_str(), 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueExW(key, MIRELTH_W("AppID"), nullptr, &type, reinterpret_cast<BYTE*>(value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(WideToUtf8(value), "{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}");
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, MIRELTH_W("Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers"), 0,
                    KEY_READ | KEY_WRITE, &key),
      ERROR_SUCCESS);
  size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(key, kClsidMirelthPreviewText, nullptr, &type, reinterpret_cast<BYTE*>(value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(WideToUtf8(value), "MirelthThumbnail Preview");
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  size = sizeof value;
  EXPECT_NE(RegQueryValueExW(key, kClsidMirelthPreviewText, nullptr, &type, reinterpret_cast<BYTE*>(value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace
}  // namespace mirelth
