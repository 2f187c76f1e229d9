// Runs a call while the process may not make files longer than a limit: a
// write past it stops part-way, as on a full disk.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace qw::test {

template <typename Call>
auto withFileSizeLimit(uint64_t limit, Call call) {
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);  // the write fails instead of ending the process
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &limited);
    auto result = call();
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);
    return result;
}

}  // namespace qw::test
