// The property handler as the shell drives it: created by its class object, initialised with a stream named like
// the file, then GetCount / GetAt / GetValue. Every sample's properties against the facts --info --json gives
// (tests/data/samples-info.jsonl); writes refused; a file that cannot be described has no properties; the schema
// lists exactly the table's own properties.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/memory_stream.h"
#include "server/module.h"
#include "server/properties.h"
#include "server/property_handler.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

// The properties a handler gives for `bytes` named `name`, by canonical name, as text.
std::map<std::string, std::string> PropertiesOf(const std::vector<uint8_t>& bytes, const std::string& name) {
  std::map<std::string, std::string> out;
  IClassFactory* factory = nullptr;
  EXPECT_EQ(DllGetClassObject(kClsidMirelthProperties, kIidIClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IInitializeWithStream* init = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidIInitializeWithStream, reinterpret_cast<void**>(&init)), S_OK);
  factory->Release();
  const WideString wide = Utf8ToWide(name);
  testing::MemoryStream stream(bytes.data(), bytes.size(), wide.c_str());
  EXPECT_EQ(init->Initialize(&stream, 0), S_OK);
  IPropertyStore* store = nullptr;
  EXPECT_EQ(init->QueryInterface(kIidIPropertyStore, reinterpret_cast<void**>(&store)), S_OK);
  init->Release();
  DWORD count = 0;
  EXPECT_EQ(store->GetCount(&count), S_OK);
  size_t rows = 0;
  const Property* table = Properties(&rows);
  for (DWORD i = 0; i < count; ++i) {
    PROPERTYKEY key{};
    EXPECT_EQ(store->GetAt(i, &key), S_OK);
    PROPVARIANT value;
    EXPECT_EQ(store->GetValue(key, &value), S_OK);
    std::string text;
    if (value.vt == VT_UI4) text = std::to_string(value.ulVal);
    if (value.vt == VT_LPWSTR) text = WideToUtf8(value.pwszVal);
    PropVariantClear(&value);
    for (size_t r = 0; r < rows; ++r) {
      if (table[r].key.pid == key.pid && SameGuid(table[r].key.fmtid, key.fmtid)) out[table[r].name] = text;
    }
  }
  EXPECT_EQ(store->GetAt(count, nullptr), E_POINTER);
  PROPERTYKEY past{};
  EXPECT_EQ(store->GetAt(count, &past), E_INVALIDARG);
  PROPVARIANT empty{};
  EXPECT_EQ(store->SetValue(table[0].key, empty), STG_E_ACCESSDENIED);
  EXPECT_EQ(store->Commit(), STG_E_ACCESSDENIED);
  IPropertyStoreCapabilities* capabilities = nullptr;
  EXPECT_EQ(store->QueryInterface(kIidIPropertyStoreCapabilities, reinterpret_cast<void**>(&capabilities)), S_OK);
  EXPECT_EQ(capabilities->IsPropertyWritable(table[0].key), S_FALSE);
  capabilities->Release();
  store->Release();
  return out;
}

// The value of "key": in one line of --info --json (strings without their quotes).
std::string JsonValue(const std::string& line, const std::string& key) {
  const size_t at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return "<none>";
  size_t start = at + key.size() + 3, end;
  if (line[start] == '"') {
    end = line.find('"', ++start);
    while (end != std::string::npos && line[end - 1] == '\\') end = line.find('"', end + 1);
  } else {
    end = line.find_first_of(",}", start);
  }
  return line.substr(start, end - start);
}

