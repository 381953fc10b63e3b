// bin/Ombra: stands in for the kit's phone emulator so Build and Run works
// in the demo installation.
//
//   Ombra -program FILE -resource FILE -resolution WIDTH HEIGHT

#include "EmulatorWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const Usage =
    "Usage: Ombra -program FILE -resource FILE -resolution WIDTH HEIGHT\n"
    "\n"
    "Stand-in for the Varnel kit's phone emulator. It opens a window with a\n"
    "screen of WIDTH x HEIGHT pixels (128 to 1024, otherwise 240 x 320) and shows\n"
    "the program and resource files it was given, with their sizes or that they\n"
    "are missing. It runs nothing; a real kit's emulator replaces it.\n";

int dimension(const char* text, int fallback)
{
    const long value = std::strtol(text, nullptr, 10);
    return value >= 128 && value <= 1024 ? int(value) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    QString program, resources;
    int width = 240, height = 320;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "-program") == 0 && i + 1 < argc) {
            program = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "-resource") == 0 && i + 1 < argc) {
            resources = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "-resolution") == 0 && i + 2 < argc) {
            width = dimension(argv[++i], 240);
            height = dimension(argv[++i], 320);
        } else {
            std::fprintf(stderr, "Ombra: unexpected argument %s\n\n%s", arg, Usage);
            return 2;
        }
    }

    QApplication app(argc, argv);
    EmulatorWindow window(program, resources, width, height);
    window.show();
    return app.exec();
}
