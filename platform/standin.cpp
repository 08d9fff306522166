// Linux stand-in for the Windows services: heap, task allocator, file reading, GDI bitmaps, the registry.
// DIB sections are zero-filled and bottom-up in memory (row 0 is the bottom of the picture), as on Windows.
#include "platform/win32.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

struct StandinGdiObject {
  LONG width = 0;
  LONG height = 0;
  uint8_t* bits = nullptr;
};

namespace {

std::atomic<long> liveGdiObjects{0};
std::atomic<long> liveHeapBlocks{0};
std::atomic<long> liveFileHandles{0};
std::atomic<int> heapFailCountdown{0};
std::atomic<int> dibFailCountdown{0};
thread_local DWORD lastError = 0;
int heapTag;

bool Countdown(std::atomic<int>& counter) {
  int value = counter.load();
  while (value > 0) {
    if (counter.compare_exchange_weak(value, value - 1)) return value == 1;
  }
  return false;
}

// Every block carries a small header. Blocks of 4 MiB and more are mapped on 2 MiB boundaries and offered to
// the kernel's transparent huge pages: a fresh 64 MiB bitmap then costs 32 page faults instead of 16384.
struct BlockHeader {
  void* mapBase;  // null: from malloc
  size_t mapLength;
  uint64_t padding[6];  // keeps the block 64-byte aligned after its header
};
static_assert(sizeof(BlockHeader) == 64);
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMapThreshold = size_t{4} << 20;

void* AllocateBlock(size_t bytes, bool zero) {
  if (bytes > (size_t{1} << 40)) return nullptr;
  if (bytes >= kMapThreshold) {
    const size_t length = bytes + sizeof(BlockHeader) + kHugePage;
    void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1);
    ::madvise(reinterpret_cast<void*>(aligned), length - (aligned - reinterpret_cast<uintptr_t>(base)), MADV_HUGEPAGE);
    auto* header = reinterpret_cast<BlockHeader*>(aligned);
    header->mapBase = base;
    header->mapLength = length;
    return header + 1;  // mapped memory is zero already
  }
  auto* header = static_cast<BlockHeader*>(zero ? std::calloc(bytes + sizeof(BlockHeader), 1)
                                                : std::malloc(bytes + sizeof(BlockHeader)));
  if (!header) return nullptr;
  header->mapBase = nullptr;
  header->mapLength = 0;
  return header + 1;
}

void FreeBlock(void* memory) {
  if (!memory) return;
  auto* header = static_cast<BlockHeader*>(memory) - 1;
  if (header->mapBase) {
    ::munmap(header->mapBase, header->mapLength);
  } else {
    std::free(header);
  }
}

// A file handle is a heap object holding the descriptor, so that INVALID_HANDLE_VALUE never collides.
struct FileHandle {
  int fd;
};

}  // namespace

namespace standin {
long LiveGdiObjects() { return liveGdiObjects.load(); }
long LiveHeapBlocks() { return liveHeapBlocks.load(); }
long LiveFileHandles() { return liveFileHandles.load(); }
void FailHeapAllocAfter(int count) { heapFailCountdown.store(count); }
void FailCreateDibSectionAfter(int count) { dibFailCountdown.store(count); }
}  // namespace standin

HANDLE GetProcessHeap() { return &heapTag; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap != &heapTag || Countdown(heapFailCountdown)) return nullptr;
  void* memory = AllocateBlock(bytes ? bytes : 1, (flags & HEAP_ZERO_MEMORY) != 0);
  if (memory) ++liveHeapBlocks;
  return memory;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory) {
  if (heap != &heapTag) return FALSE;
  if (memory) {
    --liveHeapBlocks;
    FreeBlock(memory);
  }
  return TRUE;
}

