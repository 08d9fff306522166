// Flattening layers. Values are composited as floats: 8- and 16-bit samples as v / 255 and v / 65535, 32-bit
// samples as stored (linear light); the result leaves through the document depth's usual rule. A layer's
// alpha is its transparency channel (-1, else opaque) times its user mask (-2: its own rectangle, the default
// colour outside it, ignored when disabled) times opacity x fill opacity; a clipped layer's alpha is also
// multiplied by its base's. Colours blend by the W3C Compositing and Blending formulas (premultiplied result,
// source blended as (1 - ab) Cs + ab B(Cb, Cs)) with Photoshop's extra modes on values clamped to 0..1. A group
// (section divider 3 opens it, 1 or 2 closes it, in bottom-first order) is composited alone and then blended with
// its mode and opacity, unless its mode is pass-through.
#include "formats/psd/psd_flatten.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <new>

#include "encodings/conversion_rules.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

constexpr uint32_t Key(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
         uint32_t(uint8_t(text[3]));
}
constexpr uint32_t kNormal = Key("norm"), kPass = Key("pass"), kDissolve = Key("diss");
constexpr uint32_t kHue = Key("hue "), kSaturation = Key("sat "), kColor = Key("colr"), kLuminosity = Key("lum ");
constexpr uint32_t kDarkerColor = Key("dkCl"), kLighterColor = Key("lgCl");
// Open and closed folders end a group (in bottom-first order); the bounding marker starts it.
constexpr uint32_t kOpenFolder = 1, kClosedFolder = 2, kGroupMarker = 3;
// A ZIP plane keeps an inflate state (about 60 KiB) while the rows pass: this many at most.
constexpr uint32_t kMaxZipPlanes = 1024;
// Layers may be larger than the canvas, but not larger than a document can be.
constexpr int64_t kMaxLayerEdge = 300000;
constexpr int32_t kMaxGroupLevels = 64;

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float ColorDodge(float b, float s) {
  if (b <= 0.0f) return 0.0f;
  if (s >= 1.0f) return 1.0f;
  return std::min(1.0f, b / (1.0f - s));
}
float ColorBurn(float b, float s) {
  if (b >= 1.0f) return 1.0f;
  if (s <= 0.0f) return 0.0f;
  return 1.0f - std::min(1.0f, (1.0f - b) / s);
}
float HardLight(float b, float s) { return s <= 0.5f ? b * 2.0f * s : b + (2.0f * s - 1.0f) - b * (2.0f * s - 1.0f); }

float Lum(const float* c) { return 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2]; }
void ClipColor(float* c) {
  const float l = Lum(c), n = std::min({c[0], c[1], c[2]}), x = std::max({c[0], c[1], c[2]});
  for (int i = 0; i < 3; ++i) {
    if (n < 0.0f && l - n > 0.0f) c[i] = l + (c[i] - l) * l / (l - n);
    if (x > 1.0f && x - l > 0.0f) c[i] = l + (c[i] - l) * (1.0f - l) / (x - l);
  }
}
void SetLum(float* c, float l) {
  const float d = l - Lum(c);
  for (int i = 0; i < 3; ++i) c[i] += d;
  ClipColor(c);
}
float Sat(const float* c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }
void SetSat(float* c, float s) {
  int maxI = 0, minI = 0;
  for (int i = 1; i < 3; ++i) {
    if (c[i] > c[maxI]) maxI = i;
    if (c[i] < c[minI]) minI = i;
  }
  if (maxI == minI) {
    c[0] = c[1] = c[2] = 0.0f;
    return;
  }
  const int midI = 3 - maxI - minI;
  c[midI] = (c[midI] - c[minI]) * s / (c[maxI] - c[minI]);
  c[maxI] = s;
  c[minI] = 0.0f;
}

bool NonSeparable(uint32_t key) {
  return key == kHue || key == kSaturation || key == kColor || key == kLuminosity || key == kDarkerColor ||
         key == kLighterColor;
}

