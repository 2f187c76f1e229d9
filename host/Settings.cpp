#include "host/Settings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/platform.h"

namespace qw::host {

namespace fs = std::filesystem;

std::string userSettingsPath() {
    fs::path folder;
#if defined(_WIN32)
    if (const char* appData = std::getenv("APPDATA")) folder = fs::path(appData) / "quillwave";
#else
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        folder = fs::path(xdg) / "quillwave";
    } else if (const char* home = std::getenv("HOME")) {
        folder = fs::path(home) / ".config" / "quillwave";
    }
#endif
    if (folder.empty()) folder = fs::current_path();
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return (folder / "quillwave.ini").string();
}

int32_t savedDecoder(const std::string& path) {
    return int32_t(sys::profileInt(settingsSection, decoderKey, -1, path.c_str()));
}

TemporarySettings::~TemporarySettings() {
    if (!filePath.empty()) std::remove(filePath.c_str());
}

bool TemporarySettings::create(int decoder) {
    std::error_code error;
    fs::path folder = fs::temp_directory_path(error);
    if (error) return false;
    std::random_device random;
    filePath = (folder / ("quillwave-" + std::to_string(random()) + ".ini")).string();
    std::FILE* file = std::fopen(filePath.c_str(), "w");
    if (!file) return false;
    std::fprintf(file, "[%s]\n%s=%d\n", settingsSection, decoderKey, decoder);
    return std::fclose(file) == 0;
}

}  // namespace qw::host
