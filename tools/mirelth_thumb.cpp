// mirelth-thumb: thumbnails of DDS, TGA, PSD/PSB and PVR files as PNG, through the same provider object the shell
// uses (IInitializeWithFile, then GetThumbnail), and their facts (--info). Exit 0 when every output was written, 1 when
// an input cannot be thumbnailed, 2 for usage errors, unreadable inputs and unwritable outputs.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/containers.h"
#include "io/failure.h"
#include "picture/bitmap.h"
#include "platform/win32.h"
#include "server/module.h"
#include "server/provider.h"
#include "tools/png_writer.h"

#ifndef MIRELTH_VERSION
#define MIRELTH_VERSION "0.0.0"
#endif

namespace mirelth {
namespace {

constexpr int kExitOk = 0, kExitUndrawable = 1, kExitUsage = 2;
constexpr uint32_t kDefaultEdge = 256;  // a thumbnail's longer side without --size

constexpr char kUsage[] =
    "usage:\n"
    "  mirelth-thumb [--size N] INPUT [OUTPUT.png]   thumbnail whose longer side is N (default 256)\n"
    "  mirelth-thumb --full INPUT OUTPUT.png          the decoded image at its own size, no scaling\n"
    "  mirelth-thumb [--size N | --full] [-j N] -o DIR INPUT...   batch: DIR/<input file name>.png for each input\n"
    "  mirelth-thumb --info [--json] INPUT...         what each file is (encoding, size, levels, alpha, ...)\n"
    "options:\n"
    "  --size N     longest side of the thumbnail, 1 to 16384 (default 256)\n"
    "  --full       write the image at its own size instead of a thumbnail\n"
    "  -o DIR       write one PNG per input into DIR (created if missing)\n"
    "  -j N         batch: N inputs at a time (default: the number of processors); the same files as one at a time\n"
    "  -q           no progress output\n"
    "  --verbose    also print the bytes read from each input\n"
    "  --info       print each input's facts instead of drawing it (headers and tables only; HDR pictures are\n"
    "               also drawn as the default thumbnail, to find its white point)\n"
    "  --json       with --info: one JSON object a line\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "Without OUTPUT.png a single thumbnail is written to <input file name>.png in the current directory.\n"
    "PSD and PSB documents also list their layer records on standard output.\n";

// The formats section of the usage text, from the table of containers.
std::string FormatsText() {
  std::string text = "formats:\n";
  size_t count = 0;
  const Container* containers = Containers(&count);
  for (size_t i = 0; i < count; ++i) {
    text += "  ";
    text += containers[i].extension;
    text += std::string(6 - std::strlen(containers[i].extension), ' ');
    text += containers[i].formats;
    text += "\n";
  }
  return text;
}

// Output lines of inputs drawn at the same time must not interleave: each input's layer listing is gathered and
// printed whole, under this lock, as are progress and error lines.
std::mutex outputLock;

struct Options {
  uint32_t size = kDefaultEdge;
  bool full = false;
  bool quiet = false;
  bool verbose = false;
  bool info = false;
  bool json = false;
  uint32_t jobs = 0;  // 0: the number of processors
  std::string outputDir;
  std::vector<std::string> inputs;
};

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int UsageError(const char* message) {
  std::fprintf(stderr, "mirelth-thumb: %s\n%s%s", message, kUsage, FormatsText().c_str());
  return kExitUsage;
}

struct Released {
  IUnknown* object;
  ~Released() {
    if (object) object->Release();
  }
};

// Renders one input into one PNG; prints its own error line and returns the exit code for it.
int RenderOne(const Options& options, const std::string& input, const std::string& output) {
  // The same way the shell gets a provider: the class object, then CreateInstance.
  IClassFactory* factory = nullptr;
  IInitializeWithFile* initialize = nullptr;
  if (SUCCEEDED(DllGetClassObject(kClsidMirelthThumbnail, kIidIClassFactory, reinterpret_cast<void**>(&factory)))) {
    factory->CreateInstance(nullptr, kIidIInitializeWithFile, reinterpret_cast<void**>(&initialize));
    factory->Release();
  }
  if (!initialize) {
    std::fprintf(stderr, "mirelth-thumb: %s: out of memory\n", input.c_str());
    return kExitUsage;
  }
  Released releaseInitialize{initialize};
  const WideString widePath = Utf8ToWide(input);
  const HRESULT loaded = initialize->Initialize(widePath.c_str(), STGM_READ);
  if (FAILED(loaded)) {
    // Ask the C library for a reason people know ("No such file or directory").
    FILE* probe = OpenFileUtf8(input, "rb");
    const std::string reason = probe ? (loaded == E_OUTOFMEMORY ? "out of memory" : "cannot be read")
                                     : std::string("cannot open: ") + std::strerror(errno);
    if (probe) std::fclose(probe);
    std::fprintf(stderr, "mirelth-thumb: %s: %s\n", input.c_str(), reason.c_str());
    return kExitUsage;
  }
  IThumbnailProvider* provider = nullptr;
  IMirelthThumbnailDetails* details = nullptr;
  initialize->QueryInterface(kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
  initialize->QueryInterface(kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details));
  Released releaseProvider{provider}, releaseDetails{details};
  if (!provider || !details) {
    std::fprintf(stderr, "mirelth-thumb: %s: provider interfaces missing\n", input.c_str());
    return kExitUsage;
  }
  if (options.info) {
    const HRESULT described = details->Describe();
    const Facts* facts = nullptr;
    details->GetFacts(&facts);
    if (FAILED(described) || !facts) {
      DecodeFailure failure;
      details->GetLastFailure(&failure);
      std::fprintf(stderr, "mirelth-thumb: %s: %s\n", input.c_str(), DescribeFailure(failure).c_str());
      return kExitUndrawable;
    }
    if (facts->hdr && !facts->document) {
      // The white point is found by drawing: that of the default thumbnail, whose samples bound the cost (32-bit
      // documents are drawn as stored, with none). A picture its headers describe but whose data a draw refuses
      // is still described, without one.
      HBITMAP drawn = nullptr;
      WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
      provider->GetThumbnail(kDefaultEdge, &drawn, &alpha);
      const UniqueBitmap discarded(drawn);
      details->GetFacts(&facts);
    }
    TextBuffer text;
    if (options.json) {
      WriteFactsJson(*facts, input.c_str(), &text);
      text.Append("\n");
    } else {
      WriteFactsText(*facts, input.c_str(), &text);
      text.Append(facts->listing.c_str(), facts->listing.size());
    }
    const std::lock_guard<std::mutex> lock(outputLock);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return kExitOk;
  }
  std::string listingText;
  struct PrintListingAtEnd {
    const std::string& text;
    ~PrintListingAtEnd() {
      if (text.empty()) return;
      const std::lock_guard<std::mutex> lock(outputLock);
      std::fputs(text.c_str(), stdout);
      std::fflush(stdout);
    }
  } printListing{listingText};

  HBITMAP handle = nullptr;
  HRESULT drawn;
  if (options.full) {
    drawn = details->GetFullImage(&handle);
  } else {
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    drawn = provider->GetThumbnail(options.size, &handle, &alpha);
  }
  UniqueBitmap bitmap(handle);
  const Facts* facts = nullptr;
  if (SUCCEEDED(details->GetFacts(&facts)) && facts) listingText.assign(facts->listing.c_str(), facts->listing.size());
  if (options.verbose) {
    uint64_t bytes = 0;
    details->GetBytesRead(&bytes);
    std::fprintf(stderr, "mirelth-thumb: %s: %llu bytes read\n", input.c_str(), static_cast<unsigned long long>(bytes));
  }
  BitmapPixels pixels{};
  if (FAILED(drawn) || !GetBitmapPixels(bitmap.get(), &pixels)) {
    DecodeFailure failure;
    details->GetLastFailure(&failure);
    std::fprintf(stderr, "mirelth-thumb: %s: %s\n", input.c_str(), DescribeFailure(failure).c_str());
    return kExitUndrawable;
  }
  GdiFlush();
  std::string error;
  if (!WritePngFromBitmap(output, pixels.bits, pixels.width, pixels.height, &error)) {
    std::fprintf(stderr, "mirelth-thumb: %s: cannot write: %s\n", output.c_str(), error.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

int Run(const std::vector<std::string>& args) {
  Options options;
  bool sizeGiven = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(FormatsText().c_str(), stdout);
      return kExitOk;
    }
    if (arg == "--version") {
      std::printf("mirelth-thumb %s\n", MIRELTH_VERSION);
      return kExitOk;
    }
    if (arg == "-q") {
      options.quiet = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--full") {
      options.full = true;
    } else if (arg == "--info") {
      options.info = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--size" || arg.rfind("--size=", 0) == 0) {
      std::string value;
      if (arg == "--size") {
        if (i + 1 >= args.size()) return UsageError("--size needs a number");
        value = args[++i];
      } else {
        value = arg.substr(7);
      }
      char* end = nullptr;
      errno = 0;
      const unsigned long size = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || value[0] == '-' || size < 1 || size > 16384) {
        return UsageError("--size takes a whole number from 1 to 16384");
      }
      options.size = static_cast<uint32_t>(size);
      sizeGiven = true;
    } else if (arg == "-j" || (arg.size() > 2 && arg.rfind("-j", 0) == 0)) {
      std::string value;
      if (arg == "-j") {
        if (i + 1 >= args.size()) return UsageError("-j needs a number");
        value = args[++i];
      } else {
        value = arg.substr(2);
      }
      char* end = nullptr;
      errno = 0;
      const unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || value[0] == '-' || jobs < 1 || jobs > 256) {
        return UsageError("-j takes a whole number from 1 to 256");
      }
      options.jobs = static_cast<uint32_t>(jobs);
    } else if (arg == "-o") {
      if (i + 1 >= args.size()) return UsageError("-o needs a directory");
      options.outputDir = args[++i];
    } else if (arg == "--") {
      for (++i; i < args.size(); ++i) options.inputs.push_back(args[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError(("unknown option " + arg).c_str());
    } else {
      options.inputs.push_back(arg);
    }
  }
  if (options.full && sizeGiven) return UsageError("--size and --full exclude each other");
  if (options.json && !options.info) return UsageError("--json needs --info");
  if (options.info && (options.full || sizeGiven || !options.outputDir.empty())) {
    return UsageError("--info draws nothing: no --size, --full or -o");
  }
  if (options.inputs.empty()) return UsageError("no input file");

  if (options.info) {
    // One input after another, in the order given: the facts come from headers and tables, in milliseconds.
    int worst = kExitOk;
    for (const std::string& input : options.inputs) worst = std::max(worst, RenderOne(options, input, ""));
    return worst;
  }

  if (options.outputDir.empty()) {
    // Single mode: INPUT [OUTPUT.png]
    if (options.inputs.size() > 2) return UsageError("several inputs need -o DIR");
    if (options.full && options.inputs.size() != 2) return UsageError("--full needs INPUT and OUTPUT.png");
    const std::string output = options.inputs.size() == 2 ? options.inputs[1] : BaseName(options.inputs[0]) + ".png";
    return RenderOne(options, options.inputs[0], output);
  }

  if (!MakeDirectories(options.outputDir)) {
    std::fprintf(stderr, "mirelth-thumb: %s: cannot create the output directory\n", options.outputDir.c_str());
    return kExitUsage;
  }
  const bool progress = !options.quiet && IsTerminal(stderr);
  const size_t count = options.inputs.size();
  uint32_t jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  if (jobs > count) jobs = static_cast<uint32_t>(count);
  std::atomic<size_t> next{0}, finished{0}, written{0};
  std::atomic<int> worst{kExitOk};
  // Each worker takes the next input until none is left; the outputs do not depend on which worker drew what.
  const auto work = [&] {
    for (size_t i = next++; i < count; i = next++) {
      const std::string& input = options.inputs[i];
      if (progress) {
        const std::lock_guard<std::mutex> lock(outputLock);
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", finished.load() + 1, count, BaseName(input).c_str());
        std::fflush(stderr);
      }
      std::string output = options.outputDir;
      if (output.back() != '/' && output.back() != '\\') output += '/';
      output += BaseName(input) + ".png";
      if (progress) {
        const std::lock_guard<std::mutex> lock(outputLock);
        std::fputs("\r\033[K", stderr);  // error lines start on a clean line
      }
      const int code = RenderOne(options, input, output);
      ++finished;
      if (code == kExitOk) ++written;
      for (int seen = worst.load(); code > seen && !worst.compare_exchange_weak(seen, code);) {
      }
    }
  };
  std::vector<std::thread> workers;
  for (uint32_t t = 1; t < jobs; ++t) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  if (progress) {
    std::fprintf(stderr, "\r\033[K%zu of %zu written to %s\n", written.load(), count, options.outputDir.c_str());
  }
  return worst.load();
}

}  // namespace
}  // namespace mirelth

int main(int argc, char** argv) { return mirelth::Run(mirelth::CommandLineUtf8(argc, argv)); }
