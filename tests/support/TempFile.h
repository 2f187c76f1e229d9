// A path in the temporary folder, unique to the process, removed at the end with whatever it holds.
#pragma once

#include <atomic>
#include <cstdint>
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
    // Grows the file to size bytes ending in tail; the gap is not written (sparse where the file system allows).
    void extend(uint64_t size, const std::string& tail) const {
        std::filesystem::resize_file(path, size - tail.size());
        std::ofstream(path, std::ios::binary | std::ios::app) << tail;
    }
    // The first count bytes and the last 128 of a file too large to read whole.
    std::string readEnds(size_t count) const {
        std::ifstream in(path, std::ios::binary);
        std::string first(count, '\0'), last(128, '\0');
        in.read(&first[0], std::streamsize(count));
        in.seekg(-128, std::ios::end);
        in.read(&last[0], 128);
        return first + last;
    }

    std::string path;
};

}  // namespace qw::test
