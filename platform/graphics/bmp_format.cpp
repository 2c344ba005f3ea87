#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"

namespace orv {

bool TBitmap::CanLoadStream(TStream&) { return false; }
void TBitmap::LoadFromStream(TStream&) { RaiseInvalidImage("BMP"); }
void TBitmap::SaveToStream(TStream&) {}

}  // namespace orv
