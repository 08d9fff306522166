#include "server/hresult.h"

namespace mirelth {

HRESULT HResultFromFailure(const DecodeFailure& failure) {
  switch (failure.kind) {
    case FailureKind::None: return S_OK;
    case FailureKind::OutOfMemory: return E_OUTOFMEMORY;
    case FailureKind::InvalidArgument: return E_INVALIDARG;
    default: return E_FAIL;
  }
}

}  // namespace mirelth
