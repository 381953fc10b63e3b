#pragma once
// Everything the output pane was given since it was last cleared, kept in an
// unnamed temporary file rather than in memory: the pane shows only a
// bounded tail, and "Save output..." copies the whole of it from here.

#include <cstdio>
#include <mutex>
#include <string>

class OutputTranscript {
public:
    OutputTranscript();
    ~OutputTranscript();
    OutputTranscript(const OutputTranscript&) = delete;
    OutputTranscript& operator=(const OutputTranscript&) = delete;

    // Any thread.
    void append(const char* data, size_t size);
    void append(const std::string& text) { append(text.data(), text.size()); }
    void clear();
    // Bytes appended since the last clear.
    unsigned long long size() const;

    // Copies the transcript to `path` (replacing it whole or not at all);
    // false with a reason when that fails or when part of the output could
    // not be kept (the temporary file's disk was full).
    bool saveTo(const std::string& path, std::string* error) const;

private:
    mutable std::mutex m_lock;
    std::FILE* m_file = nullptr;
    unsigned long long m_size = 0;
    bool m_incomplete = false;
};
