#include "core/builder/DepFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace Brask {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

bool DepFile::parse(const std::string& text, std::vector<std::string>& prerequisites, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (text.size() > kMaxSize)
        return fail("the dependency file is larger than " + std::to_string(kMaxSize) + " bytes");

    std::set<std::string> seen;
    std::string word;
    bool inWord = false;
    // Before the rule's ":" the words are targets; after it, prerequisites
    // until the line ends.
    bool afterColon = false;
    bool lineHasTargets = false;
    bool anyRule = false;
    int line = 1;

    auto endWord = [&] {
        if (!inWord)
            return;
        if (afterColon) {
            if (seen.insert(word).second)
                prerequisites.push_back(word);
        } else {
            lineHasTargets = true;
        }
        word.clear();
        inWord = false;
    };
    auto endLine = [&]() -> bool {
        endWord();
        if (lineHasTargets && !afterColon)
            return false;
        afterColon = false;
        lineHasTargets = false;
        ++line;
        return true;
    };

    const size_t size = text.size();
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        const char next = i + 1 < size ? text[i + 1] : '\0';
        if (c == '\\' && (next == '\n' || (next == '\r' && i + 2 < size && text[i + 2] == '\n'))) {
            // A continued line: the break only separates words.
            endWord();
            i += next == '\n' ? 1 : 2;
            ++line;
        } else if (c == '\\' && (next == ' ' || next == '#' || next == '\t')) {
            word += next;
            inWord = true;
            ++i;
        } else if (c == '$' && next == '$') {
            word += '$';
            inWord = true;
            ++i;
        } else if (c == '\n') {
            if (!endLine())
                return fail("line " + std::to_string(line) + ": a target without \":\"");
        } else if (isBlank(c)) {
            endWord();
        } else if (c == ':' && !afterColon && (next == '\0' || isBlank(next) || next == '\n')) {
            endWord();
            if (!lineHasTargets)
                return fail("line " + std::to_string(line) + ": \":\" without a target");
            afterColon = true;
            anyRule = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!endLine())
        return fail("line " + std::to_string(line) + ": a target without \":\"");
    if (!anyRule)
        return fail("the dependency file holds no rule");
    return true;
}

bool DepFile::read(const std::string& path, const std::string& baseDirectory,
                   std::vector<std::string>& prerequisites, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > kMaxSize) {
        if (error)
            *error = path + ": the dependency file is larger than " + std::to_string(kMaxSize) + " bytes";
        return false;
    }
    in.seekg(0);
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::string> names;
    std::string why;
    if (!parse(text.str(), names, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    for (std::string& name : names)
        prerequisites.push_back(name[0] == '/' ? std::move(name) : baseDirectory + name);
    return true;
}

} // namespace Brask
