#include "mpeg/Layer2Decoder.h"

#include "platform/platform.h"

namespace qw {

int32_t Layer2Decoder::decode(int16_t*) {
    // Nothing of the frame is consumed: the next search scans through it.
    sys::messageBox(nullptr, "Layer2 Unsupported", "ERROR", 0);
    return -1;
}

}  // namespace qw
