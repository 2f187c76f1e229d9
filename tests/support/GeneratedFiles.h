// A set of files that a script makes with everyday tools into the build folder on first use (the script keeps what
// exists) and lists, one name a line.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace qw::test {

struct FileSet {
    std::string dir;
    std::vector<std::string> files;
    std::string problem;  // why there are no files, when there are none
};

// Runs scripts/SCRIPT.sh into the build folder's NAME and reads its NAME.list.
inline FileSet makeFileSet(const std::string& script, const std::string& name) {
    FileSet set{QW_BUILD_DIR "/" + name, {}, {}};
    const int status = std::system(
        ("bash '" QW_SAMPLES_DIR "/../scripts/" + script + ".sh' '" + set.dir + "' >'" + set.dir + ".log' 2>&1")
            .c_str());
    if (status != 0) {
        set.problem = script + ".sh failed (exit " + std::to_string(status) + "), see " + set.dir + ".log";
        return set;
    }
    std::ifstream list(set.dir + "/" + name + ".list");
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) set.files.push_back(line);
    if (set.files.empty()) set.problem = "an empty list in " + set.dir;
    return set;
}

}  // namespace qw::test
