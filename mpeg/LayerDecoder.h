// The interface every layer decoder offers its owner.
#pragma once

#include <cstdint>

namespace qw {

class LayerDecoder {
public:
    // Decodes the frame the frame reader just took: writes interleaved 16-bit
    // PCM at output and returns the number of values, or -1 when the frame is
    // rejected.  Consumes the rest of the frame from the stream.
    virtual int32_t decode(int16_t* output) = 0;
    // Returns the decoder to its state before the first frame.
    virtual void reset() = 0;
    virtual ~LayerDecoder() = default;
};

}  // namespace qw
