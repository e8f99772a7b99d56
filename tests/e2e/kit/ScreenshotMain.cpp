// x11-screenshot DISPLAY FILE.png [SCREEN]: saves what an X display shows, for the demo and
// for looking at end-to-end runs by eye.

#include "e2e/kit/XClient.h"

#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: x11-screenshot DISPLAY FILE.png [SCREEN]\n");
        return 2;
    }
    nimbuscope::e2e::XClient x{QByteArray(argv[1])};
    if (!x.isConnected()) {
        std::fprintf(stderr, "x11-screenshot: cannot open display %s\n", argv[1]);
        return 1;
    }
    const int screen = argc > 3 ? std::atoi(argv[3]) : 0;
    const QImage shot = x.grabScreen(screen);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "x11-screenshot: could not grab or save the screen\n");
        return 1;
    }
    return 0;
}
