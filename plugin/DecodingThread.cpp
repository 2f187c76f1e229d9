// The decoding thread: frames in, PCM blocks out to the host.
#include "plugin/DecodingThread.h"

#include <algorithm>

#include "mpeg/FrameHeader.h"
#include "mpeg/LayerDecoder.h"
#include "platform/platform.h"
#include "plugin/DecoderChoice.h"
#include "plugin/HostStream.h"
#include "plugin/PluginEntry.h"
#include "tag/Id3v1Tag.h"

namespace qw {

namespace {

constexpr uint32_t threadStackSize = 16384;
constexpr uint32_t pcmCapacity = 16384;    // values
constexpr uint32_t blockThreshold = 8192;  // values handed over at once, at least
constexpr uint32_t framesDiscardedAfterSeek = 5;

// Everything one playback owns, created when the thread starts and destroyed
// when it ends (kept off the thread's small stack).
class Playback {
public:
    explicit Playback(PlayerContext* playerContext)
        : context(playerContext), state(playerContext->state), stream(playerContext), header(&stream) {}
    ~Playback() = default;

    void run();
    // The end procedure; the destructor then takes the tag reader, the frame
    // reader and the stream, in that order.
    void finish();

private:
    bool takeFrame() { return header.readNextFrame() == 0; }
    bool ensureOutput();
    void publishStreamInfo();
    bool handOver(bool fade);
    void seek(int32_t milliseconds);

    PlayerContext* context;
    PlaybackState* state;
    HostStream stream;
    FrameHeader header;
    Id3v1Tag tagReader;
    uint8_t tagBytes[128] = {};
    int16_t pcm[pcmCapacity] = {};
    uint32_t count = 0;
    LayerDecoderSlot decoders;
    uint32_t decoderSetting = 0;
    bool outputOpen = false;
    uint32_t outputRate = 0;
    int32_t lastBitrate = 0;
    bool fadePending = false;
};

bool Playback::ensureOutput() {
    if (outputOpen && header.sampleRate() == outputRate) return true;
    // A new rate opens the output again without closing the old handle.
    context->outputHandle = context->openOutput(header.sampleRate(), header.channelCount(), 0);
    if (!context->outputHandle) return false;
    outputOpen = true;
    outputRate = header.sampleRate();
    lastBitrate = 0;
    return true;
}

void Playback::publishStreamInfo() {
    const int32_t bitrate = header.averageBitrate();
    state->bitrate = uint32_t(bitrate);
    if (bitrate == lastBitrate) return;
    state->mpegVersion = header.versionIndex();
    state->channels = header.channelCount();
    state->sampleRate = header.sampleRate();
    state->layer = header.layerIndex() + 1;
    state->lengthMs = uint32_t(header.lengthMs());
    state->streamBytes = stream.length();
    state->infoValid = 1;
    context->hostRequest(QW_REQUEST_INFO_CHANGED, 0);
    lastBitrate = bitrate;
}

bool Playback::handOver(bool fade) {
    PcmBlock block;
    block.positionMs = int32_t(header.position());
    block.lengthMs = int32_t(header.lengthMs());
    block.byteCount = count * 2;
    block.samples = pcm;
    if (fade) fadeIn(pcm, count);
    return context->writeOutput(context->outputHandle, &block) != 0;
}

void Playback::seek(int32_t milliseconds) {
    header.seekMs(milliseconds);
    if (LayerDecoder* decoder = decoders.current()) {
        // Decode a few frames into the void so the reservoir and the filter
        // history are filled again; stop early at the end of the stream.
        for (uint32_t i = 0; i < framesDiscardedAfterSeek && takeFrame(); ++i) decoder->decode(pcm);
    }
    count = 0;
    lastBitrate = 0;
    fadePending = true;
    std::fill_n(pcm, blockThreshold, int16_t(0));
}

void Playback::run() {
    decoderSetting = sys::profileInt("Quillwave", "Decoder", 0, settingsPath());
    sys::raiseCurrentThreadPriority();

    uint32_t tagCount = 0;
    if (stream.readAt(-128, originEnd, tagBytes, sizeof tagBytes, &tagCount) == resultOk) {
        tagReader.parseTag(tagBytes, &state->tag);
    }

    header.probeVbrHeader();
    if (!takeFrame()) return;

    for (;;) {
        sys::Message message;
        bool seeked = false;
        if (sys::peekMessage(&message)) {
            if (message.message == sys::messageQuit) return;  // buffered PCM is dropped
            if (message.message == sys::messageApp) {
                seek(int32_t(message.lParam));
                seeked = true;
            }
        }
        if (!seeked) {
            if (!ensureOutput()) return;
            publishStreamInfo();
            LayerDecoder* decoder = decoders.forFrame(&header, decoderSetting);
            const int32_t produced = decoder ? decoder->decode(pcm + count) : -1;
            if (produced < 0) {
                header.resetSync();
            } else {
                count += uint32_t(produced);
            }
            if (count >= blockThreshold) {
                const bool fade = fadePending;
                fadePending = false;
                if (!handOver(fade)) return;
                count = 0;
            }
        }
        if (!takeFrame()) break;
    }

    // The end of the stream: what is left goes out as one more block.
    if (count > 0) handOver(false);
}

void Playback::finish() {
    decoders.reset();
    state->infoValid = 0;
    context->closeOutput(context->outputHandle);
}

uint32_t decodingThreadMain(void* argument) {
    auto* context = static_cast<PlayerContext*>(argument);
    auto* playback = new Playback(context);
    playback->run();
    playback->finish();
    delete playback;
    return 0;
}

// Posts a message, retrying while the thread's queue is not there yet.
bool postWithRetry(uint32_t threadId, uint32_t message, intptr_t lParam) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (sys::postThreadMessage(threadId, message, 0, lParam)) return true;
        sys::sleepMs(10);
    }
    return false;
}

