// A path in the temporary folder, unique to the process, removed at the end with whatever it holds.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace qw::test {

struct TempFile {
    explicit TempFile(const std::string& stem, const std::string& extension = "") {
        static std::atomic<int> counter{0};
        path = (std::filesystem::temp_directory_path() /
                (stem + std::to_string(counter++) + "_" + std::to_string(getpid()) + extension))
                   .string();
        std::filesystem::remove(path);
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    const char* c_str() const { return path.c_str(); }
    void write(const std::string& content) const { std::ofstream(path, std::ios::binary) << content; }
    std::string read() const { return contents(path); }
    // The bytes of any file.
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string path;
};

}  // namespace qw::test
