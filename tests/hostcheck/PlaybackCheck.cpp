#include "tests/hostcheck/PlaybackCheck.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/Module.h"
#include "host/PlayerHost.h"
#include "platform/platform.h"
#include "quillwave/quillwave.h"

namespace qw::check {

namespace {

using host::fail;

// The byte offset of a field: on 32-bit builds the fixed one, as a host
// compiled elsewhere has it; on others the compiler's.
constexpr size_t at(size_t fixed32, size_t native) { return sizeof(void*) == 4 ? fixed32 : native; }

uint32_t u32(const void* record, size_t offset) {
    uint32_t value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

uintptr_t pointer(const void* record, size_t offset) {
    uintptr_t value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

// A field named with its fixed 32-bit offset.
struct Slot {
    const char* name;
    size_t fixed32;
    size_t native;
};

uint8_t u8(const void* record, size_t offset) { return static_cast<const uint8_t*>(record)[offset]; }

// A fixed-size text field, which need not end in a NUL.
std::string field(const void* record, size_t offset, size_t size) {
    const char* text = static_cast<const char*>(record) + offset;
    return std::string(text, strnlen(text, size));
}

std::string text(uintptr_t address) {
    return address == 0 ? "(null)" : "\"" + std::string(reinterpret_cast<const char*>(address)) + "\"";
}

template <typename Function>
uintptr_t address(Function function) {
    return reinterpret_cast<uintptr_t>(function);
}

// Whether an address lies in the image the module was loaded from.
bool inModule(uintptr_t value, uintptr_t moduleFunction) {
    if (value == 0) return false;
#if defined(_WIN32)
    MEMORY_BASIC_INFORMATION a{}, b{};
    return VirtualQuery(reinterpret_cast<void*>(value), &a, sizeof a) != 0 &&
           VirtualQuery(reinterpret_cast<void*>(moduleFunction), &b, sizeof b) != 0 &&
           a.AllocationBase == b.AllocationBase;
#else
    Dl_info a{}, b{};
    return dladdr(reinterpret_cast<void*>(value), &a) != 0 &&
           dladdr(reinterpret_cast<void*>(moduleFunction), &b) != 0 && a.dli_fbase == b.dli_fbase;
#endif
}

const char* where(uintptr_t value, uintptr_t moduleFunction) {
    if (value == 0) return "null";
    return inModule(value, moduleFunction) ? "module code" : "outside the module";
}

// What the output callback does with each block.  The module's callbacks
// carry no player argument, so this is the one player's.
struct Blocks {
    std::atomic<int> count{0};
    std::atomic<int> holdAt{0};  // the block (from 1) to hold until released
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    uint32_t delayAfterRelease = 0;
    std::FILE* pcm = nullptr;
    uint64_t bytes = 0;
    std::vector<int32_t> positions;
    std::string first;  // block 1, as read at its offsets

    void reset(int hold, uint32_t delay, std::FILE* file) {
        count = 0;
        holdAt = hold;
        held = false;
        release = false;
        delayAfterRelease = delay;
        pcm = file;
        bytes = 0;
        positions.clear();
        first.clear();
    }
};
Blocks blocks;

int32_t QW_CALL checkWrite(QwHandle, const PcmBlock* block) {
    const int32_t position = int32_t(u32(block, 0));
    const int32_t length = int32_t(u32(block, at(4, offsetof(PcmBlock, lengthMs))));
    const uint32_t byteCount = u32(block, at(8, offsetof(PcmBlock, byteCount)));
    const uintptr_t samples = pointer(block, at(12, offsetof(PcmBlock, samples)));
    const int number = ++blocks.count;
    if (number == 1) {
        blocks.first = "  positionMs +0: " + std::to_string(position) + "\n  lengthMs +4: " + std::to_string(length) +
                       "\n  byteCount +8: " + std::to_string(byteCount) +
                       "\n  samples +12: " + (samples != 0 ? "set" : "null") + "\n";
    }
    blocks.positions.push_back(position);
    if (blocks.pcm != nullptr && samples != 0) {
        std::fwrite(reinterpret_cast<const void*>(samples), 1, byteCount, blocks.pcm);
        blocks.bytes += byteCount;
    }
    if (number == blocks.holdAt) {
        blocks.held = true;
        while (!blocks.release) sys::sleepMs(1);
        sys::sleepMs(blocks.delayAfterRelease);
    }
    return 1;
}

bool waitHeld(host::PlayerHost& player) {
    for (int i = 0; i < 300000 && !blocks.held && !player.ended; ++i) sys::sleepMs(1);
    return blocks.held;
}

void printContext(const PlayerContext& context, uintptr_t moduleFunction) {
    const Slot pluginSlots[] = {
        {"pluginReady", 40, offsetof(PlayerContext, pluginReady)},
        {"pluginHalt", 44, offsetof(PlayerContext, pluginHalt)},
        {"pluginStart", 48, offsetof(PlayerContext, pluginStart)},
        {"pluginStop", 52, offsetof(PlayerContext, pluginStop)},
        {"pluginSeek", 56, offsetof(PlayerContext, pluginSeek)},
        {"pluginSongInfo", 60, offsetof(PlayerContext, pluginSongInfo)},
        {"pluginAbout", 92, offsetof(PlayerContext, pluginAbout)},
        {"pluginExtra", 96, offsetof(PlayerContext, pluginExtra)},
        {"state", 100, offsetof(PlayerContext, state)},
    };
    std::printf("PlayerContext after Initialise\n");
    std::printf("  outputHandle +36: %llu\n",
                static_cast<unsigned long long>(pointer(&context, at(36, offsetof(PlayerContext, outputHandle)))));
    for (const Slot& slot : pluginSlots) {
        std::printf("  %s +%zu: %s\n", slot.name, slot.fixed32,
                    where(pointer(&context, at(slot.fixed32, slot.native)), moduleFunction));
    }
}

// The host's own slots, which the module must leave as they are.
std::vector<uintptr_t> hostSlots(const PlayerContext& context) {
    std::vector<uintptr_t> values = {context.host0,
                                     address(context.openOutput),
                                     address(context.writeOutput),
                                     address(context.closeOutput),
                                     context.host16,
                                     address(context.hostRequest),
                                     reinterpret_cast<uintptr_t>(context.iniPath),
                                     context.host28,
                                     context.host32,
                                     address(context.readStream),
                                     address(context.seekStream),
                                     address(context.getFilePath)};
    for (uintptr_t slot : context.host64) values.push_back(slot);
    return values;
}

void printDescriptor(const PluginDescriptor* descriptor) {
    const void* d = descriptor;
    std::printf("Query\n");
    std::printf("  word0 +0: %u\n", u32(d, 0));
    std::printf("  name +4: %s\n", text(pointer(d, at(4, offsetof(PluginDescriptor, name)))).c_str());
    std::printf("  author +8: %s\n", text(pointer(d, at(8, offsetof(PluginDescriptor, author)))).c_str());
    std::printf("  copyright +12: %s\n", text(pointer(d, at(12, offsetof(PluginDescriptor, copyright)))).c_str());
    std::printf("  word16 +16: 0x%08x\n", u32(d, at(16, offsetof(PluginDescriptor, word16))));
    const uint32_t count = u32(d, at(24, offsetof(PluginDescriptor, extensionBytes)));
    const uintptr_t extensions = pointer(d, at(20, offsetof(PluginDescriptor, extensions)));
    std::printf("  extensions +20:");
    for (uint32_t i = 0; extensions != 0 && i < count && i < 64; ++i) {
        std::printf(" %02x", reinterpret_cast<const unsigned char*>(extensions)[i]);
    }
    std::printf("\n  extensionBytes +24: %u\n", count);
    std::printf("  word28 +28: %u\n", u32(d, at(28, offsetof(PluginDescriptor, word28))));
    std::printf("  word32 +32: %u\n", u32(d, at(32, offsetof(PluginDescriptor, word32))));
}

// Records the module fills are handed over in a buffer of a known pattern:
// the bytes behind the record, and the slots it must not write, keep it.
constexpr unsigned char pattern = 0xEE;
constexpr uintptr_t patternWord = sizeof(void*) == 4 ? uintptr_t(0xEEEEEEEEu) : uintptr_t(-1) / 255 * pattern;

bool untouchedFrom(const unsigned char* buffer, size_t from, size_t size) {
    for (size_t i = from; i < size; ++i) {
        if (buffer[i] != pattern) return false;
    }
    return true;
}

void printAbout(PlayerContext& context) {
    unsigned char buffer[sizeof(AboutInfo) + 32];
    std::memset(buffer, pattern, sizeof buffer);
    const int32_t answer = context.pluginAbout(&context, reinterpret_cast<AboutInfo*>(buffer));
    std::printf("pluginAbout: %d\n", int(answer));
    std::printf("  word0 +0: %u\n", u32(buffer, 0));
    std::printf("  company +4: %s\n", text(pointer(buffer, at(4, offsetof(AboutInfo, company)))).c_str());
    std::printf("  word8 +8: %u\n", u32(buffer, at(8, offsetof(AboutInfo, word8))));
    std::printf("  product +12: %s\n", text(pointer(buffer, at(12, offsetof(AboutInfo, product)))).c_str());
    std::printf("  word16 +16: %u\n", u32(buffer, at(16, offsetof(AboutInfo, word16))));
    std::printf("  copyright +20: %s\n", text(pointer(buffer, at(20, offsetof(AboutInfo, copyright)))).c_str());
    std::printf("  word24 +24: %u\n", u32(buffer, at(24, offsetof(AboutInfo, word24))));
    uint16_t half28, half30;
    std::memcpy(&half28, buffer + at(28, offsetof(AboutInfo, half28)), 2);
    std::memcpy(&half30, buffer + at(30, offsetof(AboutInfo, half30)), 2);
    std::printf("  half28 +28: %u\n  half30 +30: %u\n", half28, half30);
    std::printf("  bytes behind the record: %s\n",
                untouchedFrom(buffer, sizeof(AboutInfo), sizeof buffer) ? "untouched" : "WRITTEN");
}

void printSongInfo(PlayerContext& context) {
    unsigned char buffer[sizeof(SongInfo) + 32];
    std::memset(buffer, pattern, sizeof buffer);
    const int32_t answer = context.pluginSongInfo(&context, reinterpret_cast<SongInfo*>(buffer));
    std::printf("pluginSongInfo: %d\n", int(answer));
    std::printf("  artist +0: %s\n", text(pointer(buffer, 0)).c_str());
    std::printf("  title +4: %s\n", text(pointer(buffer, at(4, offsetof(SongInfo, title)))).c_str());
    std::printf("  bitrateText +12: %s\n", text(pointer(buffer, at(12, offsetof(SongInfo, bitrateText)))).c_str());
    std::printf("  formatText +16: %s\n", text(pointer(buffer, at(16, offsetof(SongInfo, formatText)))).c_str());
    std::printf("  lengthMs +24: %u\n", u32(buffer, at(24, offsetof(SongInfo, lengthMs))));
    const bool slotsKept = pointer(buffer, at(8, offsetof(SongInfo, notWritten8))) == patternWord &&
                           pointer(buffer, at(20, offsetof(SongInfo, notWritten20))) == patternWord;
    std::printf("  slots +8 and +20: %s\n", slotsKept ? "untouched" : "WRITTEN");
    std::printf("  bytes behind the record: %s\n",
                untouchedFrom(buffer, sizeof(SongInfo), sizeof buffer) ? "untouched" : "WRITTEN");
}

void printState(const PlaybackState* state) {
    const void* s = state;
    const size_t tag = at(1036, offsetof(PlaybackState, tag));
    std::printf("PlaybackState while the first block is held\n");
    std::printf("  filePath +0: \"%s\"\n", field(s, 0, 1024).c_str());
    std::printf("  playing +1024: %u\n", u8(s, at(1024, offsetof(PlaybackState, playing))));
    std::printf("  threadHandle +1028: %s\n",
                pointer(s, at(1028, offsetof(PlaybackState, threadHandle))) ? "set" : "0");
    std::printf("  threadId +1032: %s\n", u32(s, at(1032, offsetof(PlaybackState, threadId))) ? "set" : "0");
    std::printf("  tag.present +1036: %u\n", u32(s, tag));
    std::printf("  tag.title +1040: \"%s\"\n", field(s, tag + 4, 32).c_str());
    std::printf("  tag.artist +1072: \"%s\"\n", field(s, tag + 36, 32).c_str());
    std::printf("  tag.album +1104: \"%s\"\n", field(s, tag + 68, 32).c_str());
    std::printf("  tag.year +1136: \"%s\"\n", field(s, tag + 100, 7).c_str());
    std::printf("  tag.comment +1143: \"%s\"\n", field(s, tag + 107, 32).c_str());
    std::printf("  tag.genreName +1175: \"%s\"\n", field(s, tag + 139, 33).c_str());
    std::printf("  tag.genre +1208: %d\n", int32_t(u32(s, tag + 172)));
    std::printf("  infoValid +1212: %u\n", u8(s, at(1212, offsetof(PlaybackState, infoValid))));
    const Slot words[] = {{"mpegVersion", 1216, offsetof(PlaybackState, mpegVersion)},
                          {"bitrate", 1220, offsetof(PlaybackState, bitrate)},
                          {"channels", 1224, offsetof(PlaybackState, channels)},
                          {"sampleRate", 1228, offsetof(PlaybackState, sampleRate)},
                          {"layer", 1232, offsetof(PlaybackState, layer)},
                          {"lengthMs", 1236, offsetof(PlaybackState, lengthMs)},
                          {"streamBytes", 1240, offsetof(PlaybackState, streamBytes)}};
    for (const Slot& word : words) {
        std::printf("  %s +%zu: %u\n", word.name, word.fixed32, u32(s, at(word.fixed32, word.native)));
    }
}

void printPlay(const char* what) {
    std::printf("%s: %d blocks, %llu bytes", what, blocks.count.load(), static_cast<unsigned long long>(blocks.bytes));
    if (!blocks.positions.empty()) std::printf(", last at %d ms", blocks.positions.back());
    std::printf("\n");
}

}  // namespace

int playbackCommand(const host::Options& options) {
    if (options.args.size() != 4) return fail("playback needs INPUT NAME SEEK_MS");
    const std::string& input = options.args[1];
    const std::string& name = options.args[2];
    const int32_t seekMs = std::atoi(options.args[3].c_str());

    host::Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    const uintptr_t moduleFunction = address(module.query);
    printDescriptor(module.query());

    host::PlayerHost player(module, options.ini);
    if (!player.openInput(input)) return fail("cannot read " + input);
    PlayerContext& context = player.context();
    context.writeOutput = checkWrite;
    // Marks in the host's unnamed slots.
    context.host0 = 0x51510000;
    context.host16 = 0x51510016;
    context.host28 = 0x51510028;
    context.host32 = 0x51510032;
    for (size_t i = 0; i < 7; ++i) context.host64[i] = 0x51510064 + 4 * i;
    const std::vector<uintptr_t> before = hostSlots(context);
    if (!player.initialise()) return fail("the module did not initialise", 2);
    printContext(context, moduleFunction);
    std::printf("  host slots: %s\n", hostSlots(context) == before ? "untouched" : "CHANGED");
    printAbout(context);

    int status = 0;
    // 1. Held at the first block; then a seek.
    const std::string seekFile = name + ".seek.pcm";
    std::FILE* pcm = std::fopen(seekFile.c_str(), "wb");
    if (pcm == nullptr) return fail("cannot write " + seekFile);
    blocks.reset(1, 0, pcm);
    if (!player.start()) return fail("the module could not start its decoding thread", 2);
    if (!waitHeld(player)) {
        status = fail("no block from " + input, 2);
    } else {
        std::printf("block 1\n%s", blocks.first.c_str());
        printState(context.state);
        printSongInfo(context);
        std::printf("pluginSeek %d: %d\n", int(seekMs), int(context.pluginSeek(&context, seekMs)));
    }
    blocks.release = true;
    player.waitForEnd(false);
    player.stop();
    std::fclose(pcm);
    printPlay("seek play");
    if (blocks.positions.size() > 1) std::printf("  block 2 at %d ms\n", blocks.positions[1]);

    // 2. A stop while the third block is being written: the write returns
    // long after the stop was asked for, and no block follows.
    const int stopAt = 3;
    blocks.reset(stopAt, 500, nullptr);
    if (!player.start() || !waitHeld(player)) {
        status = fail("the second play did not reach block " + std::to_string(stopAt), 2);
    }
    blocks.release = true;
    player.stop();
    const PlaybackState* state = context.state;
    std::printf("stop at block %d: %d blocks, output %s, playing %u, threadHandle %s\n", stopAt, blocks.count.load(),
                player.ended ? "closed" : "open", u8(state, at(1024, offsetof(PlaybackState, playing))),
                pointer(state, at(1028, offsetof(PlaybackState, threadHandle))) ? "set" : "0");

    // 3. Started again after the stop: the whole file.
    const std::string restartFile = name + ".restart.pcm";
    pcm = std::fopen(restartFile.c_str(), "wb");
    if (pcm == nullptr) return fail("cannot write " + restartFile);
    blocks.reset(0, 0, pcm);
    if (!player.start()) status = fail("the module could not start its decoding thread again", 2);
    player.waitForEnd(false);
    player.stop();
    std::fclose(pcm);
    printPlay("play after the stop");
    std::printf("info requests: %d\n", player.infoRequests.load());
    player.shutdown();
    return status;
}

}  // namespace qw::check
