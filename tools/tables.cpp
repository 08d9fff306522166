// mirelth-tables: what the build and the tests derive from the table of containers, so that nothing repeats it by
// hand. Usage: mirelth-tables thumbnailer | mime-xml | mime-types | fuzz-targets
//   thumbnailer   the freedesktop thumbnailer entry (its MimeType list: every row's type, once)
//   mime-xml      the shared-mime-info package: the types it lacks (with their signatures) and our extra globs
//   mime-types    the MIME types, one a line
//   fuzz-targets  one fuzz target a container: its extension without the dot, one a line
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/containers.h"

namespace {

using mirelth::Container;

std::vector<const char*> MimeTypes(const Container* rows, size_t count) {
  std::vector<const char*> types;
  for (size_t i = 0; i < count; ++i) {
    bool seen = false;
    for (const char* type : types) seen = seen || std::strcmp(type, rows[i].mimeType) == 0;
    if (!seen) types.push_back(rows[i].mimeType);
  }
  return types;
}

// A signature as shared-mime-info's string syntax writes it: printable ASCII as is, other bytes as \xNN.
std::string MagicValue(const mirelth::Signature& signature) {
  std::string value;
  for (uint8_t i = 0; i < signature.length; ++i) {
    const auto c = static_cast<unsigned char>(signature.bytes[i]);
    char text[8];
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '&' && c != '<' && c != '\\') {
      text[0] = static_cast<char>(c), text[1] = 0;
    } else {
      std::snprintf(text, sizeof text, "\\x%02x", c);
    }
    value += text;
  }
  return value;
}

void MimeXml(const Container* rows, size_t count) {
  std::puts("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  std::puts("<!-- Made by mirelth-tables from the table of containers: the types shared-mime-info lacks, and our");
  std::puts("     extensions of types it knows. -->");
  std::puts("<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">");
  for (size_t i = 0; i < count; ++i) {
    const Container& c = rows[i];
    if (c.mime == mirelth::MimeEntry::kKnown) continue;
    std::printf("  <mime-type type=\"%s\">\n", c.mimeType);
    if (c.mime == mirelth::MimeEntry::kDefine) {
      std::printf("    <comment>%s</comment>\n", c.mimeComment);
      if (c.signatures[0].length) {
        std::puts("    <magic priority=\"50\">");
        for (const mirelth::Signature& signature : c.signatures) {
          if (!signature.length) break;
          std::printf("      <match type=\"string\" value=\"%s\" offset=\"%u\"/>\n", MagicValue(signature).c_str(),
                      signature.offset);
        }
        std::puts("    </magic>");
      }
    }
    std::printf("    <glob pattern=\"*%s\"/>\n", c.extension);
    std::puts("  </mime-type>");
  }
  std::puts("</mime-info>");
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  const Container* rows = mirelth::Containers(&count);
  const std::string what = argc == 2 ? argv[1] : "";
  if (what == "thumbnailer") {
    std::puts("[Thumbnailer Entry]");
    std::puts("TryExec=mirelth-thumb");
    std::puts("Exec=mirelth-thumb -q --size %s %i %o");
    std::fputs("MimeType=", stdout);
    for (const char* type : MimeTypes(rows, count)) std::printf("%s;", type);
    std::puts("");
  } else if (what == "mime-xml") {
    MimeXml(rows, count);
  } else if (what == "mime-types") {
    for (const char* type : MimeTypes(rows, count)) std::puts(type);
  } else if (what == "fuzz-targets") {
    for (size_t i = 0; i < count; ++i) std::puts(rows[i].extension + 1);
  } else {
    std::fputs("usage: mirelth-tables thumbnailer | mime-xml | mime-types | fuzz-targets\n", stderr);
    return 2;
  }
  return 0;
}
