// The decoding thread: frames in, PCM blocks out to the host.
#include "plugin/DecodingThread.h"

#include <algorithm>
#include <memory>

#include "layer3/LayerDecoders.h"
#include "mpeg/FrameHeader.h"
#include "mpeg/LayerDecoder.h"
#include "mpeg/Saturating.h"
#include "platform/platform.h"
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
    // Touches nothing but what the playback owns: it also runs when a thread
    // ended by force unwinds, when the host may have let go of its records.
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
    const QwHandle output = context->openOutput(header.sampleRate(), header.channelCount(), 0);
    sys::endIfTerminated();
    context->outputHandle = output;
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
    sys::endIfTerminated();
    lastBitrate = bitrate;
}

bool Playback::handOver(bool fade) {
    PcmBlock block;
    block.positionMs = saturatingCast<int32_t>(header.position());  // weeks of playback reach the limit
    block.lengthMs = int32_t(header.lengthMs());
    block.byteCount = count * 2;
    block.samples = pcm;
    if (fade) fadeIn(pcm, count);
    const bool goOn = context->writeOutput(context->outputHandle, &block) != 0;
    // A host that blocked until the stop gave up on this thread may return
    // after the player's records are gone.
    sys::endIfTerminated();
    return goOn;
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
    const bool tagRead = stream.readAt(-128, originEnd, tagBytes, sizeof tagBytes, &tagCount) == resultOk;
    sys::endIfTerminated();
    if (tagRead) tagReader.parseTag(tagBytes, &state->tag);

    header.probeVbrHeader();
    if (!takeFrame()) return;

    for (;;) {
        // The frame was read through the host, which may have blocked.
        sys::endIfTerminated();
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
    // Owned through the stack, so that a thread ended by force, which unwinds
    // where the platform can do so, still frees it.
    auto playback = std::make_unique<Playback>(context);
    playback->run();
    sys::endIfTerminated();
    playback->finish();
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
    // A thread still playing would lose its handle and outlive the state it
    // writes: it ends first, as a stop would end it.
    endThread(state);
    context->getFilePath(state->filePath, sizeof state->filePath);
    // The thread begins only once its handle and id are stored: from its first
    // frame on it may tell the host, whose questions look at the handle.
    uint32_t threadId = 0;
    sys::Handle thread = sys::createSuspendedThread(threadStackSize, decodingThreadMain, context, &threadId);
    state->threadId = threadId;
    state->threadHandle = reinterpret_cast<QwHandle>(thread);
    if (!thread) return 0;
    if (!sys::resumeThread(thread)) {
        sys::terminateThread(thread, 0);
        sys::closeThread(thread);
        state->threadHandle = 0;
        return 0;
    }
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
