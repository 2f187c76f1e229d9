#include "host/PcmWriter.h"

#include <algorithm>
#include <cctype>
#if defined(_WIN32)
#include <fcntl.h>
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
    file = std::fopen(path.c_str(), "wb");
    if (!file) {
        errorText = "cannot write " + path;
        return false;
    }
    // Room for the header, completed by close().
    if (wav) failed = !writeWavHeader(file, 0);
    return !failed;
}

void PcmWriter::setFormat(uint32_t sampleRate, uint32_t channels) {
    rate = sampleRate;
    channelCount = channels;
}

bool PcmWriter::write(const void* bytes, uint32_t count) {
    dataBytes += count;
    if (toStdout) {
        const auto* p = static_cast<const uint8_t*>(bytes);
        held.insert(held.end(), p, p + count);
        return true;
    }
    if (std::fwrite(bytes, 1, count, file) != count) failed = true;
    return !failed;
}

bool PcmWriter::writeWavHeader(std::FILE* out, uint32_t dataSize) {
    uint8_t h[44];
    std::copy_n("RIFF", 4, h);
    put32(h + 4, 36 + dataSize);
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
    return std::fwrite(h, 1, sizeof h, out) == sizeof h;
}

bool PcmWriter::close() {
    if (!file) return false;
    // A WAV file cannot describe more than 4 GB; larger outputs are cut in the header only.
    const uint32_t size = uint32_t(std::min<uint64_t>(dataBytes, 0xFFFFFFFFu - 36));
    if (toStdout) {
        failed = failed || !writeWavHeader(file, size);
        if (!held.empty() && std::fwrite(held.data(), 1, held.size(), file) != held.size()) failed = true;
        failed = failed || std::fflush(file) != 0;
        file = nullptr;
        return !failed;
    }
    if (wav) {
        failed = failed || std::fseek(file, 0, SEEK_SET) != 0 || !writeWavHeader(file, size);
    }
    failed = std::fclose(file) != 0 || failed;
    file = nullptr;
    return !failed;
}

}  // namespace qw::host