LPVOID CoTaskMemAlloc(SIZE_T bytes) { return std::malloc(bytes ? bytes : 1); }
void CoTaskMemFree(LPVOID memory) { std::free(memory); }

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
  if (!path || access != GENERIC_READ || disposition != OPEN_EXISTING) {
    lastError = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  const std::string name = mirelth::WideToUtf8(path);
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    lastError = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    // Windows refuses to open a directory as a file.
    ::close(fd);
    lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  auto* handle = new (std::nothrow) FileHandle{fd};
  if (!handle) {
    ::close(fd);
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return INVALID_HANDLE_VALUE;
  }
  ++liveFileHandles;
  return handle;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
  if (!file || file == INVALID_HANDLE_VALUE || !size) return FALSE;
  struct stat info {};
  if (::fstat(static_cast<FileHandle*>(file)->fd, &info) != 0) return FALSE;
  size->QuadPart = info.st_size;
  return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* read, OVERLAPPED* at) {
  if (read) *read = 0;
  if (!file || file == INVALID_HANDLE_VALUE) return FALSE;
  const int fd = static_cast<FileHandle*>(file)->fd;
  ssize_t got;
  do {
    if (at) {
      // A positioned read, as on a file opened for synchronous I/O.
      const uint64_t offset = at->Offset | (uint64_t{at->OffsetHigh} << 32);
      got = ::pread(fd, buffer, count, static_cast<off_t>(offset));
    } else {
      got = ::read(fd, buffer, count);
    }
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (read) *read = static_cast<DWORD>(got);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return FALSE;
  auto* file = static_cast<FileHandle*>(handle);
  ::close(file->fd);
  delete file;
  --liveFileHandles;
  return TRUE;
}

DWORD GetLastError() { return lastError; }

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

namespace {
std::mutex registryMutex;
std::u16string moduleFileName;
}  // namespace

DWORD GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
  // The stand-in "library" is the running program, unless a test names another.
  if (!buffer || size == 0) return 0;
  std::u16string wide;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    wide = moduleFileName;
  }
  if (wide.empty()) {
    char path[4096];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length < 0) return 0;
    path[length] = '\0';
    wide = mirelth::Utf8ToWide(path);
  }
  if (wide.size() >= size) {
    // Windows truncates, terminates and reports the buffer size.
    std::memcpy(buffer, wide.data(), (size - 1) * sizeof(WCHAR));
    buffer[size - 1] = 0;
    lastError = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  return static_cast<DWORD>(wide.size());
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS || section) return nullptr;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  // Only what the system uses: 32-bit BI_RGB, bottom-up.
  if (header.biSize < 40 || header.biBitCount != 32 || header.biCompression != BI_RGB || header.biPlanes != 1 ||
      header.biWidth <= 0 || header.biHeight <= 0) {
    return nullptr;
  }
  if (Countdown(dibFailCountdown)) return nullptr;
  const uint64_t bytes = static_cast<uint64_t>(header.biWidth) * static_cast<uint64_t>(header.biHeight) * 4u;
  if (bytes > (uint64_t{1} << 34)) return nullptr;
  auto* object = new (std::nothrow) StandinGdiObject{};
  if (!object) return nullptr;
  object->bits = static_cast<uint8_t*>(AllocateBlock(static_cast<size_t>(bytes), true));
  if (!object->bits) {
    delete object;
    return nullptr;
  }
  object->width = header.biWidth;
  object->height = header.biHeight;
  ++liveGdiObjects;
  if (bits) *bits = object->bits;
  return object;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return FALSE;
  FreeBlock(object->bits);
  delete object;
  --liveGdiObjects;
  return TRUE;
}

BOOL GdiFlush() { return TRUE; }

