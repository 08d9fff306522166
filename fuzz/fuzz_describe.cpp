// The property handler's path through one container on raw bytes (MIRELTH_FUZZ_CONTAINER names its row; the
// scripts call this target describe-<extension>): the headers and tables read into the facts with no size cap
// (nothing the size of the image is allocated), every property filled from them, and the facts written as text
// and as JSON the way --info writes them.
#include "formats/containers.h"
#include "fuzz/chosen_container.h"
#include "fuzz/fuzz_target.h"
#include "io/buffers.h"
#include "server/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput) return 0;
  const mirelth::Container* container = ChosenContainer("fuzz_describe");
  mirelth::MemorySource source(data, size);
  mirelth::Facts facts;
  facts.container = container->name;
  mirelth::OpenOptions options;
  options.facts = &facts;
  mirelth::PicturePtr picture;
  mirelth::DecodeFailure failure;
  if (!container->openPicture(source, options, &picture, &failure) || !facts.known) return 0;
  size_t count = 0;
  const mirelth::Property* properties = mirelth::Properties(&count);
  for (size_t i = 0; i < count; ++i) {
    mirelth::PropertyValue value;
    properties[i].fill(facts, &value);
  }
  mirelth::TextBuffer text;
  mirelth::WriteFactsText(facts, "input", &text);
  text.Append(facts.listing.c_str(), facts.listing.size());
  mirelth::WriteFactsJson(facts, "input", &text);
  return 0;
}
