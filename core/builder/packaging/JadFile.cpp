#include "core/builder/packaging/JadFile.h"

#include <cstdio>

namespace Brask {

std::string jadPathFor(const std::string& jar)
{
    const std::string suffix = ".jar";
    if (jar.size() >= suffix.size() && jar.compare(jar.size() - suffix.size(), suffix.size(), suffix) == 0)
        return jar.substr(0, jar.size() - suffix.size()) + ".jad";
    return jar + ".jad";
}

std::string jarUrlFor(const std::string& name)
{
    static const std::string kept = "-._~!$&'()*+,;=:@";
    std::string url;
    for (const unsigned char c : name + ".jar") {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || kept.find(c) != std::string::npos) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}

bool attributeValue(const std::string& text, const std::string& key, std::string& value)
{
    bool found = false;
    bool inValue = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == ' ') {
            // A continuation belongs to the attribute before it.
            if (inValue)
                value += line.substr(1);
            continue;
        }
        inValue = false;
        if (found)
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || line.compare(0, colon, key) != 0 || colon != key.size())
            continue;
        const size_t start = line.find_first_not_of(' ', colon + 1);
        value = start == std::string::npos ? std::string() : line.substr(start);
        found = inValue = true;
    }
    return found;
}

std::string jadText(const std::string& manifest, const std::string& jarUrl, uint64_t jarSize)
{
    std::string jad;
    auto line = [&jad](const std::string& key, const std::string& value) { jad += key + ": " + value + "\r\n"; };
    auto copy = [&](const char* key) {
        std::string value;
        if (attributeValue(manifest, key, value))
            line(key, value);
    };
    for (const char* key : {"MIDlet-Name", "MIDlet-Vendor", "MIDlet-Version", "MIDlet-1",
                            "MicroEdition-Configuration", "MicroEdition-Profile"})
        copy(key);
    line("MIDlet-Jar-URL", jarUrl);
    line("MIDlet-Jar-Size", std::to_string(jarSize));
    copy("MIDlet-Description");
    copy("MIDlet-Icon");
    return jad;
}

} // namespace Brask
