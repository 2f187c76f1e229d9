// Where the host keeps its settings file.
#pragma once

#include <string>

namespace qw::host {

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
