// The picture interface: what a container hands back once it has read a file's headers and tables.
//
// The call contract:
//   1. Open (the container's entry in the container table) reads headers and tables through the byte source,
//      proves what it will read lies in the file, and fills the facts (picture/facts.h) as it learns them:
//      a file refused after its header still has its facts. Nothing the size of the image is allocated and
//      no pixel is decoded.
//   2. Then any number of draws, each independent of the last: DrawFull (level 0 at its own size, at most
//      2^28 pixels) or DrawThumbnail (a tw x th thumbnail, sampled or the reference).
//   3. A draw that reads rows reads them through a RowSource: Begin with the columns and rows it wants, then
//      Row for each wanted row in increasing order, each once.
// A picture keeps a reference to the source it was opened on; the source outlives it.
#pragma once

#include <cstdint>
#include <memory>

#include "io/failure.h"
#include "picture/bitmap.h"
#include "picture/filter.h"

namespace mirelth {

// A picture a container located: drawn at its own size (level 0) or as a thumbnail.
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int32_t width() const = 0;  // of level 0: decides the thumbnail's size
  virtual int32_t height() const = 0;
  // Level 0 at its own size (the --full path).
  [[nodiscard]] virtual bool DrawFull(HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) = 0;
  // The tw x th thumbnail: sampled (decoding only what it shows) or, as the reference, from a full decode of
  // the same level through the same filter.
  [[nodiscard]] virtual bool DrawThumbnail(int32_t tw, int32_t th, bool reference, HBITMAP* bitmap,
                                           DecodeFailure* failure) = 0;
  // Mip levels a closer look can step through (textures; 1 for everything else), their sizes, and level `level`
  // drawn at tw x th through the same filter as thumbnails (sampled: only what it shows is decoded).
  virtual int32_t levelCount() const { return 1; }
  virtual void levelSize(int32_t level, int32_t* w, int32_t* h) const {
    (void)level;
    *w = width(), *h = height();
  }
  [[nodiscard]] virtual bool DrawLevel(int32_t level, int32_t tw, int32_t th, HBITMAP* bitmap, DecodeFailure* failure) {
    (void)level;
    return DrawThumbnail(tw, th, false, bitmap, failure);
  }

  // The white point the last draw tone mapped under (HDR pictures); 0 before a draw and for other pictures.
  double whitePoint() const { return whitePoint_; }

 protected:
  double whitePoint_ = 0;
};
using PicturePtr = std::unique_ptr<Picture>;

// The thumbnail of a row picture through the filter, or the reference: the full decode filtered alike.
bool DrawRowThumbnail(RowSource& rows, const RowGeometry& geometry, int32_t tw, int32_t th, bool reference,
                      HBITMAP* bitmap, DecodeFailure* failure);

// A picture read a row at a time (packed or planar containers: PSD planes and layers, run-length TGA): the
// container's row source with its geometry. Every draw begins the row source anew.
class RowPicture : public Picture {
 public:
  explicit RowPicture(const RowGeometry& geometry) : geometry_(geometry) {}
  int32_t width() const override { return geometry_.width; }
  int32_t height() const override { return geometry_.height; }
  bool DrawFull(HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) override {
    return DrawRowsFull(Rows(), geometry_, bitmap, info, failure);
  }
  bool DrawThumbnail(int32_t tw, int32_t th, bool reference, HBITMAP* bitmap, DecodeFailure* failure) override {
    return DrawRowThumbnail(Rows(), geometry_, tw, th, reference, bitmap, failure);
  }

 protected:
  virtual RowSource& Rows() = 0;
  RowGeometry geometry_;
};

}  // namespace mirelth
