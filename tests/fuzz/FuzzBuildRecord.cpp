// Fuzz target: reading Build Changed's record in Output, which a crash, a
// full disk or another program may have cut short or damaged.
//
// What must hold: no crash; a damaged record says where; the entries read
// (from a whole record, or before the damage of a damaged one), written
// again, read back whole and the same; and in such a record a changed byte
// of the last entry, or a last byte cut off, reads as damaged.

#include "FuzzSupport.h"
#include "core/builder/BuildRecord.h"

#include <cstdlib>

namespace {

// The version the fuzz corpus's records were written by.
const std::string Version = "fuzz";

using Entries = std::map<std::string, Brask::RecordedStep>;

Brask::BuildRecord::Status decode(const std::string& bytes, Entries& entries, std::string& problem)
{
    entries.clear();
    problem.clear();
    return Brask::BuildRecord::decode(bytes, Version, entries, &problem);
}

std::string encode(const Entries& entries, std::size_t& lastEntry)
{
    std::string bytes = Brask::BuildRecord::encodeHeader(Version);
    lastEntry = bytes.size();
    for (const auto& [key, step] : entries) {
        lastEntry = bytes.size();
        bytes += Brask::BuildRecord::encodeEntry(key, step);
    }
    return bytes;
}

void mustBeDamaged(const std::string& bytes)
{
    Entries entries;
    std::string problem;
    if (decode(bytes, entries, problem) != Brask::BuildRecord::Status::Damaged || problem.empty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Status = Brask::BuildRecord::Status;
    const std::string input(reinterpret_cast<const char*>(data), size);
    Entries entries;
    std::string problem;
    const Status status = decode(input, entries, problem);
    Fuzz::reachedChecks();
    if (status == Status::Damaged && problem.empty())
        std::abort();
    if (status != Status::Read && status != Status::Damaged)
        return 0;

    std::size_t lastEntry = 0;
    const std::string written = encode(entries, lastEntry);
    Entries reread;
    std::size_t unused = 0;
    if (decode(written, reread, problem) != Status::Read || encode(reread, unused) != written)
        std::abort();
    if (entries.empty())
        return 0;
    // Past the last entry's length field: the checksum or the payload.
    std::string changed = written;
    const std::size_t at = lastEntry + 4 + (size ? data[0] : 0) % (written.size() - lastEntry - 4);
    changed[at] = static_cast<char>(changed[at] ^ (size > 1 && data[1] ? data[1] : 1));
    mustBeDamaged(changed);
    mustBeDamaged(written.substr(0, written.size() - 1));
    return 0;
}
