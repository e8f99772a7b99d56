// x11-screenshot DISPLAY FILE.png [SCREEN]: saves what an X display shows, for the demo and
// for looking at end-to-end runs by eye.
#include "e2e/kit/XvfbSession.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: x11-screenshot DISPLAY FILE.png [SCREEN]\n");
        return 2;
    }
    nimbuscope::e2e::XClient x{QByteArray(argv[1])};
    const QImage shot =
        x.isConnected() ? x.grabScreen(argc > 3 ? std::atoi(argv[3]) : 0) : QImage();
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "x11-screenshot: could not grab %s or save the picture\n", argv[1]);
        return 1;
    }
    return 0;
}
