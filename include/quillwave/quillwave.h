/*
 * Quillwave: the records a host player shares with the SQqw4.sqp module.
 *
 * A host loads the module (LoadLibrary on Windows, dlopen on Linux), looks up
 * the exports declared at the end of this file by their plain names, and
 * talks to the module through a PlayerContext it owns.  On 32-bit targets the
 * layouts below are the ones the host fixes, byte for byte; 64-bit builds keep
 * the field order and widen every slot that holds a pointer or a handle.
 *
 * All integers are little-endian; all strings are 8-bit and NUL-terminated.
 */
#ifndef QUILLWAVE_QUILLWAVE_H
#define QUILLWAVE_QUILLWAVE_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QW_CALL __cdecl
#else
#define QW_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A handle the host gives out (output handles, thread handles): pointer-sized. */
typedef uintptr_t QwHandle;

/* ---- Query ------------------------------------------------------------ */

/* The module's static descriptor. */
typedef struct PluginDescriptor {
    uint32_t word0;   /* 0 */
    const char* name; /* "qw 4" */
    const char* author;
    const char* copyright;
    uint32_t word16;         /* 0x00010000 */
    const char* extensions;  /* "mp1\0mp2\0mp3\0\0" */
    uint32_t extensionBytes; /* 13 */
    uint32_t word28;         /* 16 */
    uint32_t word32;         /* 0 */
} PluginDescriptor;

/* ---- Playback --------------------------------------------------------- */

/* One block of PCM handed to writeOutput; valid only during the call. */
typedef struct PcmBlock {
    int32_t positionMs; /* playback position at the end of this block */
    int32_t lengthMs;   /* length of the stream */
    uint32_t byteCount; /* bytes of PCM (twice the number of values) */
    int16_t* samples;   /* interleaved signed 16-bit, left first */
} PcmBlock;

/* The in-memory ID3v1 tag. */
typedef struct TagRecord {
    uint32_t present; /* 1 when a tag was read */
    char title[32];
    char artist[32];
    char album[32];
    char year[7];
    char comment[32];
    char genreName[33];
    int32_t genre; /* index into the genre table */
} TagRecord;

/* Room for paths in the module, their terminating NUL included: the current
 * file's path (getFilePath is asked for this many bytes) and the settings
 * file's path (copied from iniPath).  A longer path is cut to fit, and then
 * names another file: a host hands over none that long. */
#define QW_FILE_PATH_BYTES 1024u
#define QW_INI_PATH_BYTES 2048u

/* The module's per-player block, reachable through PlayerContext.state. */
typedef struct PlaybackState {
    char filePath[QW_FILE_PATH_BYTES];
    uint8_t playing;
    QwHandle threadHandle;
    uint32_t threadId;
    TagRecord tag;
    uint8_t infoValid;
    uint32_t mpegVersion; /* 0 MPEG 1, 1 MPEG 2, 2 MPEG 2.5 */
    uint32_t bitrate;     /* kbit/s */
    uint32_t channels;
    uint32_t sampleRate;
    uint32_t layer; /* 1, 2 or 3 */
    uint32_t lengthMs;
    uint32_t streamBytes;
} PlaybackState;

/* Filled by pluginSongInfo. */
typedef struct SongInfo {
    const char* artist; /* null when the file has no tag */
    const char* title;
    uintptr_t notWritten8;
    const char* bitrateText; /* "%dkb/s" */
    const char* formatText;  /* "MPEG%s\nLayer%d\n%s\n%dHz" */
    uintptr_t notWritten20;
    uint32_t lengthMs;
} SongInfo;

/* Filled by pluginAbout. */
typedef struct AboutInfo {
    uint32_t word0; /* 1 */
    const char* company;
    uint32_t word8; /* 1 */
    const char* product;
    uint32_t word16; /* 1 */
    const char* copyright;
    uint32_t word24; /* 0 */
    uint16_t half28; /* 1 */
    uint16_t half30; /* 0 */
} AboutInfo;

typedef struct PlayerContext PlayerContext;

/* Host callbacks: 1 (nonzero) for success, 0 for failure. */
typedef QwHandle(QW_CALL* OpenOutputFn)(uint32_t sampleRate, uint32_t channels, uint32_t zero);
typedef int32_t(QW_CALL* WriteOutputFn)(QwHandle output, const PcmBlock* block);
typedef void(QW_CALL* CloseOutputFn)(QwHandle output);
typedef intptr_t(QW_CALL* HostRequestFn)(uint32_t code, uint32_t value);
typedef int32_t(QW_CALL* ReadStreamFn)(void* buffer, uint32_t length, uint32_t* count);
typedef int32_t(QW_CALL* SeekStreamFn)(int32_t offset, uint32_t origin, uint32_t* position);
typedef void(QW_CALL* GetFilePathFn)(char* buffer, uint32_t size);