// B(Cb, Cs) of a non-separable mode, in place in `out` (3 channels).
void BlendNonSeparable(uint32_t key, const float* b, const float* s, float* out) {
  float t[3];
  switch (key) {
    case kHue:
      std::copy(s, s + 3, t);
      SetSat(t, Sat(b));
      SetLum(t, Lum(b));
      break;
    case kSaturation:
      std::copy(b, b + 3, t);
      SetSat(t, Sat(s));
      SetLum(t, Lum(b));
      break;
    case kColor:
      std::copy(s, s + 3, t);
      SetLum(t, Lum(b));
      break;
    case kLuminosity:
      std::copy(b, b + 3, t);
      SetLum(t, Lum(s));
      break;
    case kDarkerColor: std::copy(Lum(s) < Lum(b) ? s : b, (Lum(s) < Lum(b) ? s : b) + 3, t); break;
    default:  // lighter color
      std::copy(Lum(s) > Lum(b) ? s : b, (Lum(s) > Lum(b) ? s : b) + 3, t);
      break;
  }
  std::copy(t, t + 3, out);
}

// A layer's channel planes: colour (R, G, B, or gray), transparency and user mask.
enum PlaneRole : uint32_t { kRed = 0, kGreen = 1, kBlue = 2, kTransparency = 3, kMask = 4, kRoles = 5 };

struct DrawnLayer {
  uint32_t record = 0;
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  int32_t maskTop = 0, maskLeft = 0, maskBottom = 0, maskRight = 0;
  float maskDefault = 0.0f;
  bool hasMask = false;
  int32_t plane[kRoles] = {-1, -1, -1, -1, -1};  // index into the plan's planes, -1 when absent
  // The sampled columns inside the layer's and the mask's rectangle: indices [first, last).
  int32_t first = 0, last = 0, maskFirst = 0, maskLast = 0;
};

struct Op {
  enum Kind : uint8_t { kLayer, kPush, kPop } kind = kLayer;
  int32_t drawn = -1;  // kLayer: index into the drawn layers; kPop: the group's own record (its mask), or -1
  uint32_t blend = kNormal;
  float opacity = 1.0f;
  bool clipped = false;  // kLayer: clipped to the base below
};

}  // namespace

struct FlattenRows::Plan {
  Growable<Op> ops;
  Growable<DrawnLayer> layers;
  Growable<PlaneSpec> specs;
  Scratch<PlaneReader> readers{0};
  int32_t depthLevels = 1;  // nesting of composited groups, the canvas included
  // Per row: per level a premultiplied RGBA row and the alpha of the level's clipping base.
  Scratch<float> canvas{0}, base{0};
  Scratch<float> colour{0}, alpha{0}, mask{0};  // the current layer's values at the sampled columns
  Scratch<uint64_t> positions{0};
  Scratch<uint8_t> picked{0};
  const int32_t* columns = nullptr;
  const int32_t* rows = nullptr;
  int32_t columnCount = 0;
};

float BlendChannel(uint32_t key, float b, float s) {
  if (key == kNormal || key == kDissolve) return s;
  b = Clamp01(b);
  s = Clamp01(s);
  switch (key) {
    case Key("mul "): return b * s;
    case Key("scrn"): return b + s - b * s;
    case Key("over"): return HardLight(s, b);
    case Key("dark"): return std::min(b, s);
    case Key("lite"): return std::max(b, s);
    case Key("div "): return ColorDodge(b, s);
    case Key("idiv"): return ColorBurn(b, s);
    case Key("hLit"): return HardLight(b, s);
    case Key("sLit"): {
      if (s <= 0.5f) return b - (1.0f - 2.0f * s) * b * (1.0f - b);
      const float d = b <= 0.25f ? ((16.0f * b - 12.0f) * b + 4.0f) * b : std::sqrt(b);
      return b + (2.0f * s - 1.0f) * (d - b);
    }
    case Key("diff"): return std::fabs(b - s);
    case Key("smud"): return b + s - 2.0f * b * s;
    case Key("lbrn"): return Clamp01(b + s - 1.0f);
    case Key("lddg"): return Clamp01(b + s);
    case Key("vLit"): return s <= 0.5f ? ColorBurn(b, 2.0f * s) : ColorDodge(b, 2.0f * s - 1.0f);
    case Key("lLit"): return Clamp01(b + 2.0f * s - 1.0f);
    case Key("pLit"): return s <= 0.5f ? std::min(b, 2.0f * s) : std::max(b, 2.0f * s - 1.0f);
    case Key("hMix"): return b + s >= 1.0f ? 1.0f : 0.0f;
    case Key("fsub"): return Clamp01(b - s);
    case Key("fdiv"):
      if (s <= 0.0f) return b > 0.0f ? 1.0f : 0.0f;
      return Clamp01(b / s);
    default: return s;  // unknown modes draw as normal
  }
}

