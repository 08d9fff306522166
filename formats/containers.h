// The table of containers: extension, name, what it draws, its MIME type and its entry. The provider's dispatch,
// registration, the command-line tool's usage text, the desktop thumbnailer entry and the tests' per-format
// loops all read it. A new container is one row here and its folder under formats/.
#pragma once

#include <cstdint>

#include "formats/container.h"
#include "platform/win32.h"

namespace mirelth {

// File type codes, from the file's own name.
enum class FileType : int32_t { kNone = -1, kDds = 0, kTga = 1, kPsd = 2, kPvr = 3, kPsb = 4 };

struct Container {
  FileType type;
  const char* extension;  // ".dds": lower case, the dot included
  const char* name;       // "DDS"
  const char* formats;    // what is drawn, for usage texts
  const char* mimeType;   // as shared-mime-info names it
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

}  // namespace mirelth
