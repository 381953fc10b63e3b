#pragma once
// Reading the dependency file a gcc-based compiler writes with -MD -MF: a
// make rule "TARGET...: PREREQUISITE..." whose prerequisites are the source
// and every header the compile read.

#include <string>
#include <vector>

namespace Brask {

class DepFile {
public:
    // Larger files are refused: no compile reads that many headers.
    static constexpr size_t kMaxSize = 64 * 1024 * 1024;

    // The prerequisites of every rule in `text`, in order, each once.
    // Escapes as the compiler writes them: "\ " is a blank, "\#" a "#",
    // "$$" a "$", a backslash before a line end joins the lines; any other
    // backslash is part of the name. False with `error` set when the text
    // holds no rule (no target followed by ":") or is too large.
    static bool parse(const std::string& text, std::vector<std::string>& prerequisites, std::string* error);

    // Reads and parses `path`; relative prerequisites are taken relative to
    // `baseDirectory` (the directory the compile ran in, ending in "/").
    static bool read(const std::string& path, const std::string& baseDirectory,
                     std::vector<std::string>& prerequisites, std::string* error);
};

} // namespace Brask
