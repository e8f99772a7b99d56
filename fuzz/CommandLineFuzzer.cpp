// The command-line parser over arbitrary text; NUL bytes split the input into arguments.
#include "FuzzSupport.h"

#include "shell/CommandLine.h"

using namespace nimbuscope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytesOf(data, size));
    const CommandLine parsed = parseCommandLine(text);
    // Only the first two characters pick the mode. (Lower-casing may lengthen them: "İ"
    // becomes "i" and a combining dot, which no mode begins with.)
    if (!(parseCommandLine(text.left(2)).mode == parsed.mode)) {
        abort();
    }
    leadingNumber(text);
    parseCommandLine(commandLineFromArguments(text.split(QChar(0))));
    return 0;
}