int GetObjectW(HGDIOBJ object, int size, void* out) {
  if (!object || !out) return 0;
  BITMAP bitmap{0, object->width, object->height, object->width * 4, 1, 32, object->bits};
  if (size >= static_cast<int>(sizeof(DIBSECTION))) {
    DIBSECTION section{};
    section.dsBm = bitmap;
    section.dsBmih.biSize = 40;
    section.dsBmih.biWidth = object->width;
    section.dsBmih.biHeight = object->height;
    section.dsBmih.biPlanes = 1;
    section.dsBmih.biBitCount = 32;
    section.dsBmih.biCompression = BI_RGB;
    section.dsBmih.biSizeImage = static_cast<DWORD>(object->width * object->height * 4);
    std::memcpy(out, &section, sizeof section);
    return sizeof(DIBSECTION);
  }
  if (size >= static_cast<int>(sizeof(BITMAP))) {
    std::memcpy(out, &bitmap, sizeof bitmap);
    return sizeof(BITMAP);
  }
  return 0;
}

// The registry: key paths (case-insensitive, '\\'-separated, relative to HKEY_CLASSES_ROOT; those of
// HKEY_CURRENT_USER start with "hkey_current_user") with their values.
struct StandinKey {
  std::u16string path;  // folded to lower case
};

namespace {

struct Registry {
  std::set<std::u16string> keys;
  std::map<std::u16string, std::map<std::u16string, std::pair<DWORD, std::vector<BYTE>>>> values;
};
Registry registry;
std::vector<std::string> schemas;  // registered property schemas
std::atomic<int> registryCreateCountdown{0};
std::atomic<int> registryWriteCountdown{0};
std::atomic<int> shellNotifications{0};

std::u16string Fold(std::u16string text) {
  for (auto& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 0x20);
  }
  return text;
}

// The full folded path of `sub` under `parent`, or false for a parent we do not serve.
bool KeyPath(HKEY parent, LPCWSTR sub, std::u16string* path) {
  std::u16string base;
  if (parent == HKEY_CLASSES_ROOT) {
    base.clear();
  } else if (parent == HKEY_CURRENT_USER) {
    base = u"hkey_current_user";
  } else if (parent == HKEY_LOCAL_MACHINE) {
    base = u"hkey_local_machine";
  } else if (parent) {
    base = parent->path;
  } else {
    return false;
  }
  const std::u16string tail = Fold(sub ? std::u16string(sub) : std::u16string());
  if (tail.empty()) {
    *path = base;
  } else {
    *path = base.empty() ? tail : base + u"\\" + tail;
  }
  return true;
}

}  // namespace

namespace standin {
void ResetRegistry() {
  std::lock_guard<std::mutex> lock(registryMutex);
  registry = Registry{};
  schemas.clear();
  shellNotifications = 0;
}
void FailRegistryCreateAfter(int count) { registryCreateCountdown.store(count); }
void FailRegistryWriteAfter(int count) { registryWriteCountdown.store(count); }
int ShellNotifications() { return shellNotifications.load(); }
void SetModuleFileName(const char16_t* path) {
  std::lock_guard<std::mutex> lock(registryMutex);
  moduleFileName = path ? path : u"";
}
}  // namespace standin

