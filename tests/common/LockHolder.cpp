// Test helper: holds one instance lock in a separate process until its standard input
// closes (or it is killed). Usage: lock_holder <runtime folder> <name> [--if-free]
// With --if-free it says "ready", waits for a line on its input and then holds the name only
// if nobody else does, so that several helpers can try at the same instant.
#include "platform/InstanceLocks.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    const bool ifFree = argc == 4 && std::strcmp(argv[3], "--if-free") == 0;
    if (argc != 3 && !ifFree) {
        std::fputs("usage: lock_holder <runtime folder> <name> [--if-free]\n", stderr);
        return 2;
    }
    nimbuscope::FileInstanceLocks locks(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    if (ifFree) {
        std::puts("ready");
        std::fflush(stdout);
        char go = 0;
        while (::read(STDIN_FILENO, &go, 1) == 1 && go != '\n') {
        }
    }
    const auto hold = ifFree ? locks.acquireIfFree(name) : locks.acquire(name);
    std::puts(hold ? "held" : "failed");
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return hold ? 0 : 1;
}
