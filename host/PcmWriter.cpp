#include "host/PcmWriter.h"

#include <fcntl.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#if defined(_WIN32)
#include <io.h>
#endif

namespace qw::host {

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

// The WAV sizes of a stream whose length is not known when the header goes out.
constexpr uint32_t unknownSize = 0xFFFFFFFFu;

// Where the next byte goes in the output, or -1 when the output cannot be
// rewound to patch it (a pipe, a terminal, or a file opened for appending,
// where every write lands at the end).
int64_t rewindableOffset(std::FILE* file) {
#if defined(_WIN32)
    return _ftelli64(file);
#else
    const int flags = fcntl(fileno(file), F_GETFL);
    if (flags < 0 || (flags & O_APPEND) != 0) return -1;
    return int64_t(ftello(file));
#endif
}

int seekTo(std::FILE* file, int64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, offset, SEEK_SET);
#else
    return fseeko(file, off_t(offset), SEEK_SET);
#endif
}

}  // namespace

bool endsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); });
}

PcmWriter::~PcmWriter() {
    if (file && !toStdout) std::fclose(file);
}

bool PcmWriter::open(const std::string& path) {
    if (path == "-") {
        wav = toStdout = true;
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        file = stdout;
        return true;
    }
    if (endsWith(path, ".wav")) {
        wav = true;
    } else if (!endsWith(path, ".pcm") && !endsWith(path, ".raw")) {
        errorText = "output must end in .wav, .pcm or .raw, or be - for WAV on standard output: " + path;
        return false;
    }
    outputPath = path;
    return true;
}

void PcmWriter::setFormat(uint32_t sampleRate, uint32_t channels) {
    rate = sampleRate;
    channelCount = channels;
}

bool PcmWriter::write(const void* bytes, uint32_t count) {
    if (!file && !failed) {
        file = std::fopen(outputPath.c_str(), "wb");
        created = file != nullptr;
        if (!file) {
            errorText = "cannot write " + outputPath + ": " + std::strerror(errno);
            failed = true;
        }
    }
    if (failed) return false;
    if (wav && !headerWritten && !startWav()) failed = true;
    dataBytes += count;
    if (!failed && std::fwrite(bytes, 1, count, file) != count) failed = true;
    return !failed;
}

bool PcmWriter::startWav() {
    headerAt = rewindableOffset(file);
    headerWritten = true;
    return writeWavHeader(unknownSize);
}

bool PcmWriter::writeWavHeader(uint32_t dataSize) {
    uint8_t h[44];
    std::copy_n("RIFF", 4, h);
    put32(h + 4, dataSize == unknownSize ? unknownSize : 36 + dataSize);
    std::copy_n("WAVEfmt ", 8, h + 8);
    put32(h + 16, 16);
    put16(h + 20, 1);  // integer PCM
    put16(h + 22, channelCount);
    put32(h + 24, rate);
    put32(h + 28, rate * channelCount * 2);
    put16(h + 32, channelCount * 2);
    put16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    put32(h + 40, dataSize);
    return std::fwrite(h, 1, sizeof h, file) == sizeof h;
}

bool PcmWriter::close() {
    if (!file) return !failed;  // no data came: no output
    if (wav && headerAt >= 0 && dataBytes <= unknownSize - 36) {
        // A WAV header cannot describe 4 GB of data or more: such an output
        // keeps the sizes of a stream of unknown length.
        failed =
            failed || std::fflush(file) != 0 || seekTo(file, headerAt) != 0 || !writeWavHeader(uint32_t(dataBytes));
    }
    failed = std::fflush(file) != 0 || failed;
    if (!toStdout) failed = std::fclose(file) != 0 || failed;
    file = nullptr;
    return !failed;
}

void PcmWriter::discard() {
    if (file && !toStdout) std::fclose(file);
    file = nullptr;
    if (created) std::remove(outputPath.c_str());
    created = false;
}

}  // namespace qw::host
