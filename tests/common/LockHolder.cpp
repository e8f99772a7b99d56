// Test helper: holds one instance lock in a separate process until its standard input
// closes (or it is killed). Usage: lock_holder <runtime folder> <name>
#include "platform/InstanceLocks.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: lock_holder <runtime folder> <name>\n", stderr);
        return 2;
    }
    nimbuscope::FileInstanceLocks locks(QString::fromLocal8Bit(argv[1]));
    const auto hold = locks.acquire(QString::fromLocal8Bit(argv[2]));
    std::puts(hold ? "held" : "failed");
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return hold ? 0 : 1;
}