/* Plug-in callbacks, written into the context by Initialise. */
typedef int32_t(QW_CALL* PluginReadyFn)(PlayerContext* context);
typedef int32_t(QW_CALL* PluginControlFn)(PlayerContext* context);
typedef int32_t(QW_CALL* PluginSeekFn)(PlayerContext* context, int32_t milliseconds);
typedef int32_t(QW_CALL* PluginSongInfoFn)(PlayerContext* context, SongInfo* info);
typedef int32_t(QW_CALL* PluginAboutFn)(PlayerContext* context, AboutInfo* info);
typedef int32_t(QW_CALL* PluginExtraFn)(void);

/* hostRequest codes. */
#define QW_REQUEST_INFO_CHANGED 4u
#define QW_REQUEST_PARENT_WINDOW 5u

/* The host-owned context, one per player.  Slots not named are the host's. */
struct PlayerContext {
    uintptr_t host0;
    OpenOutputFn openOutput;   /* host */
    WriteOutputFn writeOutput; /* host */
    CloseOutputFn closeOutput; /* host */
    uintptr_t host16;
    HostRequestFn hostRequest; /* host */
    const char* iniPath;       /* host */
    uintptr_t host28;
    uintptr_t host32;
    QwHandle outputHandle;           /* plug-in */
    PluginReadyFn pluginReady;       /* plug-in */
    PluginControlFn pluginHalt;      /* plug-in */
    PluginControlFn pluginStart;     /* plug-in */
    PluginControlFn pluginStop;      /* plug-in */
    PluginSeekFn pluginSeek;         /* plug-in */
    PluginSongInfoFn pluginSongInfo; /* plug-in */
    uintptr_t host64[7];
    PluginAboutFn pluginAbout; /* plug-in */
    PluginExtraFn pluginExtra; /* plug-in */
    PlaybackState* state;      /* plug-in */
    ReadStreamFn readStream;   /* host */
    SeekStreamFn seekStream;   /* host */
    GetFilePathFn getFilePath; /* host */
};

/* ---- Settings page ---------------------------------------------------- */

typedef struct ConfigPanel ConfigPanel;

/* One control of the settings page: eleven 32-bit words on 32-bit hosts. */
typedef struct ConfigControl {
    int32_t hostValue0;
    int32_t hostValue1;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    const char* text;
    uint32_t word7;
    uint32_t kind; /* QW_CONTROL_LABEL or QW_CONTROL_OPTION */
    uint32_t word9;
    uint32_t id; /* 0 for labels */
} ConfigControl;

#define QW_CONTROL_OPTION 0x1000u
#define QW_CONTROL_LABEL 0x1003u

/* Events the host sends to the page's handler. */
#define QW_PAGE_SHOWN 3u
#define QW_PAGE_CLOSED 4u         /* parameter: the ConfigPanel */
#define QW_CONTROL_ACTIVATED 256u /* parameter: the control id */

/* The host function code that sets an option's mark (value 1 chosen). */
#define QW_HOST_MARK_OPTION 0x10101u

/* The host function the settings page calls back: (page, code, control, value). */
typedef intptr_t(QW_CALL* ConfigHostFn)(uintptr_t page, uint32_t code, uint32_t control, intptr_t value);
typedef int32_t(QW_CALL* ConfigEventFn)(uintptr_t page, uint32_t event, uintptr_t parameter, uintptr_t unused,
                                        ConfigHostFn host);

struct ConfigPanel {
    ConfigControl* controls;
    uint32_t count; /* 4 */
    ConfigEventFn handler;
};

typedef struct ConfigRequest {
    uintptr_t word0;
    const char* iniPath;
    ConfigPanel* panel; /* out */
} ConfigRequest;

/* ---- Recorder interface ------------------------------------------------ */

/* The recorder object's operations use the C++ member calling convention of
 * 32-bit Windows (the object in ECX); each also takes the object as its first
 * explicit argument, except the deleting destructor. */
#if defined(__i386__) && defined(__GNUC__)
#define QW_THISCALL __attribute__((thiscall))
#elif defined(_M_IX86) && defined(_MSC_VER) && defined(__cplusplus)
#define QW_THISCALL __thiscall
#else
#define QW_THISCALL
#endif

typedef struct RecorderInterface RecorderInterface;

/* Results of openFile and CreateRecorderPluginInterface. */
#define QW_RESULT_OK 0
#define QW_RESULT_FAILED 1001

