#include "host/Gapless.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/InputFile.h"
#include "quillwave/frames.h"

namespace qw::host {

namespace {

// Samples per channel by which a decoder's output lags its input: the
// encoder's delay counts from the decoded start, and this comes on top.
constexpr uint32_t decoderDelay = 529;

// The information frame ends with the LAME extension: a 9-byte encoder
// version, settings, then the 12-bit delay and padding at bytes 21 to 23, and
// check sums up to byte 35.
constexpr size_t lameExtensionBytes = 36;
constexpr size_t lameDelayAt = 21;
// The frame's header, its side information, the tag with its flags, frame
// count, byte count, table of contents and quality, then the extension.
constexpr size_t informationFrameBytes = 4 + 32 + 8 + 4 + 4 + 100 + 4 + lameExtensionBytes;

}  // namespace

GaplessInfo parseInformationFrame(const uint8_t* bytes, size_t count) {
    GaplessInfo info;
    if (count < 4) return info;
    // A Layer III frame header (free format holds no information frame).
    const uint32_t header = qwHeaderWord(bytes), frameBytes = qwFrameBytes(header);
    if (frameBytes == 0 || (header >> 17 & 3) != 1) return info;
    const bool mpeg1 = (header >> 19 & 3) == 3, mono = (header >> 6 & 3) == 3;
    // Bytes past the frame belong to the next one.
    const size_t end = std::min<size_t>(count, frameBytes);

    // The tag stands right behind the side information; a check word, when
    // the frame has one, does not move it.
    size_t at = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (at + 8 > end || (std::memcmp(bytes + at, "Xing", 4) != 0 && std::memcmp(bytes + at, "Info", 4) != 0)) {
        return info;
    }
    // Each field the flags announce follows the one before; all are big-endian.
    const uint32_t flags = qwHeaderWord(bytes + at + 4);
    at += 8;
    const bool hasFrames = (flags & 1) != 0;
    if (hasFrames && at + 4 <= end) info.frames = qwHeaderWord(bytes + at);
    at += (hasFrames ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);

    // An extension starts with its encoder's name; a plain Xing frame has
    // nothing (zeros) there.
    info.finding = GaplessInfo::Finding::noLameExtension;
    if (at + lameExtensionBytes > end || bytes[at] == 0) return info;
    info.finding = GaplessInfo::Finding::noFrameCount;
    if (!hasFrames) return info;

    const uint8_t* field = bytes + at + lameDelayAt;
    info.delay = uint32_t(field[0]) << 4 | field[1] >> 4;
    info.padding = uint32_t(field[1] & 15) << 8 | field[2];
    info.samplesPerFrame = mpeg1 ? 1152 : 576;
    info.finding = uint64_t(info.delay) + info.padding > uint64_t(info.frames) * info.samplesPerFrame
                       ? GaplessInfo::Finding::exceedsAudio
                       : GaplessInfo::Finding::trims;
    return info;
}

uint64_t GaplessInfo::length() const {
    const uint64_t audio = uint64_t(frames) * samplesPerFrame,
                   added = uint64_t(delay) + std::max(padding, decoderDelay);
    return audio > added ? audio - added : 0;
}

GaplessInfo readInformationFrame(InputFile& input) {
    uint8_t bytes[informationFrameBytes];
    return parseInformationFrame(bytes, input.peek(bytes, sizeof bytes));
}

std::string describeGapless(const GaplessInfo& info) {
    using Finding = GaplessInfo::Finding;
    switch (info.finding) {
        case Finding::trims:
            return "delay " + std::to_string(info.delay) + ", padding " + std::to_string(info.padding) + ", length " +
                   std::to_string(info.length()) + " samples";
        case Finding::noInformationFrame:
            return "none: no information frame (Xing or Info) at the start";
        case Finding::noFrameCount:
            return "none: the information frame gives no frame count";
        case Finding::noLameExtension:
            return "none: the information frame has no LAME extension";
        case Finding::exceedsAudio:
            return "none: delay " + std::to_string(info.delay) + " and padding " + std::to_string(info.padding) +
                   " exceed the " + std::to_string(uint64_t(info.frames) * info.samplesPerFrame) +
                   " samples of the frames";
    }
    return "";
}

void GaplessTrimmer::setFormat(uint32_t sampleRate, uint32_t channels) {
    out.setFormat(sampleRate, channels);
    if (!info.trims()) return;
    const uint64_t sampleBytes = uint64_t(channels) * 2;
    rate = sampleRate;
    frameBytes = info.samplesPerFrame * sampleBytes;
    startByte = frameBytes + (uint64_t(info.delay) + decoderDelay) * sampleBytes;
    endByte = frameBytes + (uint64_t(info.frames) * info.samplesPerFrame + decoderDelay - info.padding) * sampleBytes;
    padBytes = size_t(info.padding > decoderDelay ? info.padding - decoderDelay : 0) * sampleBytes;
    held.reserve(padBytes);
}

bool GaplessTrimmer::writeBlock(const PcmBlock& block) {
    if (frameBytes > 0) {
        // The module's running time at the end of the block, less the block,
        // tells the frame the block starts with.  It counts every frame read,
        // so it agrees with the PCM so far until a seek.  A seek lands on a
        // frame estimated from the average frame size, and the running time
        // then starts from the requested time: the frame is known no better.
        // From there the start is dropped only if the position lies in it (a
        // seek to 0 taken before any frame was decoded), and the end is the
        // stream's real end: what comes is held back by the padding, and
        // what is held when the stream ends is dropped.  That is the end the
        // information frame gives unless the file was cut short.
        const double endFrames = double(block.positionMs) / 1000.0 * rate / info.samplesPerFrame;
        const double startFrame = std::round(endFrames - double(block.byteCount) / double(frameBytes));
        const uint64_t start = uint64_t(std::max(0.0, startFrame)) * frameBytes;
        if (start != position) {
            position = start;
            endAtStreamEnd = true;
        }
    }
    return write(block.samples, block.byteCount);
}

bool GaplessTrimmer::write(const void* data, uint32_t count) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    received += count;
    uint64_t at = position;
    position += count;
    // Takes the bytes before offset `until` off the front, on to the output
    // or dropped.
    auto take = [&](uint64_t until, bool keep) {
        if (at >= until || count == 0) return true;
        const uint32_t n = uint32_t(std::min<uint64_t>(count, until - at));
        const bool written = !keep || out.write(bytes, n);
        bytes += n;
        count -= n;
        at += n;
        return written;
    };
    if (!take(startByte, false)) return false;
    if (endAtStreamEnd) return count == 0 || holdBack(bytes, count);
    // What follows the padding, in a stream that goes on past the frames it
    // announces (files joined end to end), plays on.
    return take(endByte, true) && take(endByte + padBytes, false) && take(UINT64_MAX, true);
}

// What exceeds the padding, oldest first, goes on; the newest padBytes stay.
bool GaplessTrimmer::holdBack(const uint8_t* bytes, size_t count) {
    const size_t excess = held.size() + count > padBytes ? held.size() + count - padBytes : 0;
    const size_t fromHeld = std::min(excess, held.size());
    if (fromHeld > 0 && !out.write(held.data(), uint32_t(fromHeld))) return false;
    held.erase(held.begin(), held.begin() + long(fromHeld));
    const size_t fromNew = excess - fromHeld;
    if (fromNew > 0 && !out.write(bytes, uint32_t(fromNew))) return false;
    held.insert(held.end(), bytes + fromNew, bytes + count);
    return true;
}

}  // namespace qw::host
