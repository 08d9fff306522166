// The one place where a decoder's outcome becomes an HRESULT.
#pragma once

#include "io/failure.h"
#include "platform/win32.h"

namespace mirelth {

HRESULT HResultFromFailure(const DecodeFailure& failure);

}  // namespace mirelth
