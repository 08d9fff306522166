// Helpers shared by both sides of the platform seam: text conversion, UTF-8 file names, terminals.
#include "platform/win32.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace mirelth {

WideString Utf8ToWide(std::string_view text) {
  WideString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    uint32_t code = 0xFFFD;
    size_t length = 1;
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead < 0xF5) {
      length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (i + length <= text.size()) {
        uint32_t value = lead & (0xFFu >> (length + 1));
        bool valid = true;
        for (size_t k = 1; k < length; ++k) {
          const auto next = static_cast<unsigned char>(text[i + k]);
          if ((next & 0xC0) != 0x80) {
            valid = false;
            length = k;
            break;
          }
          value = (value << 6) | (next & 0x3F);
        }
        const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (valid && value >= minimum && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) code = value;
      } else {
        length = text.size() - i;
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<WCHAR>(0xD800 + (code >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(code));
    }
    i += length;
  }
  return out;
}

std::string WideToUtf8(const WCHAR* text) {
  std::string out;
  if (!text) return out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t code = static_cast<uint16_t>(text[i]);
    if (code >= 0xD800 && code < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

std::string WideToUtf8(const WideString& text) { return WideToUtf8(text.c_str()); }

FILE* OpenFileUtf8(const std::string& path, const char* mode) {
#if defined(_WIN32)
  const WideString widePath = Utf8ToWide(path);
  const WideString wideMode = Utf8ToWide(mode);
  return _wfopen(widePath.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
  std::vector<std::string> args;
#if defined(_WIN32)
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide) {
    for (int i = 0; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
  }
#endif
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

bool IsTerminal(FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

long CountLiveGdiObjects() {
#if defined(_WIN32)
  return static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
#else
  return standin::LiveGdiObjects();
#endif
}

bool MakeDirectories(const std::string& path) {
  std::error_code error;
#if defined(_WIN32)
  const std::filesystem::path target(Utf8ToWide(path));
#else
  const std::filesystem::path target(path);
#endif
  std::filesystem::create_directories(target, error);
  return std::filesystem::is_directory(target, error);
}

}  // namespace mirelth
