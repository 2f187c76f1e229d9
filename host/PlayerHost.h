// The host side of the PlayerContext contract: the current file, the output
// callbacks and the host requests, for one player.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "host/InputFile.h"
#include "host/Module.h"
#include "host/PcmWriter.h"
#include "quillwave/quillwave.h"

namespace qw::host {

class PlayerHost {
public:
    PlayerHost(Module& module, std::string iniPath);
    ~PlayerHost();

    // Opens the input ("-" reads standard input, which cannot seek).
    bool openInput(const std::string& path);
    // Names the current file for the module without opening it.
    void setInputPath(const std::string& inputPath) { path = inputPath; }
    const InputFile& input() const { return inputFile; }
    InputFile& input() { return inputFile; }
    // PCM from writeOutput goes here (may be null: PCM is discarded).
    void setWriter(PcmSink* writer) { pcmWriter = writer; }

    bool initialise();
    void shutdown();
    bool start();
    void seek(int32_t milliseconds);
    // Seeks once the module has told the stream's properties, before it
    // hands over any PCM: called before start, so that no audio from before
    // the position comes out, however fast the decoding thread runs.
    void seekAtStart(int32_t milliseconds) { startSeekMs = milliseconds; }
    // Waits until the decoding thread has called closeOutput, polling every
    // 10 ms; showProgress prints the position on stderr meanwhile.
    void waitForEnd(bool showProgress);
    void stop();

    PlayerContext& context() { return playerContext; }
    PlaybackState* state() { return playerContext.state; }
    const std::string& inputPath() const { return path; }

    // What the module did, for reports and tests.
    std::atomic<int> infoRequests{0};
    std::atomic<int> outputsOpened{0};
    std::atomic<bool> ended{false};
    std::atomic<int32_t> positionMs{0};
    std::atomic<int32_t> lengthMs{0};
    std::atomic<uint32_t> layer{0};  // of the frames the module last told of
    // The output format, fixed by the first block of PCM (0 before it).
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    // Set when PCM came in a second format: the decode stops there rather
    // than write PCM of two formats into one file.
    std::atomic<bool> formatChanged{false};
    uint32_t changedRate = 0;
    bool writeFailed = false;
    // PCM values taken in, and where in the stream the last of them came
    // from: the end of the last frame the module read before handing it over.
    uint64_t valuesReceived = 0;
    uint64_t audioEnd = 0;

private:
    static QwHandle QW_CALL openOutput(uint32_t sampleRate, uint32_t channels, uint32_t zero);
    static int32_t QW_CALL writeOutput(QwHandle output, const PcmBlock* block);
    static void QW_CALL closeOutput(QwHandle output);
    static intptr_t QW_CALL hostRequest(uint32_t code, uint32_t value);
    static int32_t QW_CALL readStream(void* buffer, uint32_t length, uint32_t* count);
    static int32_t QW_CALL seekStream(int32_t offset, uint32_t origin, uint32_t* position);
    static void QW_CALL getFilePath(char* buffer, uint32_t size);

    Module& module;
    std::string ini;
    // The format the module asked for last; it counts once PCM comes in it.
    uint32_t openedRate = 0;
    uint32_t openedChannels = 0;
    // The end of the last frame data the module read (see readStream).
    uint64_t frameDataEnd = 0;
    int32_t startSeekMs = -1;
    std::string path;
    InputFile inputFile;
    PcmSink* pcmWriter = nullptr;
    PlayerContext playerContext{};
    bool initialised = false;
};

}  // namespace qw::host
