// Private-profile (INI) settings files, read and written the way Windows does:
// section and key names compare without regard to case and with surrounding
// whitespace ignored; a write changes or adds one line and keeps every other
// line of the file (comments, blank lines, other sections) as it was.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qw::sys {

namespace {

// One reader or writer at a time within the process.
std::mutex& profileLock() {
    static std::mutex lock;
    return lock;
}

std::string trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

struct Line {
    enum Kind { other, section, entry } kind = other;
    std::string text;   // the line as found, without its line ending
    std::string name;   // section or key name, trimmed
    std::string value;  // entry value, trimmed
};

struct Profile {
    std::vector<Line> lines;
    std::string newline = "\n";
    bool exists = false;
};

Line parseLine(const std::string& text) {
    Line line;
    line.text = text;
    std::string body = trim(text);
    if (body.empty() || body[0] == ';' || body[0] == '#') return line;
    if (body[0] == '[') {
        size_t close = body.find(']');
        line.kind = Line::section;
        line.name = trim(body.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    size_t equals = body.find('=');
    if (equals == std::string::npos) return line;
    line.kind = Line::entry;
    line.name = trim(body.substr(0, equals));
    line.value = trim(body.substr(equals + 1));
    return line;
}

Profile loadProfile(const char* path) {
    Profile profile;
    std::ifstream in(path, std::ios::binary);
    if (!in) return profile;
    profile.exists = true;
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string content = buffer.str();
    size_t start = 0;
    bool firstEnding = true;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        std::string text = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
            if (firstEnding) profile.newline = "\r\n";
        }
        if (end != std::string::npos) firstEnding = false;
        profile.lines.push_back(parseLine(text));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return profile;
}

bool storeProfile(const char* path, const Profile& profile) {
    std::string content;
    for (const Line& line : profile.lines) content += line.text + profile.newline;
    int descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    size_t done = 0;
    while (done < content.size()) {
        ssize_t put = write(descriptor, content.data() + done, content.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            close(descriptor);
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return close(descriptor) == 0;
}

// Index of the first header naming the section, or the line count.
size_t findSection(const Profile& profile, const std::string& section) {
    for (size_t i = 0; i < profile.lines.size(); ++i) {
        if (profile.lines[i].kind == Line::section && sameName(profile.lines[i].name, section)) return i;
    }
    return profile.lines.size();
}

// One past the last line of the section whose header is at index header.
size_t sectionEnd(const Profile& profile, size_t header) {
    size_t i = header + 1;
    while (i < profile.lines.size() && profile.lines[i].kind != Line::section) ++i;
    return i;
}

// Index of the entry naming the key in the section whose header is at index
// header, or npos.
size_t findKey(const Profile& profile, size_t header, const std::string& key) {
    const size_t end = sectionEnd(profile, header);
    for (size_t i = header + 1; i < end; ++i) {
        if (profile.lines[i].kind == Line::entry && sameName(profile.lines[i].name, key)) return i;
    }
    return std::string::npos;
}

// Integer value the way the Windows call reads it: an optional sign and the
// leading decimal digits; anything else gives 0.  Values wrap at 32 bits.
uint32_t parseInteger(const std::string& value) {
    size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    uint32_t result = 0;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9') {
        result = result * 10u + static_cast<uint32_t>(value[i] - '0');
        ++i;
    }
    return negative ? 0u - result : result;
}

// A value in matching quotes is read without them.
std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

uint32_t profileInt(const char* section, const char* key, int32_t defaultValue, const char* path) {
    const uint32_t fallback = static_cast<uint32_t>(defaultValue);
    if (section == nullptr || key == nullptr || path == nullptr) return fallback;
    std::lock_guard<std::mutex> guard(profileLock());
    Profile profile = loadProfile(path);
    const std::string sectionName = trim(section);
    const std::string keyName = trim(key);
    bool inSection = false;
    for (const Line& line : profile.lines) {
        if (line.kind == Line::section) {
            inSection = sameName(line.name, sectionName);
        } else if (inSection && line.kind == Line::entry && sameName(line.name, keyName)) {
            std::string value = unquote(line.value);
            // An empty value reads like a missing one.
            return value.empty() ? fallback : parseInteger(value);
        }
    }
    return fallback;
}

bool writeProfileString(const char* section, const char* key, const char* value, const char* path) {
    if (section == nullptr || path == nullptr) return false;
    std::lock_guard<std::mutex> guard(profileLock());
    Profile profile = loadProfile(path);
    const std::string sectionName = trim(section);
    size_t header = findSection(profile, sectionName);
    const bool sectionFound = header < profile.lines.size();

    // As with the Windows call, no key removes the section and no value
    // removes the key.
    if (key == nullptr) {
        if (!sectionFound) return true;
        profile.lines.erase(profile.lines.begin() + static_cast<long>(header),
                            profile.lines.begin() + static_cast<long>(sectionEnd(profile, header)));
        return storeProfile(path, profile);
    }
    const std::string keyName = trim(key);
    if (value == nullptr) {
        if (!sectionFound) return true;
        const size_t at = findKey(profile, header, keyName);
        if (at == std::string::npos) return true;
        profile.lines.erase(profile.lines.begin() + static_cast<long>(at));
        return storeProfile(path, profile);
    }

    Line entry = parseLine(keyName + "=" + trim(value));
    if (!sectionFound) {
        // A new section goes at the end, after a blank line when the file
        // has content.
        if (!profile.lines.empty() && !trim(profile.lines.back().text).empty()) profile.lines.push_back(Line{});
        profile.lines.push_back(parseLine("[" + sectionName + "]"));
        profile.lines.push_back(entry);
        return storeProfile(path, profile);
    }
    const size_t at = findKey(profile, header, keyName);
    if (at != std::string::npos) {
        profile.lines[at] = entry;
        return storeProfile(path, profile);
    }
    // A new key follows the section's last non-blank line, ahead of any
    // blank lines that separate it from the next section.
    size_t insert = sectionEnd(profile, header);
    while (insert > header + 1 && trim(profile.lines[insert - 1].text).empty()) --insert;
    profile.lines.insert(profile.lines.begin() + static_cast<long>(insert), entry);
    return storeProfile(path, profile);
}

}  // namespace qw::sys
