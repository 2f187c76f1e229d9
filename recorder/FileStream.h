// The InputStream over a file the stream opens itself, by a wide-character path.
#pragma once

#include <cwchar>

#include "platform/platform.h"
#include "plugin/InputStream.h"
#include "plugin/Mutex.h"

namespace qw {

class FileStream : public BufferedStream {
public:
    FileStream() = default;
    // Does not close the file: the owner calls close first.
    ~FileStream() override = default;

    bool fill(uint32_t n) override;
    uint32_t read(uint8_t* buffer, uint32_t size, uint32_t unused) override;
    uint32_t position() override;
    bool seek(uint32_t position) override;
    uint32_t length() override;
    uint32_t readAt(int32_t offset, int32_t origin, uint8_t* buffer, uint32_t size, uint32_t* count) override;

    // 0 when the file is open, resultFailed otherwise.
    virtual uint32_t open(const wchar_t* path);
    virtual uint32_t close();

private:
    sys::Handle file = nullptr;
    Mutex mutex;
};

}  // namespace qw