namespace {

// Composites source colours (3 a column, not premultiplied) with alphas onto premultiplied RGBA columns.
void Composite(uint32_t key, const float* colour, const float* alpha, float* canvas, int32_t count) {
  const bool normal = key == kNormal || key == kDissolve;
  const bool nonSeparable = NonSeparable(key);
  for (int32_t i = 0; i < count; ++i) {
    const float as = alpha[i];
    if (as <= 0.0f) continue;
    float* c = canvas + 4 * static_cast<size_t>(i);
    const float* s = colour + 3 * static_cast<size_t>(i);
    const float ab = c[3];
    if (normal || ab <= 0.0f) {
      for (int k = 0; k < 3; ++k) c[k] = as * s[k] + (1.0f - as) * c[k];
    } else {
      const float b[3] = {c[0] / ab, c[1] / ab, c[2] / ab};
      float blended[3];
      if (nonSeparable) {
        const float bc[3] = {Clamp01(b[0]), Clamp01(b[1]), Clamp01(b[2])};
        const float sc[3] = {Clamp01(s[0]), Clamp01(s[1]), Clamp01(s[2])};
        BlendNonSeparable(key, bc, sc, blended);
      } else {
        for (int k = 0; k < 3; ++k) blended[k] = BlendChannel(key, b[k], s[k]);
      }
      for (int k = 0; k < 3; ++k) {
        const float mixed = (1.0f - ab) * s[k] + ab * blended[k];
        c[k] = as * mixed + (1.0f - as) * c[k];
      }
    }
    c[3] = as + ab * (1.0f - as);
  }
}

float SampleValue(const uint8_t* sample, uint32_t depth) {
  switch (depth) {
    case 8: return sample[0] * (1.0f / 255.0f);
    case 16: return ByteReader::U16BENoBoundsCheck(sample) * (1.0f / 65535.0f);
    default: {
      const float v = FloatFromBits(ByteReader::U32BENoBoundsCheck(sample));
      return std::isnan(v) ? 0.0f : v;
    }
  }
}

}  // namespace

FlattenRows::FlattenRows(ByteSource& source, const PsdDocument& document) : source_(&source), document_(&document) {}
FlattenRows::~FlattenRows() { delete plan_; }

