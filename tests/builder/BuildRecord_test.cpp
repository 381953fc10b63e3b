// The files Build Changed reads: the compiler's dependency lists and its own
// build record, whole and damaged.

#include "core/builder/BuildRecord.h"
#include "core/builder/DepFile.h"
#include "support/TestSupport.h"
#include "util/Version.h"

#include <gtest/gtest.h>

namespace {

using Brask::BuildRecord;
using Brask::DepFile;

TEST(DepFile, ReadsWhatTheCompilerWrites)
{
    struct Row {
        const char* text;
        bool valid;
        std::vector<std::string> prerequisites;
    };
    const Row rows[] = {
        {"/o/main.s: /p/main.c /p/a.h \\\n /usr/include/stdio.h\n", true, {"/p/main.c", "/p/a.h", "/usr/include/stdio.h"}},
        {"main.s: my\\ file.c dir/\\#x.h cost$$.h c:\\dir\\y.h\n", true, {"my file.c", "dir/#x.h", "cost$.h", "c:\\dir\\y.h"}},
        {"a.s b.s: x.h \\\r\n y.h\r\n", true, {"x.h", "y.h"}},
        {"main.s: a.h b.h\na.h:\nb.h: a.h c.h\n", true, {"a.h", "b.h", "c.h"}},
        {"main.s:", true, {}},
        {"main.s: a.h", true, {"a.h"}},
        {"", false, {}},
        {"main.s a.h\n", false, {}},
        {": a.h\n", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::vector<std::string> prerequisites;
        std::string error;
        EXPECT_EQ(DepFile::parse(row.text, prerequisites, &error), row.valid) << error;
        EXPECT_EQ(error.empty(), row.valid) << error;
        if (row.valid) {
            EXPECT_EQ(prerequisites, row.prerequisites);
        }
    }
}

// A record of two entries, read back whole and cut or damaged at every byte.
TEST(BuildRecord, DamageIsFoundAndWhatPrecedesItKept)
{
    Brask::RecordedStep first{"xgcc -o a.s a.c", {{"/p/a.c", {true, 12, 1700000000, 5}}}, {{"/o/a.s", {true, 40, 1700000001, 9}}}};
    Brask::RecordedStep second{"lintel a.s", {{"/o/a.s", {true, 40, 1700000001, 9}}, {"/lib/x.lib", {}}}, {}};
    const std::string header = BuildRecord::encodeHeader(Brask::VarBuildVersion);
    const std::string one = BuildRecord::encodeEntry("/o/a.s", first);
    const std::string bytes = header + one + BuildRecord::encodeEntry("link", second);

    std::map<std::string, Brask::RecordedStep> entries;
    std::string problem;
    ASSERT_EQ(BuildRecord::decode(bytes, Brask::VarBuildVersion, entries, &problem), BuildRecord::Status::Read);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries["link"].command, "lintel a.s");
    EXPECT_FALSE(entries["link"].inputs[1].second.exists);
    EXPECT_EQ(entries["/o/a.s"].outputs[0].second, first.outputs[0].second);

    entries.clear();
    EXPECT_EQ(BuildRecord::decode(bytes, "another version", entries, &problem), BuildRecord::Status::OtherVersion);
    for (size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        entries.clear();
        problem.clear();
        const std::string cut = bytes.substr(0, size);
        const BuildRecord::Status status = BuildRecord::decode(cut, Brask::VarBuildVersion, entries, &problem);
        EXPECT_EQ(status, size == header.size() || size == header.size() + one.size() ? BuildRecord::Status::Read
                                                                                       : BuildRecord::Status::Damaged);
        EXPECT_EQ(entries.size(), size >= header.size() + one.size() ? 1u : 0u);
        EXPECT_EQ(problem.empty(), status == BuildRecord::Status::Read) << problem;

        // A flipped byte inside the entries is caught by their checksums
        // (or, in a length, by the framing).
        if (size < header.size())
            continue;
        std::string flipped = bytes;
        flipped[size] = static_cast<char>(flipped[size] ^ 0x20);
        entries.clear();
        EXPECT_EQ(BuildRecord::decode(flipped, Brask::VarBuildVersion, entries, &problem), BuildRecord::Status::Damaged);
        EXPECT_EQ(entries.size(), size >= header.size() + one.size() ? 1u : 0u);
    }
}

} // namespace