void endThread(PlaybackState* state) {
    if (state->threadHandle == 0) return;
    auto thread = reinterpret_cast<sys::Handle>(state->threadHandle);
    postWithRetry(state->threadId, sys::messageQuit, 0);
    if (sys::waitForThread(thread, 4000) != sys::WaitResult::signalled) sys::terminateThread(thread, 0);
    sys::closeThread(thread);
    state->threadHandle = 0;
}

}  // namespace

void fadeIn(int16_t* values, uint32_t count) {
    if (count == 0) return;
    float gain = 0.0f;
    const float step = 1.0f / float(count);
    for (uint32_t i = 0; i < count; i += 2) {
        values[i] = int16_t(float(values[i]) * gain);
        if (i + 1 < count) values[i + 1] = int16_t(float(values[i + 1]) * gain);
        gain += step;
    }
}

int32_t QW_CALL pluginStart(PlayerContext* context) {
    PlaybackState* state = context->state;
    context->getFilePath(state->filePath, sizeof state->filePath);
    uint32_t threadId = 0;
    sys::Handle thread = sys::createThread(threadStackSize, decodingThreadMain, context, &threadId);
    state->threadId = threadId;
    state->threadHandle = reinterpret_cast<QwHandle>(thread);
    if (!thread) return 0;
    state->playing = 1;
    return 1;
}

int32_t QW_CALL pluginHalt(PlayerContext* context) {
    endThread(context->state);
    return 1;
}

int32_t QW_CALL pluginStop(PlayerContext* context) {
    endThread(context->state);
    context->state->playing = 0;
    return 1;
}

int32_t QW_CALL pluginSeek(PlayerContext* context, int32_t milliseconds) {
    PlaybackState* state = context->state;
    if (state->threadHandle == 0) return 0;
    postWithRetry(state->threadId, sys::messageApp, milliseconds);
    return 1;
}

}  // namespace qw