bool FlattenRows::Layout(DecodeFailure* failure) {
  const PsdDocument& doc = *document_;
  if (doc.mode != kPsdRgb && doc.mode != kPsdGrayscale) {
    return Fail(failure, FailureKind::Unsupported,
                "PSD colour mode %u without a composite image (layers are flattened for RGB and grayscale only)",
                doc.mode);
  }
  if (!doc.layersComplete || doc.layers.size() == 0) {
    return Fail(failure, FailureKind::Truncated, "no composite image and no complete layer records to flatten");
  }
  plan_ = new (std::nothrow) Plan;
  if (!plan_) return Fail(failure, FailureKind::OutOfMemory, "no flattening plan");
  Plan& plan = *plan_;
  const size_t count = doc.layers.size();
  const uint32_t sampleBytes = doc.depth / 8;
  const uint32_t colourChannels = doc.mode == kPsdRgb ? 3 : 1;

  // Groups: match each marker with the folder record that closes it, both ways.
  Scratch<int32_t> closer(count), opener(count);
  Scratch<int32_t> stack(count);
  if (!closer || !opener || !stack) return Fail(failure, FailureKind::OutOfMemory, "no group table");
  int32_t open = 0;
  for (size_t i = 0; i < count; ++i) {
    closer[i] = opener[i] = -1;
    const uint32_t type = doc.layers[i].sectionType;
    if (type == kGroupMarker) {
      stack[open++] = static_cast<int32_t>(i);
    } else if ((type == kOpenFolder || type == kClosedFolder) && open > 0) {
      opener[i] = stack[--open];
      closer[static_cast<size_t>(opener[i])] = static_cast<int32_t>(i);
    }
  }

  // A layer's planes, checked against its record.
  uint32_t zipPlanes = 0;
  const auto addPlane = [&](const PsdChannel& channel, int64_t width, int64_t height, int32_t* index) -> bool {
    if (channel.length < 2) return true;  // no data: the channel is absent
    // Channels lie far apart: read the compression word alone rather than refill the small-read window for it.
    uint8_t word[2];
    if (!source_->ReadUnwindowed(channel.offset, word, 2, failure)) return false;
    const uint16_t compression = ByteReader::U16BENoBoundsCheck(word);
    PlaneSpec spec;
    spec.compression = compression;
    spec.depth = doc.depth;
    spec.rowBytes = static_cast<uint64_t>(width) * sampleBytes;
    spec.rows = static_cast<uint64_t>(height);
    const uint64_t data = channel.offset + 2, end = channel.offset + channel.length;
    switch (compression) {
      case kPsdRaw:
        if (spec.rowBytes * spec.rows > end - data) {
          return FailTruncated(failure, source_->size(), data + spec.rowBytes * spec.rows, "a layer channel");
        }
        spec.data = data;
        break;
      case kPsdPackBits: {
        spec.countBytes = doc.version == 2 ? 4 : 2;
        const uint64_t tableBytes = spec.rows * spec.countBytes;
        if (tableBytes > end - data) {
          return FailTruncated(failure, source_->size(), data + tableBytes, "a layer channel's row byte counts");
        }
        spec.table = data;
        spec.data = data + tableBytes;
        spec.dataEnd = end;
        break;
      }
      case kPsdZip:
      case kPsdZipPredicted:
        spec.data = data;
        spec.dataEnd = end;
        if (++zipPlanes > kMaxZipPlanes) {
          return Fail(failure, FailureKind::TooLarge, "more than %u ZIP layer channels to flatten", kMaxZipPlanes);
        }
        break;
      default: return Fail(failure, FailureKind::Unsupported, "PSD layer channel compression %u", compression);
    }
    *index = static_cast<int32_t>(plan.specs.size());
    if (!plan.specs.Push(spec)) return Fail(failure, FailureKind::OutOfMemory, "no plane table");
    return true;
  };

  // Walks the records bottom first, emitting operations. `level` counts composited groups open.
  int32_t level = 0;
  bool baseDrawn[kMaxGroupLevels] = {};  // per level: whether the clipping base is drawn
  const auto push = [&](const Op& op) { return plan.ops.Push(op); };
  for (size_t i = 0; i < count; ++i) {
    const PsdLayer& layer = doc.layers[i];
    const bool hidden = (layer.flags & 0x02) != 0;
    if (layer.sectionType == kGroupMarker) {
      const int32_t end = closer[i];
      if (end < 0) continue;  // a marker without its folder: its layers draw where they are
      const PsdLayer& group = doc.layers[static_cast<size_t>(end)];
      if (group.flags & 0x02) {  // a hidden group hides everything in it
        i = static_cast<size_t>(end);
        continue;
      }
      const uint32_t blend = group.sectionBlendKey ? group.sectionBlendKey : group.blendKey;
      if (blend == kPass) continue;
      Op op;
      op.kind = Op::kPush;
      if (!push(op)) return Fail(failure, FailureKind::OutOfMemory, "no operation list");
      // Each composited group open keeps a canvas row of its own: nesting is bounded (Photoshop nests 10 deep).
      if (++level >= kMaxGroupLevels) {
        return Fail(failure, FailureKind::TooLarge, "groups nested more than %d deep", kMaxGroupLevels - 1);
      }
      plan.depthLevels = std::max(plan.depthLevels, level + 1);
      baseDrawn[level] = false;
      continue;
    }
    if (layer.sectionType == kOpenFolder || layer.sectionType == kClosedFolder) {
      // Closes a composited group when its marker opened one (pass-through and unmatched folders close nothing).
      const uint32_t blend = layer.sectionBlendKey ? layer.sectionBlendKey : layer.blendKey;
      const bool opened = opener[i] >= 0 && blend != kPass;
      if (!opened || level == 0) continue;
      Op op;
      op.kind = Op::kPop;
      op.blend = layer.sectionBlendKey ? layer.sectionBlendKey : layer.blendKey;
      op.opacity = layer.opacity / 255.0f * (layer.fillOpacity / 255.0f);
      if (!push(op)) return Fail(failure, FailureKind::OutOfMemory, "no operation list");
      --level;
      baseDrawn[level] = true;
      continue;
    }
    const bool clipped = layer.clipping != 0;
    const int64_t width = int64_t{layer.right} - layer.left, height = int64_t{layer.bottom} - layer.top;
    bool drawable = !hidden && width > 0 && height > 0 && width <= kMaxLayerEdge && height <= kMaxLayerEdge;
    if (clipped && !baseDrawn[level]) drawable = false;  // its base is hidden or empty
    DrawnLayer drawn;
    drawn.record = static_cast<uint32_t>(i);
    drawn.top = layer.top, drawn.left = layer.left, drawn.bottom = layer.bottom, drawn.right = layer.right;
    bool hasColour = false;
    if (drawable) {
      for (uint32_t c = 0; c < layer.channelCount; ++c) {
        const PsdChannel& channel = doc.channels[layer.firstChannel + c];
        int32_t role = -1;
        int64_t w = width, h = height;
        if (channel.id >= 0 && static_cast<uint32_t>(channel.id) < colourChannels) {
          role = channel.id;
        } else if (channel.id == -1) {
          role = kTransparency;
        } else if (channel.id == -2 && layer.hasMask && !(layer.maskFlags & 0x02)) {
          role = kMask;
          w = int64_t{layer.maskRight} - layer.maskLeft;
          h = int64_t{layer.maskBottom} - layer.maskTop;
          if (w <= 0 || h <= 0 || w > kMaxLayerEdge || h > kMaxLayerEdge) w = h = 0;
        }
        if (role < 0 || drawn.plane[role] >= 0 || w == 0) continue;
        if (!addPlane(channel, w, h, &drawn.plane[role])) return false;
        hasColour |= role < static_cast<int32_t>(kTransparency) && drawn.plane[role] >= 0;
      }
      if (layer.hasMask && !(layer.maskFlags & 0x02)) {
        drawn.hasMask = true;
        drawn.maskTop = layer.maskTop, drawn.maskLeft = layer.maskLeft;
        drawn.maskBottom = layer.maskBottom, drawn.maskRight = layer.maskRight;
        drawn.maskDefault = layer.maskDefault / 255.0f;
      }
    }
    drawable = drawable && hasColour;  // layers without pixels (adjustments, empty) are skipped
    if (!clipped) baseDrawn[level] = drawable;
    if (!drawable) continue;
    Op op;
    op.kind = Op::kLayer;
    op.drawn = static_cast<int32_t>(plan.layers.size());
    op.blend = layer.blendKey;
    op.opacity = layer.opacity / 255.0f * (layer.fillOpacity / 255.0f);
    op.clipped = clipped;
    if (!plan.layers.Push(drawn) || !push(op)) return Fail(failure, FailureKind::OutOfMemory, "no layer list");
  }
  while (level-- > 0) {  // groups never closed end at the top
    Op op;
    op.kind = Op::kPop;
    if (!push(op)) return Fail(failure, FailureKind::OutOfMemory, "no operation list");
  }
  plan.readers = Scratch<PlaneReader>(plan.specs.size());
  if (!plan.readers) return Fail(failure, FailureKind::OutOfMemory, "no plane readers");
  return true;
}

