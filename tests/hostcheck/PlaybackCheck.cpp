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

#include "host/Module.h"
#include "host/PlayerHost.h"
#include "platform/platform.h"
#include "quillwave/quillwave.h"

namespace qw::check {

namespace {

using host::fail;

std::string text(uintptr_t address) {
    return address == 0 ? "(null)" : "\"" + std::string(reinterpret_cast<const char*>(address)) + "\"";
}

// A record's field, printed as "  name +offset: value" with its fixed 32-bit offset.  On 32-bit builds it is read
// at that offset, as a host compiled elsewhere has it; on others at the compiler's.
enum class Kind { number, text, set, chars };
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
    const char* at = static_cast<const char*>(record) + offset(f);
    if (f.kind == Kind::chars) return "\"" + std::string(at, strnlen(at, f.size)) + "\"";  // need not end in a NUL
    uint64_t value = 0;  // unsigned, of the field's size (the targets are little-endian)
    std::memcpy(&value, at, f.size);
    return f.kind == Kind::text  ? text(uintptr_t(value))
           : f.kind == Kind::set ? (value != 0 ? "set" : "0")
                                 : std::to_string(value);
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
    print(d, {QW_FIELD(PluginDescriptor, word0, 0, number), QW_FIELD(PluginDescriptor, name, 4, text),
              QW_FIELD(PluginDescriptor, author, 8, text), QW_FIELD(PluginDescriptor, copyright, 12, text),
              QW_FIELD(PluginDescriptor, word16, 16, number), QW_FIELD(PluginDescriptor, extensions, 20, text),
              QW_FIELD(PluginDescriptor, extensionBytes, 24, number), QW_FIELD(PluginDescriptor, word28, 28, number),
              QW_FIELD(PluginDescriptor, word32, 32, number)});
}

void printAbout(PlayerContext& context) {
    unsigned char buffer[sizeof(AboutInfo) + 32];
    std::memset(buffer, pattern, sizeof buffer);
    std::printf("pluginAbout: %d\n", int(context.pluginAbout(&context, reinterpret_cast<AboutInfo*>(buffer))));
    print(buffer, {QW_FIELD(AboutInfo, word0, 0, number), QW_FIELD(AboutInfo, company, 4, text),
                   QW_FIELD(AboutInfo, word8, 8, number), QW_FIELD(AboutInfo, product, 12, text),
                   QW_FIELD(AboutInfo, word16, 16, number), QW_FIELD(AboutInfo, copyright, 20, text),
                   QW_FIELD(AboutInfo, word24, 24, number), QW_FIELD(AboutInfo, half28, 28, number),
                   QW_FIELD(AboutInfo, half30, 30, number)});
    std::printf("  bytes behind the record: %s\n", said(kept(buffer + sizeof(AboutInfo), 32)));
}

void printSongInfo(PlayerContext& context) {
    unsigned char buffer[sizeof(SongInfo) + 32];
    std::memset(buffer, pattern, sizeof buffer);
    std::printf("pluginSongInfo: %d\n", int(context.pluginSongInfo(&context, reinterpret_cast<SongInfo*>(buffer))));
    print(buffer, {QW_FIELD(SongInfo, artist, 0, text), QW_FIELD(SongInfo, title, 4, text),
                   QW_FIELD(SongInfo, bitrateText, 12, text), QW_FIELD(SongInfo, formatText, 16, text),
                   QW_FIELD(SongInfo, lengthMs, 24, number)});
    const unsigned char* at8 = buffer + offset(QW_FIELD(SongInfo, notWritten8, 8, number));
    const unsigned char* at20 = buffer + offset(QW_FIELD(SongInfo, notWritten20, 20, number));
    std::printf("  slots +8 and +20: %s\n", said(kept(at8, sizeof(uintptr_t)) && kept(at20, sizeof(uintptr_t))));
    std::printf("  bytes behind the record: %s\n", said(kept(buffer + sizeof(SongInfo), 32)));
}

void printPlay(const char* what) {
    std::printf("%s: %d blocks, %llu bytes", what, blocks.count.load(), static_cast<unsigned long long>(blocks.bytes));
    if (!blocks.positions.empty()) std::printf(", last at %d ms", blocks.positions.back());
    std::printf("\n");
}

const Field playing = QW_FIELD(PlaybackState, playing, 1024, number);
const Field threadHandle = QW_FIELD(PlaybackState, threadHandle, 1028, set);

}  // namespace

int playbackCommand(const host::Options& options) {
    if (options.args.size() != 4) return fail("playback needs INPUT NAME SEEK_MS");
    const std::string& input = options.args[1];
    const std::string& name = options.args[2];
    const int32_t seekMs = std::atoi(options.args[3].c_str());

    host::Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
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
    print(&context, {QW_FIELD(PlayerContext, outputHandle, 36, number), QW_FIELD(PlayerContext, pluginReady, 40, set),
                     QW_FIELD(PlayerContext, pluginHalt, 44, set), QW_FIELD(PlayerContext, pluginStart, 48, set),
                     QW_FIELD(PlayerContext, pluginStop, 52, set), QW_FIELD(PlayerContext, pluginSeek, 56, set),
                     QW_FIELD(PlayerContext, pluginSongInfo, 60, set), QW_FIELD(PlayerContext, pluginAbout, 92, set),
                     QW_FIELD(PlayerContext, pluginExtra, 96, set), QW_FIELD(PlayerContext, state, 100, set)});
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
        print(&blocks.first, {QW_FIELD(PcmBlock, positionMs, 0, number), QW_FIELD(PcmBlock, lengthMs, 4, number),
                              QW_FIELD(PcmBlock, byteCount, 8, number), QW_FIELD(PcmBlock, samples, 12, set)});
        std::printf("PlaybackState while the first block is held\n");
        const PlaybackState* state = context.state;
        print(state,
              {QW_FIELD(PlaybackState, filePath, 0, chars), playing, threadHandle,
               QW_FIELD(PlaybackState, threadId, 1032, set), QW_FIELD(PlaybackState, tag.present, 1036, number)});
        print(state, {QW_FIELD(PlaybackState, tag.title, 1040, chars), QW_FIELD(PlaybackState, tag.artist, 1072, chars),
                      QW_FIELD(PlaybackState, tag.album, 1104, chars), QW_FIELD(PlaybackState, tag.year, 1136, chars)});
        print(state,
              {QW_FIELD(PlaybackState, tag.comment, 1143, chars), QW_FIELD(PlaybackState, tag.genreName, 1175, chars),
               QW_FIELD(PlaybackState, tag.genre, 1208, number), QW_FIELD(PlaybackState, infoValid, 1212, number)});
        print(state,
              {QW_FIELD(PlaybackState, mpegVersion, 1216, number), QW_FIELD(PlaybackState, bitrate, 1220, number),
               QW_FIELD(PlaybackState, channels, 1224, number), QW_FIELD(PlaybackState, sampleRate, 1228, number)});
        print(state, {QW_FIELD(PlaybackState, layer, 1232, number), QW_FIELD(PlaybackState, lengthMs, 1236, number),
                      QW_FIELD(PlaybackState, streamBytes, 1240, number)});
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