typedef struct RecorderInterfaceTable {
    int32_t(QW_THISCALL* destroy)(RecorderInterface* self, RecorderInterface* object);
    int32_t(QW_THISCALL* reserved1)(RecorderInterface* self, RecorderInterface* object);
    int32_t(QW_THISCALL* reserved2)(RecorderInterface* self, RecorderInterface* object);
    int32_t(QW_THISCALL* reserved3)(RecorderInterface* self, RecorderInterface* object, uint32_t unused);
    /* 0, or QW_RESULT_FAILED when the file cannot be opened. */
    int32_t(QW_THISCALL* openFile)(RecorderInterface* self, RecorderInterface* object, const wchar_t* path);
    int32_t(QW_THISCALL* closeFile)(RecorderInterface* self, RecorderInterface* object);
    /* The file's duration in milliseconds; the next decode starts at the first frame. */
    int32_t(QW_THISCALL* getDuration)(RecorderInterface* self, RecorderInterface* object, double* milliseconds);
    /* Fills exactly size bytes with interleaved 16-bit PCM (zeros past the end of the file). */
    int32_t(QW_THISCALL* decode)(RecorderInterface* self, RecorderInterface* object, uint8_t* buffer, uint32_t size);
    /* flags 1: also free the memory.  Returns the object. */
    RecorderInterface*(QW_THISCALL* deletingDestructor)(RecorderInterface* self, uint32_t flags);
} RecorderInterfaceTable;

struct RecorderInterface {
    const RecorderInterfaceTable* table;
};

/* ---- Exports ---------------------------------------------------------- */

typedef const PluginDescriptor*(QW_CALL* QueryFn)(void);
typedef int32_t(QW_CALL* InitialiseFn)(PlayerContext* context);
typedef int32_t(QW_CALL* ShutdownFn)(PlayerContext* context);
typedef int32_t(QW_CALL* ConfigureFn)(ConfigRequest* request);
typedef int32_t(QW_CALL* ExtendedInfoFn)(uint32_t unused, uint32_t* result, PlayerContext* context);
typedef int32_t(QW_CALL* CreateRecorderPluginInterfaceFn)(void** object);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout checks on 32-bit targets ----------------------------------- */
#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define QW_LAYOUT_CHECK(expr, what) static_assert(expr, what)
#else
#define QW_LAYOUT_CHECK(expr, what) _Static_assert(expr, what)
#endif
QW_LAYOUT_CHECK(sizeof(PluginDescriptor) == 36, "PluginDescriptor is 36 bytes");
QW_LAYOUT_CHECK(offsetof(PluginDescriptor, name) == 4, "descriptor name at 4");
QW_LAYOUT_CHECK(offsetof(PluginDescriptor, word16) == 16, "descriptor word at 16");
QW_LAYOUT_CHECK(offsetof(PluginDescriptor, extensions) == 20, "descriptor extensions at 20");
QW_LAYOUT_CHECK(offsetof(PluginDescriptor, extensionBytes) == 24, "descriptor count at 24");
QW_LAYOUT_CHECK(offsetof(PluginDescriptor, word32) == 32, "descriptor word at 32");

QW_LAYOUT_CHECK(offsetof(PlayerContext, openOutput) == 4, "openOutput at 4");
QW_LAYOUT_CHECK(offsetof(PlayerContext, writeOutput) == 8, "writeOutput at 8");
QW_LAYOUT_CHECK(offsetof(PlayerContext, closeOutput) == 12, "closeOutput at 12");
QW_LAYOUT_CHECK(offsetof(PlayerContext, hostRequest) == 20, "hostRequest at 20");
QW_LAYOUT_CHECK(offsetof(PlayerContext, iniPath) == 24, "iniPath at 24");
QW_LAYOUT_CHECK(offsetof(PlayerContext, outputHandle) == 36, "outputHandle at 36");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginReady) == 40, "pluginReady at 40");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginHalt) == 44, "pluginHalt at 44");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginStart) == 48, "pluginStart at 48");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginStop) == 52, "pluginStop at 52");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginSeek) == 56, "pluginSeek at 56");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginSongInfo) == 60, "pluginSongInfo at 60");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginAbout) == 92, "pluginAbout at 92");
QW_LAYOUT_CHECK(offsetof(PlayerContext, pluginExtra) == 96, "pluginExtra at 96");
QW_LAYOUT_CHECK(offsetof(PlayerContext, state) == 100, "state at 100");
QW_LAYOUT_CHECK(offsetof(PlayerContext, readStream) == 104, "readStream at 104");
QW_LAYOUT_CHECK(offsetof(PlayerContext, seekStream) == 108, "seekStream at 108");
QW_LAYOUT_CHECK(offsetof(PlayerContext, getFilePath) == 112, "getFilePath at 112");
QW_LAYOUT_CHECK(sizeof(PlayerContext) == 116, "PlayerContext is 116 bytes");