bool FlattenRows::Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t,
                        DecodeFailure* failure) {
  Plan& plan = *plan_;
  plan.columns = columns;
  plan.rows = rows;
  plan.columnCount = columnCount;
  const auto n = static_cast<size_t>(columnCount);
  const size_t levels = static_cast<size_t>(plan.depthLevels);
  plan.canvas = Scratch<float>(levels * n * 4);
  plan.base = Scratch<float>(levels * n);
  plan.colour = Scratch<float>(n * 3);
  plan.alpha = Scratch<float>(n);
  plan.mask = Scratch<float>(n);
  plan.positions = Scratch<uint64_t>(n * 4);
  plan.picked = Scratch<uint8_t>(n * 4);
  if (!plan.canvas || !plan.base || !plan.colour || !plan.alpha || !plan.mask || !plan.positions || !plan.picked) {
    return Fail(failure, FailureKind::OutOfMemory, "no flattening rows");
  }
  // The sampled columns each layer and mask covers.
  const auto range = [&](int32_t left, int32_t right, int32_t* first, int32_t* last) {
    *first = static_cast<int32_t>(std::lower_bound(columns, columns + columnCount, left) - columns);
    *last = static_cast<int32_t>(std::lower_bound(columns, columns + columnCount, right) - columns);
  };
  for (size_t i = 0; i < plan.layers.size(); ++i) {
    DrawnLayer& layer = plan.layers[i];
    range(layer.left, layer.right, &layer.first, &layer.last);
    if (layer.hasMask) range(layer.maskLeft, layer.maskRight, &layer.maskFirst, &layer.maskLast);
  }
  for (size_t i = 0; i < plan.specs.size(); ++i) {
    if (!plan.readers[i].Open(source_, plan.specs[i], failure)) return false;
  }
  return true;
}

