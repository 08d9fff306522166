// The table of containers: extension, name, what it draws, its MIME type (and whether the MIME package defines
// it), its signatures and its entry. The provider's dispatch, registration, the command-line tool's usage text,
// the desktop thumbnailer entry and MIME package (tools/tables), the fuzz targets and the tests' per-format loops
// all read it. A new container is one row here and its folder under formats/.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/container.h"
#include "platform/win32.h"

namespace mirelth {

// File type codes, from the file's own name.
enum class FileType : int32_t {
  kNone = -1,
  kDds = 0,
  kTga = 1,
  kPsd = 2,
  kPvr = 3,
  kPsb = 4,
  kHdr = 5,
  kVtf = 6,
  kKtx = 7,
  kKtx2 = 8,
  kAstc = 9,
  kExr = 10
};

// What the freedesktop MIME package says of a row's type: nothing (shared-mime-info knows it), our extension as
// another glob of a known type, or the whole type (comment, signatures, glob).
enum class MimeEntry : uint8_t { kKnown, kGlob, kDefine };

// Bytes a file of the container holds at an offset (magic numbers); length 0 ends the list.
struct Signature {
  uint32_t offset;
  uint8_t length;
  const char* bytes;
};
inline constexpr int kMaxSignatures = 2;

struct Container {
  FileType type;
  const char* extension;  // ".dds": lower case, the dot included
  const char* name;       // "DDS"
  const char* formats;    // what is drawn, for usage texts
  const char* mimeType;   // as shared-mime-info names it
  MimeEntry mime;
  const char* mimeComment;               // kDefine: the type's name for people
  Signature signatures[kMaxSignatures];  // any one of them identifies the container (none: it has no magic)
  OpenFunction openPicture;
};

// Every container, in the order the name rule tries them.
const Container* Containers(size_t* count);
const Container* ContainerFor(FileType type);

// The file's own name (after the last '\' or '/'), ASCII-lowercased; of the table's extensions the occurrence
// that starts furthest right decides. kNone when none occurs.
FileType FileTypeFromName(const WCHAR* name);

// The extensions of the table, for messages: ".dds, .tga, .psd, .pvr, .psb".
const char* KnownExtensions();

// Whether the first bytes of a file (`head`, `length` of them) carry one of the container's signatures.
bool HasSignature(const Container& container, const uint8_t* head, size_t length);
// The bytes a signature test reads: enough for every row's signatures.
inline constexpr size_t kSignatureBytes = 64;
// When `tried` refused the source as not its format and the bytes carry another row's signature, says so in the
// failure ("...; the bytes are a PSD file's").
void NameTheBytes(ByteSource& source, const Container& tried, DecodeFailure* failure);

}  // namespace mirelth
