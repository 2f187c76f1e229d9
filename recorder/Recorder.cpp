// The recorder object: the frame reader and the layer decoders over a
// FileStream, pulled by the caller instead of pushed by a thread.
#include "recorder/Recorder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "layer3/LayerDecoders.h"
#include "mpeg/FrameHeader.h"
#include "mpeg/LayerDecoder.h"
#include "recorder/FileStream.h"

namespace qw {

namespace {

constexpr uint32_t frameValues = 8192;

struct Recorder : RecorderInterface {
    // The chain is built stream first, then the frame reader over it, then
    // the decoder over the reader; closeAll takes it down in reverse.
    std::unique_ptr<FileStream> stream;
    std::unique_ptr<FrameHeader> header;
    LayerDecoderSlot decoders;
    // What the last frame decoded did not fit into the caller's buffer.  It
    // belongs to the object, and openFile empties it, so two objects never
    // mix their PCM and a new file never starts with the old one's tail.
    uint8_t carry[16384];
    uint32_t carryBytes = 0;
    int16_t frame[frameValues];

    void closeAll() {
        decoders.reset();
        header.reset();
        if (stream) {
            stream->close();  // the stream does not close its file itself
            stream.reset();
        }
    }
    ~Recorder() { closeAll(); }
};

Recorder* self(RecorderInterface* object) { return static_cast<Recorder*>(object); }

// The table's destructor slot: the object ends itself, and with flag 1 frees
// its memory as well.
RecorderInterface* QW_THISCALL deletingDestructor(RecorderInterface* object, uint32_t flags) {
    Recorder* recorder = self(object);
    if (flags & 1) {
        delete recorder;
    } else {
        recorder->~Recorder();
    }
    return object;
}

// Destroying an object that still has a file open closes the file too, so
// nothing is left behind.
int32_t QW_THISCALL destroy(RecorderInterface* object, RecorderInterface*) {
    deletingDestructor(object, 1);
    return 0;
}

int32_t QW_THISCALL reserved(RecorderInterface*, RecorderInterface*) { return 0; }
int32_t QW_THISCALL reserved3(RecorderInterface*, RecorderInterface*, uint32_t) { return 0; }

int32_t QW_THISCALL openFile(RecorderInterface* object, RecorderInterface*, const wchar_t* path) {
    Recorder* r = self(object);
    r->closeAll();  // a second openFile replaces the first file
    r->carryBytes = 0;
    std::unique_ptr<FileStream> stream(new (std::nothrow) FileStream());
    if (!stream) return resultFailed;
    if (stream->open(path) != resultOk) return resultFailed;
    stream->seek(0);
    r->stream = std::move(stream);
    r->header.reset(new (std::nothrow) FrameHeader(r->stream.get()));
    if (!r->header) {
        r->closeAll();
        return resultFailed;
    }
    return 0;
}

int32_t QW_THISCALL closeFile(RecorderInterface* object, RecorderInterface*) {
    self(object)->closeAll();
    return 0;
}

int32_t QW_THISCALL getDuration(RecorderInterface* object, RecorderInterface*, double* milliseconds) {
    Recorder* r = self(object);
    *milliseconds = 0.0;
    if (!r->stream) return 0;
    // The scan runs on a frame reader of its own, from a running time of 0,
    // so it yields the file's duration however much was decoded before.
    // Each frame's data is skipped by moving past it; the side information of
    // Layer III frames is scanned over instead.  Moving leaves the stream's
    // bit buffer and error flag alone: loading the data there instead would
    // leave bytes that a cut-short last frame reads again when decoded, and a
    // short load at the end would set the error flag for good.  A move past
    // the end finds no further frame, as a short load does.
    r->stream->rewind();
    {
        FrameHeader scan(r->stream.get());
        while (scan.readNextFrame() == 0) {
            // Past what a 32-bit position reaches, the position fails and the scan ends.
            const uint32_t at = r->stream->position();
            if (at == sys::invalidSetFilePointer || at > UINT32_MAX - scan.payloadLength() ||
                !r->stream->seek(at + scan.payloadLength())) {
                break;
            }
        }
        *milliseconds = scan.position();
    }
    // The next decode starts again at the first frame, from a clean state,
    // even after a decode that ran into the end of the file.
    r->stream->rewind();
    r->decoders.reset();  // the decoder borrows the reader it replaces
    r->header.reset(new (std::nothrow) FrameHeader(r->stream.get()));
    r->carryBytes = 0;
    return 0;
}

int32_t QW_THISCALL decode(RecorderInterface* object, RecorderInterface*, uint8_t* buffer, uint32_t size) {
    Recorder* r = self(object);
    uint32_t filled = 0;
    if (r->carryBytes) {
        // A carry-over larger than the buffer comes out over several calls.
        filled = std::min(r->carryBytes, size);
        std::memcpy(buffer, r->carry, filled);
        std::memmove(r->carry, r->carry + filled, r->carryBytes - filled);
        r->carryBytes -= filled;
    }
    while (filled < size) {
        if (!r->header || r->header->readNextFrame() != 0) {
            // The file has ended: the rest of the buffer is silence.
            std::memset(buffer + filled, 0, size - filled);
            break;
        }
        LayerDecoder* decoder = r->decoders.forFrame(r->header.get(), decoderQuality);
        const int32_t values = decoder ? decoder->decode(r->frame) : -1;
        if (values <= 0) continue;  // a rejected frame is skipped
        const uint32_t bytes = uint32_t(values) * 2;
        const uint32_t taken = std::min(bytes, size - filled);
        std::memcpy(buffer + filled, r->frame, taken);
        filled += taken;
        if (filled == size) {
            r->carryBytes = bytes - taken;
            std::memcpy(r->carry, reinterpret_cast<const uint8_t*>(r->frame) + taken, r->carryBytes);
        }
    }
    return 0;
}

const RecorderInterfaceTable recorderTable = {
    destroy, reserved, reserved, reserved3, openFile, closeFile, getDuration, decode, deletingDestructor,
};

}  // namespace

int32_t createRecorderPluginInterface(void** object) {
    // The object goes to the caller as a bare pointer behind its C table and
    // ends itself through the table's destructor slot, so nothing here can
    // own it.
    auto* recorder = new (std::nothrow) Recorder();
    if (!recorder) {
        *object = nullptr;
        return resultFailed;
    }
    recorder->table = &recorderTable;
    *object = static_cast<RecorderInterface*>(recorder);
    return 0;
}

}  // namespace qw
