#pragma once
// The files lintel reads and writes (documented in docs/kit-tools.md).

#include "Assembly.h"

#include <string>
#include <string_view>
#include <vector>

namespace Lintel {

// One named piece of content: a library member or a compiled resource.
struct Entry {
    std::string name;
    std::string content;
};

// Library: "VARNEL-LIBRARY 1", then per member "member SIZE NAME" and SIZE
// bytes of content followed by a line feed, then "end".
std::string writeLibrary(const std::vector<Entry>& members);
// Reads a library; the bytes may be anything, so every size is checked
// against what is there. False with a reason when the file is damaged.
bool readLibrary(const std::string& data, std::vector<Entry>& members, std::string* error);

// Resources: "VARNEL-RESOURCES 1", "count N", then per resource
// "resource INDEX SIZE NAME" and SIZE bytes of content plus a line feed.
std::string writeResources(const std::vector<Entry>& resources);

// Program: "VARNEL-PROGRAM 1", "input PATH" per assembly input, the symbols
// ("function NAME", "object NAME", "label NAME"), "library PATH" per
// library, "entry main" when main is defined, "end".
std::string writeProgram(const std::vector<std::string>& inputs, const std::vector<Symbol>& symbols,
                         const std::vector<std::string>& libraries);

// Reads a whole file; false with errno set when it cannot.
bool readWholeFile(const std::string& path, std::string& content);
// Writes a file through a temporary beside it, so a failed write never
// leaves a half-written output behind. False with a reason.
bool writeWholeFile(const std::string& path, const std::string& content, std::string* error);

// The same piece by piece, for output too big to hold at once: commit()
// puts the file in place; a writer dropped before that leaves nothing.
class FileWriter {
public:
    explicit FileWriter(const std::string& path);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    // False once anything failed; the reason comes with commit().
    bool write(std::string_view data);
    bool commit(std::string* error);

private:
    bool fail(const char* what);

    std::string m_path;
    std::string m_temp;
    std::string m_error;
    int m_fd = -1;
};

} // namespace Lintel
