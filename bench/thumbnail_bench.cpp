// GetThumbnail(256) in process, after Initialize, on 4096 x 4096 textures and documents: the sampled path
// (what GetThumbnail does) against the reference path (full decode, then the stretch). Single thread.
// `thumbnail_bench --write KIND PATH` writes the benchmark's input of KIND (dxt1, dxt5, psd, tga, bc6h, hdr, vtf, ktx2,
// ktx2-zstd, ktx2-uastc, ktx2-etc1s, bc7, etc2, astc6x6, astc8x8) to a file, for the whole-process comparison in
// scripts/bench.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zstd.h>

#include "bench/bench_data.h"
#if MIRELTH_BENCH_ASTCENC
#include "bench/astc_blocks.h"
#endif
#include "fuzz/memory_stream.h"
#include "server/preview_handler.h"
#include "server/provider.h"
#include "tests/ktx2_writer.h"

namespace {

using mirelth::bench::kEdge;
using mirelth::bench::RandomSource;

void Put16BE(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
void Put32BE(std::vector<uint8_t>& out, uint32_t v) {
  Put16BE(out, v >> 16);
  Put16BE(out, v & 0xFFFF);
}
void Put32LE(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

// A DDS texture of random DXT1 or DXT5 blocks, or (`bc6h`) a DX10 BC6H_UF16 one of random mode-11 blocks whose
// endpoints reach past 1.0.
std::vector<uint8_t> MakeDds(bool dxt5, bool bc6h = false) {
  const size_t blocks = size_t{kEdge / 4} * (kEdge / 4) * (dxt5 || bc6h ? 16 : 8);
  const size_t header = bc6h ? 148 : 128;
  std::vector<uint8_t> file(header + blocks, 0);
  std::memcpy(file.data(), "DDS ", 4);
  Put32LE(file, 4, 124);
  Put32LE(file, 8, 0x1 | 0x2 | 0x4 | 0x1000);
  Put32LE(file, 12, kEdge);
  Put32LE(file, 16, kEdge);
  Put32LE(file, 76, 32);
  Put32LE(file, 80, 0x4);
  std::memcpy(file.data() + 84, bc6h ? "DX10" : dxt5 ? "DXT5" : "DXT1", 4);
  Put32LE(file, 108, 0x1000);
  std::memcpy(file.data() + header, RandomSource().data(), blocks);
  if (bc6h) {
    Put32LE(file, 128, 95);                                            // BC6H_UF16
    Put32LE(file, 132, 3);                                             // 2D
    Put32LE(file, 140, 1);                                             // array size
    for (size_t b = header; b < file.size(); b += 16) file[b] = 0x03;  // mode 11: 5 bits 00011
  }
  return file;
}

// A DDS texture (DX10 header) of random BC7 blocks spread over the eight modes (block i in mode i % 8).
std::vector<uint8_t> MakeBc7Dds() {
  std::vector<uint8_t> file = MakeDds(false, true);
  Put32LE(file, 128, 98);  // BC7_UNORM
  for (size_t b = 148, i = 0; b < file.size(); b += 16, ++i) {
    const uint32_t mode = i % 8;
    file[b] = uint8_t((file[b] & (0xFEu << mode)) | (1u << mode));
  }
  return file;
}

// A version-3 PVR texture of `format` (23: ETC2 RGBA; 31: ASTC 6x6; 34: ASTC 8x8) over `blocks`.
std::vector<uint8_t> MakePvr(uint32_t format, const std::vector<uint8_t>& blocks) {
  std::vector<uint8_t> file(52, 0);
  const uint32_t fields[13] = {0x03525650, 0, format, 0, 0, 0, kEdge, kEdge, 1, 1, 1, 1, 0};
  for (int i = 0; i < 13; ++i) Put32LE(file, 4 * i, fields[i]);
  file.insert(file.end(), blocks.begin(), blocks.end());
  return file;
}

// BC7 mode-6 blocks of a smooth picture (endpoints follow the block's position, indices a ramp with some noise):
// what an encoder writes for soft content, and what Zstandard finds something to take out of.
std::vector<uint8_t> SmoothBc7(int32_t side) {
  const int32_t blocks = std::max(1, (side + 3) / 4);
  std::vector<uint8_t> out(size_t(blocks) * blocks * 16);
  const uint8_t* noise = RandomSource().data();
  for (int32_t by = 0; by < blocks; ++by) {
    for (int32_t bx = 0; bx < blocks; ++bx) {
      uint8_t* b = out.data() + (size_t(by) * blocks + bx) * 16;
      const size_t n = (size_t(by) * blocks + bx) * 16;
      b[0] = 0x40;  // mode 6
      for (int i = 1; i < 8; ++i) b[i] = uint8_t((bx * (i + 1) + by * (9 - i)) >> 2);
      for (int i = 8; i < 16; ++i) b[i] = uint8_t(((bx + by + i) & 7) * 0x11 ^ (noise[n + i] & (i & 1 ? 0x10 : 0)));
    }
  }
  return out;
}

// A 4096 x 4096 KTX 2 of BC7_UNORM with its 13 levels, stored smallest first, plain or each level Zstandard
// (level 9) compressed.
std::vector<uint8_t> MakeKtx2(bool zstd) {
  constexpr uint32_t kLevels = 13;
  static constexpr uint8_t kIdentifier[12] = {0xAB, 'K', 'T', 'X', ' ', '2', '0', 0xBB, '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> out(80 + 24 * kLevels + 28, 0);
  std::memcpy(out.data(), kIdentifier, sizeof kIdentifier);
  const uint32_t fields[] = {145, 1, kEdge, kEdge, 0, 0, 1, kLevels, zstd ? 2u : 0u};
  for (int i = 0; i < 9; ++i) Put32LE(out, 12 + 4 * i, fields[i]);
  const size_t dfd = 80 + 24 * kLevels;
  Put32LE(out, dfd, 28);
  Put32LE(out, dfd + 8, 2 | (24u << 16));
  out[dfd + 12] = 128, out[dfd + 13] = 1, out[dfd + 14] = 1;  // a BC colour model, BT.709, linear
  Put32LE(out, 48, uint32_t(dfd));
  Put32LE(out, 52, 28);
  for (int32_t k = kLevels - 1; k >= 0; --k) {
    while (out.size() % 16) out.push_back(0);
    std::vector<uint8_t> level = SmoothBc7(std::max(1, kEdge >> k));
    const size_t raw = level.size();
    if (zstd) {
      std::vector<uint8_t> packed(ZSTD_compressBound(raw));
      packed.resize(ZSTD_compress(packed.data(), packed.size(), level.data(), raw, 9));
      level.swap(packed);
    }
    const uint64_t entry[3] = {out.size(), level.size(), raw};
    for (int i = 0; i < 3; ++i) {
      Put32LE(out, 80 + 24 * k + 8 * i, uint32_t(entry[i]));
      Put32LE(out, 84 + 24 * k + 8 * i, uint32_t(entry[i] >> 32));
    }
    out.insert(out.end(), level.begin(), level.end());
  }
  return out;
}

// A 4096 x 4096 KTX 2 of Basis Universal UASTC blocks, Zstandard (level 9) compressed, one level (the thumbnail
// inflates it whole and decodes the blocks under its samples): 256 distinct blocks of the modes without a partition
// field, chosen by a smooth pattern so that the level packs about as an encoder's output does.
// A 4096 x 4096 KTX 2 of ETC1S with BasisLZ, one level and one RGB slice: codebooks of 1024 endpoints and 1024
// selectors, every block sent with the predictions, deltas, history references and runs the format has (the slice
// is read in sequence up to the last sampled block row: here all of it).
std::vector<uint8_t> MakeKtx2Etc1s() {
  namespace t = mirelth::test;
  t::Etc1sBook book;
  const uint8_t* noise = RandomSource().data();
  for (uint32_t i = 0; i < 1024; ++i) {
    book.endpoints.push_back(
        {noise[4 * i] % 32u, noise[4 * i + 1] % 32u, noise[4 * i + 2] % 32u, noise[4 * i + 3] % 8u});
    uint32_t selector;
    std::memcpy(&selector, noise + 4096 + 4 * i, 4);
    book.selectors.push_back(selector);
  }
  book.historySize = 64;
  const t::Bytes endpoints = t::WriteEndpoints(book), selectors = t::WriteSelectors(book);
  t::Canonical tables[4];
  const t::Bytes tableBytes = t::WriteSliceTables(book, tables);
  std::vector<std::pair<uint32_t, uint32_t>> chosen;
  t::Ktx2Spec spec;
  spec.vkFormat = 0, spec.scheme = 1, spec.model = 163, spec.width = kEdge, spec.height = kEdge;
  spec.levels.push_back(t::WriteSlice(book, tables, kEdge / 4, kEdge / 4, 1, &chosen));
  t::Bytes descriptions(20, 0);
  for (int i = 0; i < 4; ++i) descriptions[8 + i] = uint8_t(spec.levels[0].size() >> (8 * i));
  spec.globalData = t::Etc1sGlobalData(book, descriptions, endpoints, selectors, tableBytes);
  return t::MakeKtx2(spec);
}

std::vector<uint8_t> MakeKtx2Uastc() {
  static constexpr uint8_t kIdentifier[12] = {0xAB, 'K', 'T', 'X', ' ', '2', '0', 0xBB, '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> out(80 + 24 + 44, 0);
  std::memcpy(out.data(), kIdentifier, sizeof kIdentifier);
  const uint32_t fields[] = {0, 1, kEdge, kEdge, 0, 0, 1, 1, 2};
  for (int i = 0; i < 9; ++i) Put32LE(out, 12 + 4 * i, fields[i]);
  const size_t dfd = 80 + 24;
  Put32LE(out, dfd, 44);
  Put32LE(out, dfd + 8, 2 | (40u << 16));
  out[dfd + 12] = 166, out[dfd + 13] = 1, out[dfd + 14] = 2;  // UASTC, BT.709, sRGB
  out[dfd + 16] = 3, out[dfd + 17] = 3, out[dfd + 20] = 16;   // 4 x 4 texels, 16 bytes a block
  out[dfd + 28 + 2] = 127, out[dfd + 28 + 3] = 3;             // one sample of 128 bits: RGBA
  Put32LE(out, 48, uint32_t(dfd));
  Put32LE(out, 52, 44);
  // Modes 0, 1, 5, 10, 12, 14, 15 and 18 by their prefix codes (bit 0 first).
  static constexpr uint8_t kCodes[8][2] = {{0x1, 4}, {0x35, 6}, {0xB, 5}, {0x2, 3},
                                           {0x6, 3}, {0xD, 5},  {0x5, 7}, {0x9, 4}};
  const uint8_t* noise = RandomSource().data();
  uint8_t palette[256][16];
  for (int i = 0; i < 256; ++i) {
    std::memcpy(palette[i], noise + 16 * i, 16);
    const uint8_t* code = kCodes[i % 8];
    palette[i][0] = uint8_t((palette[i][0] & ~((1 << code[1]) - 1)) | code[0]);
  }
  const size_t across = kEdge / 4;
  std::vector<uint8_t> level(across * across * 16);
  for (size_t by = 0; by < across; ++by) {
    for (size_t bx = 0; bx < across; ++bx) {
      std::memcpy(&level[(by * across + bx) * 16],
                  palette[((bx / 16) * 7 + (by / 16) * 13 + noise[(by * 31 + bx) % 4096] % 3) & 255], 16);
    }
  }
  const size_t raw = level.size();
  std::vector<uint8_t> packed(ZSTD_compressBound(raw));
  packed.resize(ZSTD_compress(packed.data(), packed.size(), level.data(), raw, 9));
  while (out.size() % 16) out.push_back(0);
  const uint64_t entry[3] = {out.size(), packed.size(), raw};
  for (int i = 0; i < 3; ++i) {
    Put32LE(out, 80 + 8 * i, uint32_t(entry[i]));
    Put32LE(out, 84 + 8 * i, uint32_t(entry[i] >> 32));
  }
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

// A 4096 x 4096 VTF 7.5 of random DXT5 blocks with its 13 mips, stored smallest first.
std::vector<uint8_t> MakeVtf() {
  std::vector<uint8_t> out(88, 0);  // the 80-byte header and one resource entry
  std::memcpy(out.data(), "VTF", 4);
  Put32LE(out, 4, 7);
  Put32LE(out, 8, 5);
  Put32LE(out, 12, 88);
  out[16] = 0, out[17] = kEdge >> 8, out[18] = 0, out[19] = kEdge >> 8;
  Put32LE(out, 24, 1);            // one frame
  Put32LE(out, 52, 15);           // DXT5
  out[56] = 13;                   // mips
  Put32LE(out, 57, 0xFFFFFFFFu);  // no low-resolution image
  out[63] = 1;                    // depth
  Put32LE(out, 68, 1);            // one resource: the image, right after the header
  out[80] = 0x30;
  Put32LE(out, 84, 88);
  const uint8_t* noise = RandomSource().data();
  size_t used = 0;
  for (int k = 12; k >= 0; --k) {
    const size_t side = std::max<size_t>(1, size_t{kEdge} >> k), blocks = ((side + 3) / 4) * ((side + 3) / 4) * 16;
    out.insert(out.end(), noise + used % (size_t{32} << 20), noise + used % (size_t{32} << 20) + blocks);
    used += blocks;
  }
  return out;
}

// A 4096 x 2048 Radiance file of new run-length scanlines: a smooth sky with a bright sun (values up to 64).
std::vector<uint8_t> MakeHdr() {
  const int32_t width = kEdge, height = kEdge / 2;
  const std::string text =
      "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " + std::to_string(width) + "\n";
  std::vector<uint8_t> out(text.begin(), text.end());
  out.reserve(size_t{24} << 20);
  std::vector<uint8_t> line(static_cast<size_t>(width) * 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t dx = x - 3000, dy = y - 500;
      const bool sun = dx * dx + dy * dy < 120 * 120;
      uint8_t* p = &line[static_cast<size_t>(x) * 4];
      p[0] = static_cast<uint8_t>(128 + (x >> 5) % 64), p[1] = static_cast<uint8_t>(160 + (y >> 6) % 64), p[2] = 230;
      p[3] = sun ? 135 : 128;  // 2^(e - 136): the sun is 128 times brighter
    }
    out.insert(out.end(), {2, 2, static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width)});
    for (int c = 0; c < 4; ++c) {
      for (int32_t x = 0; x < width;) {
        int32_t run = 1;
        while (x + run < width && run < 127 && line[4 * (x + run) + c] == line[4 * x + c]) ++run;
        if (run >= 3) {
          out.insert(out.end(), {static_cast<uint8_t>(128 + run), line[4 * x + c]});
        } else {
          out.push_back(static_cast<uint8_t>(run));
          for (int32_t k = 0; k < run; ++k) out.push_back(line[4 * (x + k) + c]);
        }
        x += run;
      }
    }
  }
  return out;
}

// An RGB PackBits document with smooth content: runs along gradients with some noise, as photos pack.
std::vector<uint8_t> MakePsd() {
  std::vector<uint8_t> out;
  out.reserve(size_t{64} << 20);
  for (char c : {'8', 'B', 'P', 'S'}) out.push_back(uint8_t(c));
  Put16BE(out, 1);
  out.insert(out.end(), 6, 0);
  Put16BE(out, 3);
  Put32BE(out, kEdge);
  Put32BE(out, kEdge);
  Put16BE(out, 8);
  Put16BE(out, 3);
  Put32BE(out, 0);
  Put32BE(out, 0);
  Put32BE(out, 0);
  Put16BE(out, 1);
  const uint8_t* noise = RandomSource().data();
  std::vector<std::vector<uint8_t>> rows;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < kEdge; ++r) {
      std::vector<uint8_t> row;
      for (int x = 0; x < kEdge;) {
        const size_t k = (size_t(c) * kEdge + r) * kEdge + x;
        if (noise[k] < 96) {  // a literal stretch of 16 noisy bytes
          row.push_back(15);
          for (int i = 0; i < 16; ++i) row.push_back(uint8_t((x + i + r + 40 * c) / 16 + (noise[k + i] & 7)));
          x += 16;
        } else {  // a flat run of 32
          row.push_back(uint8_t(-31));
          row.push_back(uint8_t((x + r + 40 * c) / 16));
          x += 32;
        }
      }
      rows.push_back(std::move(row));
    }
  }
  for (const auto& row : rows) Put16BE(out, static_cast<uint32_t>(row.size()));
  for (const auto& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// A 32-bit run-length TGA (type 10, top-left origin, 8 alpha bits) with the same kind of content: packets of 16
// literal pixels and runs of 32.
std::vector<uint8_t> MakeTga() {
  std::vector<uint8_t> out(18, 0);
  out[2] = 10;
  out[12] = uint8_t(kEdge & 0xFF), out[13] = uint8_t(kEdge >> 8);
  out[14] = uint8_t(kEdge & 0xFF), out[15] = uint8_t(kEdge >> 8);
  out[16] = 32;
  out[17] = 0x20 | 8;
  out.reserve(size_t{48} << 20);
  const uint8_t* noise = RandomSource().data();
  for (int r = 0; r < kEdge; ++r) {
    for (int x = 0; x < kEdge;) {
      const size_t k = size_t(r) * kEdge + x;
      const auto pixel = [&](int dx, uint8_t jitter) {
        out.insert(out.end(), {uint8_t((x + dx + r) / 16 + jitter), uint8_t((x + dx) / 16), uint8_t(r / 16 + jitter),
                               uint8_t(255 - (r + x) / 64)});
      };
      const int run = kEdge - x < 32 ? kEdge - x : 32;  // packets end with their row
      if (noise[k] < 96 || run < 32) {
        const int count = run < 16 ? run : 16;
        out.push_back(uint8_t(count - 1));
        for (int i = 0; i < count; ++i) pixel(i, noise[k + i] & 7);
        x += count;
      } else {
        out.push_back(0x80 | 31);
        pixel(0, 0);
        x += 32;
      }
    }
  }
  return out;
}

// A provider initialised with a file written once to the temporary directory.
struct Loaded {
  IThumbnailProvider* provider = nullptr;
  mirelth::IMirelthThumbnailDetails* details = nullptr;
  explicit Loaded(const std::vector<uint8_t>& bytes, const char* name) {
    const std::string path = std::string(P_tmpdir) + "/mirelth-bench-" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    IInitializeWithFile* init = nullptr;
    mirelth::CreateThumbnailProvider(nullptr, mirelth::kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
    init->Initialize(mirelth::Utf8ToWide(path).c_str(), 0);
    init->QueryInterface(mirelth::kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
    init->QueryInterface(mirelth::kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details));
    init->Release();
    std::remove(path.c_str());
  }
  ~Loaded() {
    details->Release();
    provider->Release();
  }
};

void BM_Thumbnail(benchmark::State& state, const char* kind, bool sampled) {
  static Loaded dxt1(MakeDds(false), "dxt1.dds"), dxt5(MakeDds(true), "dxt5.dds"), psd(MakePsd(), "smooth.psd"),
      tga(MakeTga(), "smooth.tga"), bc6h(MakeDds(false, true), "bc6h.dds"), hdr(MakeHdr(), "sky.hdr"),
      vtf(MakeVtf(), "mips.vtf"), ktx2(MakeKtx2(false), "bc7.ktx2"), ktx2zstd(MakeKtx2(true), "bc7-zstd.ktx2"),
      uastc(MakeKtx2Uastc(), "uastc-zstd.ktx2"), etc1s(MakeKtx2Etc1s(), "etc1s.ktx2"), bc7(MakeBc7Dds(), "bc7.dds"),
      etc2(MakePvr(23, std::vector<uint8_t>(RandomSource().begin(), RandomSource().begin() + size_t{kEdge} * kEdge)),
           "etc2.pvr");
#if MIRELTH_BENCH_ASTCENC
  static Loaded astc6x6(MakePvr(31, mirelth::bench::AstcBlocks(6, 6)), "astc6x6.pvr"),
      astc8x8(MakePvr(34, mirelth::bench::AstcBlocks(8, 8)), "astc8x8.pvr");
#endif
  const std::string name = kind;
  Loaded& loaded = name == "dxt1"         ? dxt1
                   : name == "dxt5"       ? dxt5
                   : name == "tga"        ? tga
                   : name == "bc6h"       ? bc6h
                   : name == "hdr"        ? hdr
                   : name == "vtf"        ? vtf
                   : name == "ktx2"       ? ktx2
                   : name == "ktx2-zstd"  ? ktx2zstd
                   : name == "ktx2-uastc" ? uastc
                   : name == "ktx2-etc1s" ? etc1s
                   : name == "bc7"        ? bc7
                   : name == "etc2"       ? etc2
#if MIRELTH_BENCH_ASTCENC
                   : name == "astc6x6" ? astc6x6
                   : name == "astc8x8" ? astc8x8
#endif
                                       : psd;
  std::fflush(stdout);
  for (auto _ : state) {
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    const HRESULT result = sampled ? loaded.provider->GetThumbnail(256, &bitmap, &alpha)
                                   : loaded.details->GetReferenceThumbnail(256, &bitmap);
    if (FAILED(result)) {
      state.SkipWithError("thumbnail failed");
      break;
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
}

// The preview pane redrawing itself at 640 x 480 (SetRect, as a resize does) from the source it keeps open: the
// picture fitted by the sampled filtered rule, the checkerboard, the facts line.
void BM_PreviewPane(benchmark::State& state, const char* kind) {
  static const std::vector<uint8_t> dxt1 = MakeDds(false), ktx2 = MakeKtx2(true);
  const std::vector<uint8_t>& bytes = std::string(kind) == "dxt1" ? dxt1 : ktx2;
  const std::u16string name = std::string(kind) == "dxt1" ? u"bench.dds" : u"bench.ktx2";
  mirelth::testing::MemoryStream stream(bytes.data(), bytes.size(), name.c_str());
  IPreviewHandler* handler = nullptr;
  mirelth::CreatePreviewHandler(nullptr, mirelth::kIidIPreviewHandler, reinterpret_cast<void**>(&handler));
  IInitializeWithStream* init = nullptr;
  handler->QueryInterface(mirelth::kIidIInitializeWithStream, reinterpret_cast<void**>(&init));
  init->Initialize(&stream, 0);
  init->Release();
  RECT rect{0, 0, 640, 480};
  handler->SetWindow(reinterpret_cast<HWND>(&rect), &rect);
  handler->DoPreview();
  for (auto _ : state) handler->SetRect(&rect);
  handler->Unload();
  handler->Release();
}

}  // namespace

BENCHMARK_CAPTURE(BM_PreviewPane, dxt1_640x480, "dxt1")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PreviewPane, ktx2_bc7_zstd_mips_640x480, "ktx2-zstd")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, dxt1_sampled, "dxt1", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, dxt1_full, "dxt1", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, dxt5_sampled, "dxt5", true)->Unit(benchmark::kMillisecond);
// Block encodings without mips, one or two texels of each block sampled: BC7 of every mode, ETC2 RGBA, and ASTC
// 6x6 and 8x8 of real encoder output (libastcenc).
BENCHMARK_CAPTURE(BM_Thumbnail, bc7_sampled, "bc7", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, etc2_rgba_sampled, "etc2", true)->Unit(benchmark::kMillisecond);
#if MIRELTH_BENCH_ASTCENC
BENCHMARK_CAPTURE(BM_Thumbnail, astc6x6_sampled, "astc6x6", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, astc8x8_sampled, "astc8x8", true)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK_CAPTURE(BM_Thumbnail, dxt5_full, "dxt5", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, psd_sampled, "psd", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, psd_full, "psd", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, tga_sampled, "tga", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, tga_full, "tga", false)->Unit(benchmark::kMillisecond);
// HDR sources: every sample read twice (the white point, then the picture).
BENCHMARK_CAPTURE(BM_Thumbnail, bc6h_sampled, "bc6h", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, hdr_sampled, "hdr", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, hdr_full, "hdr", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, vtf_mips_sampled, "vtf", true)->Unit(benchmark::kMillisecond);
// KTX 2 BC7 with 13 levels: plain (the 256 level sampled in place) and Zstandard (the 256 level inflated).
BENCHMARK_CAPTURE(BM_Thumbnail, ktx2_bc7_mips_sampled, "ktx2", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, ktx2_bc7_zstd_mips_sampled, "ktx2-zstd", true)->Unit(benchmark::kMillisecond);
// KTX 2 UASTC with Zstandard, one 4096 x 4096 level: inflated whole, the sampled blocks decoded.
BENCHMARK_CAPTURE(BM_Thumbnail, ktx2_uastc_zstd_sampled, "ktx2-uastc", true)->Unit(benchmark::kMillisecond);
// KTX 2 ETC1S with BasisLZ, one 4096 x 4096 level: the slice decoded in sequence, the sampled blocks drawn.
BENCHMARK_CAPTURE(BM_Thumbnail, ktx2_etc1s_sampled, "ktx2-etc1s", true)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write") == 0) {
    const std::string kind = argv[2];
    const std::vector<uint8_t> bytes =
        kind == "psd"          ? MakePsd()
        : kind == "tga"        ? MakeTga()
        : kind == "hdr"        ? MakeHdr()
        : kind == "vtf"        ? MakeVtf()
        : kind == "ktx2"       ? MakeKtx2(false)
        : kind == "ktx2-zstd"  ? MakeKtx2(true)
        : kind == "ktx2-uastc" ? MakeKtx2Uastc()
        : kind == "ktx2-etc1s" ? MakeKtx2Etc1s()
        : kind == "bc7"        ? MakeBc7Dds()
        : kind == "etc2"
            ? MakePvr(23, std::vector<uint8_t>(RandomSource().begin(), RandomSource().begin() + size_t{kEdge} * kEdge))
#if MIRELTH_BENCH_ASTCENC
        : kind == "astc6x6" ? MakePvr(31, mirelth::bench::AstcBlocks(6, 6))
        : kind == "astc8x8" ? MakePvr(34, mirelth::bench::AstcBlocks(8, 8))
#endif
        : kind == "bc6h" ? MakeDds(false, true)
                         : MakeDds(kind == "dxt5");
    FILE* out = std::fopen(argv[3], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
    return std::fclose(out) == 0 ? 0 : 1;
  }
  // The PSD reader lists layers on standard output; these documents have none, so nothing is printed.
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
