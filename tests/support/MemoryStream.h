// An InputStream over bytes in memory, seekable or not, for tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "plugin/InputStream.h"

namespace qw::test {

class MemoryStream : public BufferedStream {
public:
    explicit MemoryStream(std::vector<uint8_t> bytes, bool seekable = true)
        : data(std::move(bytes)), canSeek(seekable) {}

    bool fill(uint32_t n) override {
        uint32_t got = take(buffer, std::min<uint32_t>(n, bufferSize));
        if (got < n) {
            errorFlag = 1;
            return false;
        }
        bitPos = 0;
        return true;
    }
    uint32_t read(uint8_t* out, uint32_t size, uint32_t) override { return take(out, size); }
    uint32_t position() override { return pos; }
    bool seek(uint32_t p) override {
        if (!canSeek) return false;
        pos = std::min<size_t>(p, data.size());
        return true;
    }
    uint32_t length() override { return canSeek ? uint32_t(data.size()) : 0; }
    uint32_t readAt(int32_t offset, int32_t origin, uint8_t* out, uint32_t size, uint32_t* count) override {
        if (!canSeek) return resultFailed;
        int64_t base = origin == originStart ? 0 : origin == originCurrent ? int64_t(pos) : int64_t(data.size());
        int64_t at = std::clamp<int64_t>(base + offset, 0, int64_t(data.size()));
        uint32_t saved = pos;
        pos = uint32_t(at);
        *count = take(out, size);
        pos = saved;
        return resultOk;
    }

private:
    uint32_t take(uint8_t* out, uint32_t size) {
        uint32_t n = uint32_t(std::min<size_t>(size, data.size() - pos));
        if (n) std::memcpy(out, data.data() + pos, n);
        pos += n;
        return n;
    }

    std::vector<uint8_t> data;
    bool canSeek;
    uint32_t pos = 0;
};

}  // namespace qw::test