LSTATUS RegCreateKeyExW(HKEY parent, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, SECURITY_ATTRIBUTES*, PHKEY result,
                        DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::u16string path;
  if (!KeyPath(parent, subKey, &path) || path.empty()) return ERROR_INVALID_PARAMETER;
  if (Countdown(registryCreateCountdown)) return ERROR_ACCESS_DENIED;
  auto* key = new (std::nothrow) StandinKey{path};
  if (!key) return ERROR_NOT_ENOUGH_MEMORY;
  std::lock_guard<std::mutex> lock(registryMutex);
  // Creating a key creates its parents.
  const bool existed = registry.keys.count(path) != 0;
  for (size_t at = path.find(u'\\'); at != std::u16string::npos; at = path.find(u'\\', at + 1)) {
    registry.keys.insert(path.substr(0, at));
  }
  registry.keys.insert(path);
  if (disposition) *disposition = existed ? 2 : 1;  // REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY
  *result = key;
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::u16string path;
  if (!KeyPath(parent, subKey, &path)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(registryMutex);
  if (!path.empty() && registry.keys.count(path) == 0) return ERROR_FILE_NOT_FOUND;
  *result = new (std::nothrow) StandinKey{path};
  return *result ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!key || key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || (!data && size)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (Countdown(registryWriteCountdown)) return ERROR_ACCESS_DENIED;
  std::lock_guard<std::mutex> lock(registryMutex);
  if (registry.keys.count(key->path) == 0) return ERROR_FILE_NOT_FOUND;  // deleted meanwhile
  const std::u16string name = Fold(valueName ? std::u16string(valueName) : std::u16string());
  registry.values[key->path][name] = {type, std::vector<BYTE>(data, data + size)};
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  if (!key) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(registryMutex);
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_FILE_NOT_FOUND;  // no values at the root
  const std::u16string path = key == HKEY_CLASSES_ROOT ? std::u16string() : key->path;
  const auto values = registry.values.find(path);
  if (values == registry.values.end()) return ERROR_FILE_NOT_FOUND;
  const auto value = values->second.find(Fold(valueName ? std::u16string(valueName) : std::u16string()));
  if (value == values->second.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->second.first;
  const auto& bytes = value->second.second;
  if (data) {
    if (!size || *size < bytes.size()) {
      if (size) *size = static_cast<DWORD>(bytes.size());
      return ERROR_MORE_DATA;
    }
    std::copy(bytes.begin(), bytes.end(), data);
  }
  if (size) *size = static_cast<DWORD>(bytes.size());
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  if (!key || key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(registryMutex);
  const auto values = registry.values.find(key->path);
  if (values == registry.values.end()) return ERROR_FILE_NOT_FOUND;
  return values->second.erase(Fold(valueName ? std::u16string(valueName) : std::u16string())) ? ERROR_SUCCESS
                                                                                              : ERROR_FILE_NOT_FOUND;
}

LSTATUS RegCloseKey(HKEY key) {
  if (!key || key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
    return ERROR_INVALID_PARAMETER;
  }
  delete key;
  return ERROR_SUCCESS;
}

LSTATUS SHDeleteKeyW(HKEY parent, LPCWSTR subKey) {
  std::u16string path;
  if (!KeyPath(parent, subKey, &path) || path.empty()) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(registryMutex);
  if (registry.keys.count(path) == 0) return ERROR_FILE_NOT_FOUND;
  const std::u16string prefix = path + u"\\";
  for (auto it = registry.keys.begin(); it != registry.keys.end();) {
    if (*it == path || it->compare(0, prefix.size(), prefix) == 0) {
      registry.values.erase(*it);
      it = registry.keys.erase(it);
    } else {
      ++it;
    }
  }
  return ERROR_SUCCESS;
}

void SHChangeNotify(LONG, UINT, LPCVOID, LPCVOID) { ++shellNotifications; }

HRESULT PSRegisterPropertySchema(LPCWSTR path) {
  if (!path) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(registryMutex);
  const std::string name = mirelth::WideToUtf8(path);
  for (const std::string& known : schemas) {
    if (known == name) return S_OK;
  }
  schemas.push_back(name);
  return S_OK;
}

HRESULT PSUnregisterPropertySchema(LPCWSTR path) {
  if (!path) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(registryMutex);
  const std::string name = mirelth::WideToUtf8(path);
  for (auto it = schemas.begin(); it != schemas.end(); ++it) {
    if (*it == name) {
      schemas.erase(it);
      return S_OK;
    }
  }
  return S_OK;
}

HRESULT PropVariantClear(PROPVARIANT* value) {
  if (!value) return E_POINTER;
  if (value->vt == VT_LPWSTR) CoTaskMemFree(value->pwszVal);
  value->vt = VT_EMPTY;
  value->uhVal = 0;
  return S_OK;
}

namespace standin {
std::vector<std::string> RegisteredSchemas() {
  std::lock_guard<std::mutex> lock(registryMutex);
  return schemas;
}
}  // namespace standin

BOOL SystemParametersInfoW(UINT, UINT, void*, UINT) {
  ++shellNotifications;
  return TRUE;
}