namespace {

// Reads columns [first, last) of row `row` of a plane whose rectangle starts at `left`, as values.
bool ReadValues(FlattenRows::Plan& plan, PlaneReader& reader, uint32_t depth, int64_t row, int32_t left, int32_t first,
                int32_t last, float* out, DecodeFailure* failure);

}  // namespace

bool FlattenRows::Row(int32_t index, uint32_t* out, DecodeFailure* failure) {
  Plan& plan = *plan_;
  const PsdDocument& doc = *document_;
  const int32_t y = plan.rows[index];
  const auto n = static_cast<size_t>(plan.columnCount);
  const uint32_t depth = doc.depth;
  const bool gray = doc.mode == kPsdGrayscale;
  int32_t level = 0;
  std::fill(plan.canvas.get(), plan.canvas.get() + n * 4, 0.0f);
  std::fill(plan.base.get(), plan.base.get() + n, 1.0f);  // a clipped layer with no base below draws as it is
  for (size_t o = 0; o < plan.ops.size(); ++o) {
    const Op& op = plan.ops[o];
    if (op.kind == Op::kPush) {
      ++level;
      std::fill(plan.canvas.get() + level * n * 4, plan.canvas.get() + (level + 1) * n * 4, 0.0f);
      std::fill(plan.base.get() + level * n, plan.base.get() + (level + 1) * n, 1.0f);
      continue;
    }
    if (op.kind == Op::kPop) {
      // The group's premultiplied row, un-premultiplied, blended onto the level below with its opacity.
      const float* group = plan.canvas.get() + level * n * 4;
      --level;
      float* colour = plan.colour.get();
      float* alpha = plan.alpha.get();
      for (size_t i = 0; i < n; ++i) {
        const float a = group[4 * i + 3];
        for (int k = 0; k < 3; ++k) colour[3 * i + k] = a > 0.0f ? group[4 * i + k] / a : 0.0f;
        alpha[i] = a * op.opacity;
        plan.base[level * n + i] = alpha[i];  // a group is the base of layers clipped above it
      }
      Composite(op.blend, colour, alpha, plan.canvas.get() + level * n * 4, plan.columnCount);
      continue;
    }
    const DrawnLayer& layer = plan.layers[static_cast<size_t>(op.drawn)];
    float* base = plan.base.get() + level * n;
    const bool inside = y >= layer.top && y < layer.bottom && layer.first < layer.last;
    if (!inside) {
      if (!op.clipped) std::fill(base, base + n, 0.0f);
      continue;
    }
    const int32_t first = layer.first, last = layer.last, span = last - first;
    const int64_t row = int64_t{y} - layer.top;
    float* colour = plan.colour.get();
    float* alpha = plan.alpha.get();
    float* values = plan.mask.get();
    // Colour channels (gray repeated), absent ones 0.
    for (int32_t role = 0; role < 3; ++role) {
      const int32_t plane = layer.plane[gray ? 0 : role];
      if (gray && role > 0) {
        for (int32_t i = 0; i < span; ++i) colour[3 * i + role] = colour[3 * i];
        continue;
      }
      if (plane < 0) {
        for (int32_t i = 0; i < span; ++i) colour[3 * i + role] = 0.0f;
        continue;
      }
      if (!ReadValues(plan, plan.readers[static_cast<size_t>(plane)], depth, row, layer.left, first, last, values,
                      failure)) {
        return false;
      }
      for (int32_t i = 0; i < span; ++i) colour[3 * i + role] = values[i];
    }
    if (layer.plane[kTransparency] >= 0) {
      if (!ReadValues(plan, plan.readers[static_cast<size_t>(layer.plane[kTransparency])], depth, row, layer.left,
                      first, last, alpha, failure)) {
        return false;
      }
      for (int32_t i = 0; i < span; ++i) alpha[i] = Clamp01(alpha[i]);
    } else {
      std::fill(alpha, alpha + span, 1.0f);
    }
    if (layer.hasMask) {
      // Inside the mask's rectangle its values, outside it the default colour.
      const bool maskRow = y >= layer.maskTop && y < layer.maskBottom && layer.plane[kMask] >= 0;
      const int32_t mf = std::max(layer.maskFirst, first), ml = std::min(layer.maskLast, last);
      if (maskRow && mf < ml) {
        if (!ReadValues(plan, plan.readers[static_cast<size_t>(layer.plane[kMask])], depth, int64_t{y} - layer.maskTop,
                        layer.maskLeft, mf, ml, values, failure)) {
          return false;
        }
      }
      for (int32_t i = first; i < last; ++i) {
        const bool in = maskRow && i >= mf && i < ml;
        alpha[i - first] *= in ? Clamp01(values[i - mf]) : layer.maskDefault;
      }
    }
    for (int32_t i = 0; i < span; ++i) alpha[i] *= op.opacity;
    if (op.clipped) {
      for (int32_t i = 0; i < span; ++i) alpha[i] *= base[first + i];
    } else {
      std::fill(base, base + n, 0.0f);
      std::copy(alpha, alpha + span, base + first);
    }
    Composite(op.blend, colour, alpha, plan.canvas.get() + (level * n + static_cast<size_t>(first)) * 4, span);
  }
  // The canvas row to display values by the document depth's rule.
  const float* canvas = plan.canvas.get();
  const SrgbTables& srgb = SrgbEncodeTables();
  for (size_t i = 0; i < n; ++i) {
    const float a = canvas[4 * i + 3];
    uint32_t channel[3] = {0, 0, 0};
    for (int k = 0; k < 3 && a > 0.0f; ++k) {
      const float c = canvas[4 * i + k] / a;
      if (depth == 32) {
        uint32_t bits;
        std::memcpy(&bits, &c, 4);
        channel[k] = SrgbByteFromBits(srgb, bits);
      } else if (depth == 16) {
        const auto v = static_cast<uint32_t>(std::lround(Clamp01(c) * 65535.0f));
        channel[k] = (v * 255 + 32767) / 65535;
      } else {
        channel[k] = static_cast<uint32_t>(std::lround(Clamp01(c) * 255.0f));
      }
    }
    const uint32_t alphaByte =
        depth == 32 ? AlphaByteFromFloat(a) : static_cast<uint32_t>(std::lround(Clamp01(a) * 255.0f));
    out[i] = (alphaByte << 24) | (channel[0] << 16) | (channel[1] << 8) | channel[2];
  }
  return true;
}

namespace {

bool ReadValues(FlattenRows::Plan& plan, PlaneReader& reader, uint32_t depth, int64_t row, int32_t left, int32_t first,
                int32_t last, float* out, DecodeFailure* failure) {
  const uint32_t sampleBytes = depth / 8;
  const int32_t span = last - first;
  uint64_t* positions = plan.positions.get();
  size_t count = 0;
  for (int32_t i = first; i < last; ++i) {
    const auto x = static_cast<uint64_t>(int64_t{plan.columns[i]} - left) * sampleBytes;
    for (uint32_t k = 0; k < sampleBytes; ++k) positions[count++] = x + k;
  }
  // Consecutive columns from the rectangle's left edge: the row's first bytes, no positions.
  const bool whole = plan.columns[first] == left && plan.columns[last - 1] - plan.columns[first] == span - 1;
  if (!reader.Pick(static_cast<uint64_t>(row), whole ? nullptr : positions, count, plan.picked.get(), failure)) {
    return false;
  }
  for (int32_t i = 0; i < span; ++i)
    out[i] = SampleValue(plan.picked.get() + static_cast<size_t>(i) * sampleBytes, depth);
  return true;
}

}  // namespace

}  // namespace mirelth