QW_LAYOUT_CHECK(sizeof(PcmBlock) == 16, "PcmBlock is 16 bytes");
QW_LAYOUT_CHECK(offsetof(PcmBlock, lengthMs) == 4, "PcmBlock length at 4");
QW_LAYOUT_CHECK(offsetof(PcmBlock, byteCount) == 8, "PcmBlock byte count at 8");
QW_LAYOUT_CHECK(offsetof(PcmBlock, samples) == 12, "PcmBlock samples at 12");

QW_LAYOUT_CHECK(offsetof(SongInfo, title) == 4, "SongInfo title at 4");
QW_LAYOUT_CHECK(offsetof(SongInfo, bitrateText) == 12, "SongInfo bitrate at 12");
QW_LAYOUT_CHECK(offsetof(SongInfo, formatText) == 16, "SongInfo format at 16");
QW_LAYOUT_CHECK(offsetof(SongInfo, lengthMs) == 24, "SongInfo length at 24");
QW_LAYOUT_CHECK(sizeof(SongInfo) == 28, "SongInfo is 28 bytes");

QW_LAYOUT_CHECK(offsetof(AboutInfo, company) == 4, "AboutInfo company at 4");
QW_LAYOUT_CHECK(offsetof(AboutInfo, product) == 12, "AboutInfo product at 12");
QW_LAYOUT_CHECK(offsetof(AboutInfo, copyright) == 20, "AboutInfo copyright at 20");
QW_LAYOUT_CHECK(offsetof(AboutInfo, word24) == 24, "AboutInfo word at 24");
QW_LAYOUT_CHECK(offsetof(AboutInfo, half28) == 28, "AboutInfo half-word at 28");
QW_LAYOUT_CHECK(offsetof(AboutInfo, half30) == 30, "AboutInfo half-word at 30");
QW_LAYOUT_CHECK(sizeof(AboutInfo) == 32, "AboutInfo is 32 bytes");

QW_LAYOUT_CHECK(sizeof(TagRecord) == 176, "TagRecord is 176 bytes");
QW_LAYOUT_CHECK(offsetof(TagRecord, year) == 100, "TagRecord year at 100");
QW_LAYOUT_CHECK(offsetof(TagRecord, genreName) == 139, "TagRecord genre name at 139");
QW_LAYOUT_CHECK(offsetof(TagRecord, genre) == 172, "TagRecord genre at 172");
QW_LAYOUT_CHECK(offsetof(PlaybackState, playing) == 1024, "PlaybackState playing at 1024");
QW_LAYOUT_CHECK(offsetof(PlaybackState, threadHandle) == 1028, "PlaybackState thread at 1028");
QW_LAYOUT_CHECK(offsetof(PlaybackState, tag) == 1036, "PlaybackState tag at 1036");
QW_LAYOUT_CHECK(offsetof(PlaybackState, infoValid) == 1212, "PlaybackState infoValid at 1212");
QW_LAYOUT_CHECK(sizeof(PlaybackState) == 1244, "PlaybackState is 1244 bytes");

QW_LAYOUT_CHECK(sizeof(RecorderInterfaceTable) == 36, "the recorder object has nine slots");
QW_LAYOUT_CHECK(offsetof(RecorderInterfaceTable, openFile) == 16, "openFile in slot 4");
QW_LAYOUT_CHECK(offsetof(RecorderInterfaceTable, decode) == 28, "decode in slot 7");
QW_LAYOUT_CHECK(sizeof(ConfigControl) == 44, "ConfigControl is 44 bytes");
QW_LAYOUT_CHECK(offsetof(ConfigControl, text) == 24, "control text in word 6");
QW_LAYOUT_CHECK(offsetof(ConfigControl, kind) == 32, "control kind in word 8");
QW_LAYOUT_CHECK(offsetof(ConfigControl, id) == 40, "control id in word 10");
QW_LAYOUT_CHECK(sizeof(ConfigPanel) == 12, "ConfigPanel is 12 bytes");
QW_LAYOUT_CHECK(offsetof(ConfigRequest, iniPath) == 4, "request path at 4");
QW_LAYOUT_CHECK(offsetof(ConfigRequest, panel) == 8, "request panel at 8");
#undef QW_LAYOUT_CHECK
#endif

#endif /* QUILLWAVE_QUILLWAVE_H */
