#include "tests/hostcheck/PlaybackCheck.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
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

template <typename T>
T get(const void* record, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

std::string text(uintptr_t address) {
    return address == 0 ? "(null)" : "\"" + std::string(reinterpret_cast<const char*>(address)) + "\"";
}

uintptr_t moduleCode = 0;  // an address in the module's image

// Where an address lies: in the image the module was loaded from, or not.
const char* where(uintptr_t value) {
    if (value == 0) return "null";
#if defined(_WIN32)
    MEMORY_BASIC_INFORMATION a{}, b{};
    const bool same = VirtualQuery(reinterpret_cast<void*>(value), &a, sizeof a) != 0 &&
                      VirtualQuery(reinterpret_cast<void*>(moduleCode), &b, sizeof b) != 0 &&
                      a.AllocationBase == b.AllocationBase;
#else
    Dl_info a{}, b{};
    const bool same = dladdr(reinterpret_cast<void*>(value), &a) != 0 &&
                      dladdr(reinterpret_cast<void*>(moduleCode), &b) != 0 && a.dli_fbase == b.dli_fbase;
#endif
    return same ? "module code" : "outside the module";
}

// A record's field, printed as "  name +offset: value" with its fixed 32-bit offset.  On 32-bit builds it is read
// at that offset, as a host compiled elsewhere has it; on others at the compiler's.
enum class Kind { u8, u16, u32, i32, hex, text, set, chars, code, handle };
struct Field {
    const char* name;
    size_t fixed32, native;
    Kind kind;
    size_t size;
};
#define QW_FIELD(T, member, fixed32, kind) \
    Field { #member, fixed32, offsetof(T, member), Kind::kind, sizeof(T::member) }

size_t offset(const Field& f) { return sizeof(void*) == 4 ? f.fixed32 : f.native; }

std::string show(const void* record, const Field& f) {
    const size_t o = offset(f);
    const uintptr_t word = f.size == sizeof(uintptr_t) ? get<uintptr_t>(record, o) : get<uint32_t>(record, o);
    switch (f.kind) {
        case Kind::u8:
            return std::to_string(get<uint8_t>(record, o));
        case Kind::u16:
            return std::to_string(get<uint16_t>(record, o));
        case Kind::u32:
            return std::to_string(get<uint32_t>(record, o));
        case Kind::i32:
            return std::to_string(get<int32_t>(record, o));
        case Kind::text:
            return text(word);
        case Kind::set:
            return word != 0 ? "set" : "0";
        case Kind::code:
            return where(word);
        case Kind::handle:
            return std::to_string(static_cast<unsigned long long>(word));
        case Kind::chars: {  // a fixed-size text, which need not end in a NUL
            const char* chars = static_cast<const char*>(record) + o;
            return "\"" + std::string(chars, strnlen(chars, f.size)) + "\"";
        }
        case Kind::hex:
            break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", get<uint32_t>(record, o));
    return hex;
}

void print(const void* record, std::initializer_list<Field> fields) {
    for (const Field& f : fields) std::printf("  %s +%zu: %s\n", f.name, f.fixed32, show(record, f).c_str());
}

// Records the module fills are handed over in a buffer of a known pattern: the bytes behind the record, and the
// slots it must not write, keep it.
constexpr unsigned char pattern = 0xEE;

bool kept(const unsigned char* from, size_t size) {
    return std::all_of(from, from + size, [](unsigned char byte) { return byte == pattern; });
}
const char* said(bool untouched) { return untouched ? "untouched" : "WRITTEN"; }

// What the output callback does with each block.  The module's callbacks carry no player argument, so this is the
// one player's.
struct Blocks {
    std::atomic<int> count{0}, holdAt{0};  // the block (from 1) to hold until released
    std::atomic<bool> held{false}, release{false};
    uint32_t delayAfterRelease = 0;
    std::FILE* pcm = nullptr;
    uint64_t bytes = 0;
    std::vector<int32_t> positions;
    PcmBlock first{};

    void reset(int hold, uint32_t delay, std::FILE* file) {
        count = 0, holdAt = hold, held = false, release = false;
        delayAfterRelease = delay, pcm = file, bytes = 0, positions.clear();
    }
} blocks;

int32_t QW_CALL checkWrite(QwHandle, const PcmBlock* block) {
    const int number = ++blocks.count;
    if (number == 1) blocks.first = *block;
    blocks.positions.push_back(block->positionMs);
    if (blocks.pcm != nullptr && block->samples != nullptr) {
        std::fwrite(block->samples, 1, block->byteCount, blocks.pcm);
        blocks.bytes += block->byteCount;
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

// The host's own slots, which the module must leave as they are: all but the three runs of the module's.
bool hostSlotsKept(const PlayerContext& now, const PlayerContext& before) {
    const auto same = [&](size_t from, size_t to) {
        return std::memcmp(reinterpret_cast<const char*>(&now) + from, reinterpret_cast<const char*>(&before) + from,
                           to - from) == 0;
    };
    return same(0, offsetof(PlayerContext, outputHandle)) &&
           same(offsetof(PlayerContext, host64), offsetof(PlayerContext, pluginAbout)) &&
           same(offsetof(PlayerContext, readStream), sizeof(PlayerContext));
}

void printDescriptor(const PluginDescriptor* d) {
    std::printf("Query\n");
    print(d, {QW_FIELD(PluginDescriptor, word0, 0, u32), QW_FIELD(PluginDescriptor, name, 4, text),
              QW_FIELD(PluginDescriptor, author, 8, text), QW_FIELD(PluginDescriptor, copyright, 12, text),
              QW_FIELD(PluginDescriptor, word16, 16, hex)});
    const Field bytes = QW_FIELD(PluginDescriptor, extensionBytes, 24, u32);
    const uint32_t count = get<uint32_t>(d, offset(bytes));
    const auto extensions = get<uintptr_t>(d, offset(QW_FIELD(PluginDescriptor, extensions, 20, u32)));
    std::printf("  extensions +20:");
    for (uint32_t i = 0; extensions != 0 && i < count && i < 64; ++i) {
        std::printf(" %02x", reinterpret_cast<const unsigned char*>(extensions)[i]);
    }
    std::printf("\n");
    print(d, {bytes, QW_FIELD(PluginDescriptor, word28, 28, u32), QW_FIELD(PluginDescriptor, word32, 32, u32)});
}

void printAbout(PlayerContext& context) {
    unsigned char buffer[sizeof(AboutInfo) + 32];
    std::memset(buffer, pattern, sizeof buffer);
    std::printf("pluginAbout: %d\n", int(context.pluginAbout(&context, reinterpret_cast<AboutInfo*>(buffer))));
    print(buffer, {QW_FIELD(AboutInfo, word0, 0, u32), QW_FIELD(AboutInfo, company, 4, text),
                   QW_FIELD(AboutInfo, word8, 8, u32), QW_FIELD(AboutInfo, product, 12, text),
                   QW_FIELD(AboutInfo, word16, 16, u32), QW_FIELD(AboutInfo, copyright, 20, text),
                   QW_FIELD(AboutInfo, word24, 24, u32), QW_FIELD(AboutInfo, half28, 28, u16),
                   QW_FIELD(AboutInfo, half30, 30, u16)});
    std::printf("  bytes behind the record: %s\n", said(kept(buffer + sizeof(AboutInfo), 32)));
}

void printSongInfo(PlayerContext& context) {
    unsigned char buffer[sizeof(SongInfo) + 32];
    std::memset(buffer, pattern, sizeof buffer);
    std::printf("pluginSongInfo: %d\n", int(context.pluginSongInfo(&context, reinterpret_cast<SongInfo*>(buffer))));
    print(buffer, {QW_FIELD(SongInfo, artist, 0, text), QW_FIELD(SongInfo, title, 4, text),
                   QW_FIELD(SongInfo, bitrateText, 12, text), QW_FIELD(SongInfo, formatText, 16, text),
                   QW_FIELD(SongInfo, lengthMs, 24, u32)});
    const unsigned char* at8 = buffer + offset(QW_FIELD(SongInfo, notWritten8, 8, u32));
    const unsigned char* at20 = buffer + offset(QW_FIELD(SongInfo, notWritten20, 20, u32));
    std::printf("  slots +8 and +20: %s\n", said(kept(at8, sizeof(uintptr_t)) && kept(at20, sizeof(uintptr_t))));
    std::printf("  bytes behind the record: %s\n", said(kept(buffer + sizeof(SongInfo), 32)));
}

void printPlay(const char* what) {
    std::printf("%s: %d blocks, %llu bytes", what, blocks.count.load(), static_cast<unsigned long long>(blocks.bytes));
    if (!blocks.positions.empty()) std::printf(", last at %d ms", blocks.positions.back());
    std::printf("\n");
}

const Field playing = QW_FIELD(PlaybackState, playing, 1024, u8);
const Field threadHandle = QW_FIELD(PlaybackState, threadHandle, 1028, set);

}  // namespace

int playbackCommand(const host::Options& options) {
    if (options.args.size() != 4) return fail("playback needs INPUT NAME SEEK_MS");
    const std::string& input = options.args[1];
    const std::string& name = options.args[2];
    const int32_t seekMs = std::atoi(options.args[3].c_str());

    host::Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    moduleCode = reinterpret_cast<uintptr_t>(module.query);
    printDescriptor(module.query());

    host::PlayerHost player(module, options.ini);
    if (!player.openInput(input)) return fail("cannot read " + input);
    PlayerContext& context = player.context();
    context.writeOutput = checkWrite;
    // Marks in the host's unnamed slots.
    context.host0 = 0x51510000, context.host16 = 0x51510016;
    context.host28 = 0x51510028, context.host32 = 0x51510032;
    for (size_t i = 0; i < 7; ++i) context.host64[i] = 0x51510064 + 4 * i;
    const PlayerContext before = context;
    if (!player.initialise()) return fail("the module did not initialise", 2);
    std::printf("PlayerContext after Initialise\n");
    print(&context, {QW_FIELD(PlayerContext, outputHandle, 36, handle), QW_FIELD(PlayerContext, pluginReady, 40, code),
                     QW_FIELD(PlayerContext, pluginHalt, 44, code), QW_FIELD(PlayerContext, pluginStart, 48, code),
                     QW_FIELD(PlayerContext, pluginStop, 52, code), QW_FIELD(PlayerContext, pluginSeek, 56, code),
                     QW_FIELD(PlayerContext, pluginSongInfo, 60, code), QW_FIELD(PlayerContext, pluginAbout, 92, code),
                     QW_FIELD(PlayerContext, pluginExtra, 96, code), QW_FIELD(PlayerContext, state, 100, code)});
    std::printf("  host slots: %s\n", hostSlotsKept(context, before) ? "untouched" : "CHANGED");
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
        std::printf("block 1\n");
        print(&blocks.first, {QW_FIELD(PcmBlock, positionMs, 0, i32), QW_FIELD(PcmBlock, lengthMs, 4, i32),
                              QW_FIELD(PcmBlock, byteCount, 8, u32), QW_FIELD(PcmBlock, samples, 12, set)});
        std::printf("PlaybackState while the first block is held\n");
        const PlaybackState* state = context.state;
        print(state, {QW_FIELD(PlaybackState, filePath, 0, chars), playing, threadHandle,
                      QW_FIELD(PlaybackState, threadId, 1032, set), QW_FIELD(PlaybackState, tag.present, 1036, u32)});
        print(state, {QW_FIELD(PlaybackState, tag.title, 1040, chars), QW_FIELD(PlaybackState, tag.artist, 1072, chars),
                      QW_FIELD(PlaybackState, tag.album, 1104, chars), QW_FIELD(PlaybackState, tag.year, 1136, chars)});
        print(state,
              {QW_FIELD(PlaybackState, tag.comment, 1143, chars), QW_FIELD(PlaybackState, tag.genreName, 1175, chars),
               QW_FIELD(PlaybackState, tag.genre, 1208, i32), QW_FIELD(PlaybackState, infoValid, 1212, u8)});
        print(state, {QW_FIELD(PlaybackState, mpegVersion, 1216, u32), QW_FIELD(PlaybackState, bitrate, 1220, u32),
                      QW_FIELD(PlaybackState, channels, 1224, u32), QW_FIELD(PlaybackState, sampleRate, 1228, u32)});
        print(state, {QW_FIELD(PlaybackState, layer, 1232, u32), QW_FIELD(PlaybackState, lengthMs, 1236, u32),
                      QW_FIELD(PlaybackState, streamBytes, 1240, u32)});
        printSongInfo(context);
        std::printf("pluginSeek %d: %d\n", int(seekMs), int(context.pluginSeek(&context, seekMs)));
    }
    blocks.release = true;
    player.waitForEnd(false);
    player.stop();
    std::fclose(pcm);
    printPlay("seek play");
    if (blocks.positions.size() > 1) std::printf("  block 2 at %d ms\n", blocks.positions[1]);

    // 2. A stop while the third block is being written: the write returns long after the stop was asked for, and
    // no block follows.
    blocks.reset(3, 500, nullptr);
    if (!player.start() || !waitHeld(player)) status = fail("the second play did not reach block 3", 2);
    blocks.release = true;
    player.stop();
    std::printf("stop at block 3: %d blocks, output %s, playing %s, threadHandle %s\n", blocks.count.load(),
                player.ended ? "closed" : "open", show(context.state, playing).c_str(),
                show(context.state, threadHandle).c_str());

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
