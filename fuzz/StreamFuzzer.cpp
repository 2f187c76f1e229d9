// libFuzzer target: arbitrary bytes as a whole file, the way a host and its
// recorder component meet one.
//  - Playback: the module's decoding thread over an in-memory host.  The
//    thread reads the ID3v1 tag, probes the VBR header, publishes stream
//    properties (answered by asking for the song information), takes a seek
//    request after its first block of PCM and plays to the end.
//  - Recording: the recorder object opens the same bytes as a file, scans
//    the duration, and pulls PCM in chunks of an odd size.
// Crashes, sanitizer reports, hangs (libFuzzer's -timeout) and a playback
// that never closes its output are the failures looked for.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "recorder/Recorder.h"

namespace {

// ---- Playback: one in-memory host ------------------------------------------

struct MemoryHost {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
    PlayerContext* context = nullptr;
    bool seekSent = false;
    int32_t seekTarget = 0;

    std::mutex lock;
    std::condition_variable closedSignal;
    bool closed = false;
};
MemoryHost host;

QwHandle QW_CALL openOutput(uint32_t, uint32_t, uint32_t) { return 1; }

int32_t QW_CALL writeOutput(QwHandle, const PcmBlock* block) {
    volatile int16_t sink = 0;  // touch every value handed over
    for (uint32_t i = 0; i < block->byteCount / 2; ++i) sink = int16_t(sink ^ block->samples[i]);
    if (!host.seekSent) {
        host.seekSent = true;
        host.context->pluginSeek(host.context, host.seekTarget);
    }
    return 1;
}

void QW_CALL closeOutput(QwHandle) {
    std::lock_guard<std::mutex> guard(host.lock);
    host.closed = true;
    host.closedSignal.notify_all();
}

intptr_t QW_CALL hostRequest(uint32_t code, uint32_t) {
    if (code == QW_REQUEST_INFO_CHANGED) {
        // What a player's display does on this request: it formats the texts.
        SongInfo song{};
        host.context->pluginSongInfo(host.context, &song);
    }
    return 0;
}

int32_t QW_CALL readStream(void* buffer, uint32_t length, uint32_t* count) {
    const size_t n = std::min<size_t>(length, host.size - host.position);
    if (n) std::memcpy(buffer, host.data + host.position, n);
    host.position += n;
    *count = uint32_t(n);
    return 1;
}

int32_t QW_CALL seekStream(int32_t offset, uint32_t origin, uint32_t* position) {
    const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(host.position) : int64_t(host.size);
    const int64_t at = base + offset;
    if (origin > 2 || at < 0) return 0;
    host.position = size_t(std::min<int64_t>(at, int64_t(host.size)));
    *position = uint32_t(host.position);
    return 1;
}

void QW_CALL getFilePath(char* buffer, uint32_t size) { qw::copyString(buffer, "memory.mp3", size); }

void play(const uint8_t* data, size_t size) {
    static PlayerContext context = [] {
        PlayerContext c{};
        c.openOutput = openOutput, c.writeOutput = writeOutput, c.closeOutput = closeOutput;
        c.hostRequest = hostRequest, c.readStream = readStream, c.seekStream = seekStream;
        c.getFilePath = getFilePath, c.iniPath = "/nonexistent/quillwave-fuzz.ini";
        return c;
    }();
    host.data = data, host.size = size, host.position = 0, host.context = &context;
    host.seekSent = false, host.closed = false;
    // A target somewhere in the first seconds, taken from the input's size
    // so that a reproduced input seeks to the same place.
    host.seekTarget = int32_t(size * 7 % 4000);

    qw::initialise(&context);
    if (context.pluginStart(&context) == 1) {
        std::unique_lock<std::mutex> guard(host.lock);
        // A thread that never ends is a hang, which libFuzzer's -timeout
        // reports with this input.
        host.closedSignal.wait(guard, [] { return host.closed; });
    }
    context.pluginStop(&context);
    qw::shutdown(&context);
}

// ---- Recording: the same bytes as a file -----------------------------------

void record(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/quillwave-fuzz-" + std::to_string(getpid()) + ".mp3";
    static const std::wstring widePath(path.begin(), path.end());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);

    void* object = nullptr;
    if (qw::createRecorderPluginInterface(&object) != 0) std::abort();
    auto* recorder = static_cast<RecorderInterface*>(object);
    const RecorderInterfaceTable* call = recorder->table;
    if (call->openFile(recorder, recorder, widePath.c_str()) == 0) {
        double durationMs = 0;
        call->getDuration(recorder, recorder, &durationMs);
        // An odd chunk size splits frames, so the carry-over is exercised.
        static uint8_t chunk[3001];
        const size_t chunks = std::min<size_t>(size / 2000 + 2, 16);
        for (size_t i = 0; i < chunks; ++i) call->decode(recorder, recorder, chunk, sizeof chunk);
        call->closeFile(recorder, recorder);
    }
    call->destroy(recorder, recorder);
}

void quietMessageBox(void*, const char*, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Layer II frames raise a message box each: nobody is there to read them.
    static const bool quiet = (qw::sys::setMessageBoxObserver(quietMessageBox, nullptr), true);
    (void)quiet;
    play(data, size);
    record(data, size);
    return 0;
}
