// Where the host keeps its settings file.
#pragma once

#include <cstdint>
#include <string>

namespace qw::host {

// Where the decoder setting lives in a settings file.
constexpr char settingsSection[] = "Quillwave";
constexpr char decoderKey[] = "Decoder";

// The decoder setting that the file at path holds, or -1 when it holds none
// (no such file, or no such key).
int32_t savedDecoder(const std::string& path);

// quillwave.ini in $XDG_CONFIG_HOME/quillwave, else ~/.config/quillwave
// (on Windows %APPDATA%\quillwave); the folder is created when missing.
std::string userSettingsPath();

// A settings file holding only the "Decoder" value, removed on destruction.
class TemporarySettings {
public:
    ~TemporarySettings();
    bool create(int decoder);
    const std::string& path() const { return filePath; }

private:
    std::string filePath;
};

}  // namespace qw::host
