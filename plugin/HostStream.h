// The InputStream over the host's read and seek callbacks.
#pragma once

#include "plugin/InputStream.h"
#include "plugin/StreamMutex.h"
#include "quillwave/quillwave.h"

namespace qw {

class HostStream : public BufferedStream {
public:
    explicit HostStream(PlayerContext* context);

    bool fill(uint32_t n) override;
    uint32_t read(uint8_t* buffer, uint32_t size, uint32_t unused) override;
    uint32_t position() override { return pos; }
    bool seek(uint32_t position) override;
    uint32_t length() override { return streamLength; }
    uint32_t readAt(int32_t offset, int32_t origin, uint8_t* buffer, uint32_t size, uint32_t* count) override;

private:
    uint32_t pos = 0;
    uint32_t streamLength = 0;
    Mutex mutex;
    PlayerContext* context;
};

}  // namespace qw
