#pragma once
// Recognises compiler messages of the form file:line:... in the output pane.

#include <optional>
#include <string>

struct ErrorLocation {
    std::string file;
    int line = 0;
};

// The file and line named by `text`, or nothing when it is not a compiler
// message. A colon followed by "/" or "\" belongs to the file part (drive
// letters, URLs); the text up to the next colon must be all digits, except
// when no further colon follows, which accepts the line as it is.
std::optional<ErrorLocation> parseErrorLine(const std::string& text);
