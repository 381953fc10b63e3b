#pragma once
// The up-to-date record of Build Changed: for each build step that last
// succeeded, the text of its command lines and the state (size and
// modification time to the nanosecond) of every file it read and wrote at
// that moment. A step whose record still matches the files need not run.
//
// The record is one file in the project's Output directory. It starts with a
// header (a magic word, the record's format version and the VarBuild version
// that wrote it) followed by entries, each framed by its length and a CRC-32,
// so a torn or damaged tail is recognised instead of misread. An entry is
// appended with one write after its step succeeds; a later entry for the
// same step replaces an earlier one. The file is rewritten whole (atomically)
// when it holds too many replaced entries or when what was read was damaged.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Brask {

struct FileState {
    bool exists = false;
    uint64_t size = 0;
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;

    bool operator==(const FileState& other) const
    {
        return exists == other.exists && size == other.size && seconds == other.seconds
            && nanoseconds == other.nanoseconds;
    }
    bool operator!=(const FileState& other) const { return !(*this == other); }

    // The file's state now (following symbolic links); a file that cannot be
    // examined counts as missing.
    static FileState of(const std::string& path);
};

using FileStates = std::vector<std::pair<std::string, FileState>>;

struct RecordedStep {
    std::string command;
    FileStates inputs;
    FileStates outputs;
};

class BuildRecord {
public:
    static constexpr uint32_t kFormatVersion = 1;
    // The record's file name in the Output directory.
    static constexpr const char* kFileName = ".varbuild-record";
    // Larger records are not read: something else has been written there.
    static constexpr uint64_t kMaxSize = 512ull * 1024 * 1024;

    enum class Status {
        Missing,       // no record yet: every step runs
        Read,          // every entry read
        OtherVersion,  // written by another version of VarBuild: every step runs
        Damaged,       // the entries before the damage were read; problem() says where
    };

    // `path`: the record file.
    explicit BuildRecord(std::string path);

    Status load();
    Status status() const { return m_status; }
    // For a damaged record: what is wrong and where, e.g. "entry 3 at byte
    // 4711 does not match its checksum".
    const std::string& problem() const { return m_problem; }
    const std::string& path() const { return m_path; }

    const RecordedStep* find(const std::string& key) const;
    const std::map<std::string, RecordedStep>& entries() const { return m_entries; }

    // Keeps `step` as the record of `key` and adds it to the file. The first
    // store after reading a damaged record, or one from another version,
    // rewrites the file whole first. False with `error` when the file cannot
    // be written; the entry is then kept in memory only.
    bool store(const std::string& key, RecordedStep step, std::string* error = nullptr);
    // Rewrites the file with one entry per step when replaced entries make up
    // most of it. False with `error` when that fails (the old file stays).
    bool compactIfLarge(std::string* error = nullptr);
    bool rewrite(std::string* error = nullptr);

    // The file's bytes for a header and for one entry; decode() reads what
    // they make. Exposed for the tests of damaged records.
    static std::string encodeHeader(const std::string& programVersion);
    static std::string encodeEntry(const std::string& key, const RecordedStep& step);
    static Status decode(const std::string& bytes, const std::string& programVersion,
                         std::map<std::string, RecordedStep>& entries, std::string* problem);

private:
    bool append(const std::string& bytes, std::string* error);

    std::string m_path;
    Status m_status = Status::Missing;
    std::string m_problem;
    std::map<std::string, RecordedStep> m_entries;
    // Whether the file on disk holds exactly a header and whole entries, so
    // new entries may be appended to it.
    bool m_appendable = false;
    uint64_t m_fileSize = 0;
};

} // namespace Brask