TEST(PropertyHandler, EverySampleAsInfoJsonSaysIt) {
  const std::vector<uint8_t> jsonl = test::ReadFileBytes(test::TestDataPath("samples-info.jsonl"));
  std::istringstream lines(std::string(jsonl.begin(), jsonl.end()));
  int files = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::string file = JsonValue(line, "file");
    const std::string name = file.substr(file.find('/') + 1);
    const auto props = PropertiesOf(test::ReadFileBytes(test::SamplePath(name)), name);
    SCOPED_TRACE(name);
    const std::string width = JsonValue(line, "width"), height = JsonValue(line, "height");
    EXPECT_EQ(props.at("System.Image.HorizontalSize"), width);
    EXPECT_EQ(props.at("System.Image.VerticalSize"), height);
    EXPECT_EQ(props.at("System.Image.Dimensions"), width + " x " + height);
    EXPECT_EQ(props.at("System.Image.BitDepth"), JsonValue(line, "bits_per_pixel"));
    std::string encoding;
    for (const char c : JsonValue(line, "encoding")) {
      if (c != '\\') encoding += c;  // the JSON's escaped quotes
    }
    EXPECT_EQ(props.at("Mirelth.Texture.Encoding"), encoding);
    EXPECT_EQ(props.at("Mirelth.Texture.Levels"), JsonValue(line, "levels"));
    EXPECT_EQ(props.at("Mirelth.Texture.Faces"), JsonValue(line, "faces"));
    EXPECT_EQ(props.at("Mirelth.Texture.ArrayLayers"), JsonValue(line, "layers"));
    EXPECT_EQ(props.at("Mirelth.Texture.Depth"), JsonValue(line, "depth"));
    EXPECT_EQ(props.at("Mirelth.Texture.Alpha"), JsonValue(line, "alpha"));
    EXPECT_EQ(props.at("Mirelth.Texture.ColourSpace"), JsonValue(line, "colour_space"));
    EXPECT_EQ(props.at("Mirelth.Texture.HDR"), JsonValue(line, "hdr") == "true" ? "yes" : "no");
    EXPECT_EQ(props.at("Mirelth.Texture.Container"), JsonValue(line, "container"));
    const bool document = JsonValue(line, "colour_mode") != "<none>";
    EXPECT_EQ(props.count("Mirelth.Document.ColourMode"), document ? 1u : 0u);
    if (document) {
      EXPECT_EQ(props.at("Mirelth.Document.ColourMode"), JsonValue(line, "colour_mode"));
      EXPECT_EQ(props.at("Mirelth.Document.BitDepth"), JsonValue(line, "bit_depth"));
      EXPECT_EQ(props.at("Mirelth.Document.Channels"), JsonValue(line, "channels"));
      EXPECT_EQ(props.at("Mirelth.Document.Layers"), JsonValue(line, "layer_count"));
      EXPECT_EQ(props.at("Mirelth.Document.Composite"), JsonValue(line, "composite"));
    }
    ++files;
  }
  EXPECT_GT(files, 80);
  // Files it cannot describe (refused, unknown names, nothing at all) have no properties and no error.
  EXPECT_TRUE(
      PropertiesOf(test::ReadFileBytes(test::SamplePath("dds-pvrtextool-r8g8b8a8uint-bars-13x11.dds")), "refused.dds")
          .empty());
  EXPECT_TRUE(PropertiesOf({1, 2, 3}, "texture.unknown").empty());
  EXPECT_TRUE(PropertiesOf({}, "empty.psd").empty());
}

// The schema installed beside the library names exactly our properties, by name, format and identifier.
TEST(PropertyHandler, SchemaMatchesTheTable) {
  const std::vector<uint8_t> bytes =
      test::ReadFileBytes(std::string(MIRELTH_SOURCE_DIR) + "/installer/MirelthThumbnail.propdesc");
  const std::string schema(bytes.begin(), bytes.end());
  size_t rows = 0;
  const Property* table = Properties(&rows);
  size_t ours = 0;
  for (size_t r = 0; r < rows; ++r) {
    if (!table[r].ours) continue;
    ++ours;
    const std::string entry = std::string("name=\"") + table[r].name +
                              "\" formatID=\"{D1E4B7A2-5C3F-4E88-9A61-3F0B2C7D5E14}\" propID=\"" +
                              std::to_string(table[r].key.pid) + "\"";
    EXPECT_NE(schema.find(entry), std::string::npos) << entry;
    EXPECT_NE(schema.find(std::string("label=\"") + table[r].displayName + "\""), std::string::npos) << table[r].name;
    EXPECT_NE(schema.find(table[r].text ? "type=\"String\"" : "type=\"UInt32\""), std::string::npos);
  }
  size_t described = 0;
  for (size_t at = schema.find("<propertyDescription "); at != std::string::npos;
       at = schema.find("<propertyDescription ", at + 1)) {
    ++described;
  }
  EXPECT_EQ(described, ours);
}

}  // namespace
}  // namespace mirelth
