#pragma once
// Writes small stored (uncompressed) zip archives byte by byte, so a test can
// make entries that Info-ZIP's own zip refuses to make: "../x", "/etc/x",
// backslashes, odd file modes, a wrong checksum, a size that lies, a
// central directory in another order than the entries' data.

#include <cstdint>
#include <string>
#include <vector>

namespace NetTest {

class ZipWriter {
public:
    // `mode` is the Unix st_mode kept in the entry's external attributes
    // (0100644 a file, 040755 a directory, 0120777 a symbolic link whose
    // content is its target; 0644 alone has no file type). `listedSize`,
    // when not negative, is the uncompressed size the entry claims.
    void add(const std::string& name, const std::string& content, uint32_t mode = 0100644, bool badCrc = false,
             long long listedSize = -1)
    {
        const uint32_t listed = static_cast<uint32_t>(listedSize < 0 ? content.size() : listedSize);
        Entry e{name, content, mode, crc32(content) ^ (badCrc ? 0xffffffffu : 0u), 0, listed};
        e.offset = static_cast<uint32_t>(m_data.size());
        put32(m_data, 0x04034b50);
        put16(m_data, 20);
        put16(m_data, 0);
        put16(m_data, 0);  // stored
        put16(m_data, 0);  // time
        put16(m_data, (40 << 9) | (1 << 5) | 1);  // 2020-01-01
        put32(m_data, e.crc);
        put32(m_data, static_cast<uint32_t>(content.size()));
        put32(m_data, listed);
        put16(m_data, static_cast<uint16_t>(name.size()));
        put16(m_data, 0);
        m_data += name;
        m_data += content;
        m_entries.push_back(e);
    }

    // `reversed`: the central directory lists the entries last to first.
    std::string bytes(bool reversed = false) const
    {
        std::string out = m_data;
        const uint32_t start = static_cast<uint32_t>(out.size());
        std::vector<Entry> entries = m_entries;
        if (reversed)
            entries.assign(m_entries.rbegin(), m_entries.rend());
        for (const Entry& e : entries) {
            put32(out, 0x02014b50);
            put16(out, (3 << 8) | 20);  // made on Unix
            put16(out, 20);
            put16(out, 0);
            put16(out, 0);
            put16(out, 0);
            put16(out, (40 << 9) | (1 << 5) | 1);
            put32(out, e.crc);
            put32(out, static_cast<uint32_t>(e.content.size()));
            put32(out, e.listed);
            put16(out, static_cast<uint16_t>(e.name.size()));
            put16(out, 0);
            put16(out, 0);
            put16(out, 0);
            put16(out, 0);
            put32(out, e.mode << 16);
            put32(out, e.offset);
            out += e.name;
        }
        const uint32_t size = static_cast<uint32_t>(out.size()) - start;
        put32(out, 0x06054b50);
        put16(out, 0);
        put16(out, 0);
        put16(out, static_cast<uint16_t>(m_entries.size()));
        put16(out, static_cast<uint16_t>(m_entries.size()));
        put32(out, size);
        put32(out, start);
        put16(out, 0);
        return out;
    }

private:
    struct Entry {
        std::string name;
        std::string content;
        uint32_t mode;
        uint32_t crc;
        uint32_t offset;
        uint32_t listed;
    };

    static void put16(std::string& out, uint32_t v)
    {
        out += static_cast<char>(v & 0xff);
        out += static_cast<char>((v >> 8) & 0xff);
    }
    static void put32(std::string& out, uint32_t v)
    {
        put16(out, v & 0xffff);
        put16(out, v >> 16);
    }
    static uint32_t crc32(const std::string& data)
    {
        uint32_t crc = 0xffffffffu;
        for (unsigned char c : data) {
            crc ^= c;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    }

    std::string m_data;
    std::vector<Entry> m_entries;
};

} // namespace NetTest
