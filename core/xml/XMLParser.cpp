#include "core/xml/XMLParser.h"

#include "util/Diagnostics.h"

#include <cstdio>
#include <expat.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Corvath::XML {

void XMLParser::endElement(const String&)
{
}

void XMLParser::characters(const String&)
{
}

namespace {

constexpr int ChunkSize = 512;

struct ParseContext {
    XML_Parser expat;
    XMLParser* reader;
    bool failed = false;  // a handler threw; the parse was stopped
    bool tooDeep = false; // elements nested beyond MaxNestingDepth
    int depth = 0;
};

// No exception may travel through expat's C frames: a handler that throws
// stops the parser and the parse is reported as failed.
template <typename F>
void guarded(void* data, F&& f)
{
    auto* ctx = static_cast<ParseContext*>(data);
    if (ctx->failed || ctx->tooDeep)
        return;
    try {
        f(*ctx->reader);
    } catch (...) {
        ctx->failed = true;
        XML_StopParser(ctx->expat, XML_FALSE);
    }
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** atts)
{
    auto* ctx = static_cast<ParseContext*>(data);
    if (ctx->failed || ctx->tooDeep)
        return;
    if (++ctx->depth > MaxNestingDepth) {
        ctx->tooDeep = true;
        XML_StopParser(ctx->expat, XML_FALSE);
        return;
    }
    guarded(data, [&](XMLParser& reader) {
        Attributes attributes;
        for (int i = 0; atts[i] && atts[i + 1]; i += 2)
            attributes.emplace_back(atts[i], decodeByteCodes(atts[i + 1]));
        reader.startElement(name, attributes);
    });
}

void XMLCALL onEnd(void* data, const XML_Char* name)
{
    --static_cast<ParseContext*>(data)->depth;
    guarded(data, [&](XMLParser& reader) { reader.endElement(name); });
}

void XMLCALL onCharacters(void* data, const XML_Char* text, int length)
{
    guarded(data, [&](XMLParser& reader) { reader.characters(String(text, static_cast<size_t>(length))); });
}

// Visual C++ project files declare Windows-1252. It is read as the identity
// map (byte b is code point b), which is what the kit has always done.
int XMLCALL onUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info)
{
    const String encoding(name);
    if (encoding != "Windows-1252" && encoding != "windows-1252")
        return XML_STATUS_ERROR;
    for (int b = 0; b < 256; ++b)
        info->map[b] = b;
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

struct ExpatDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Only a regular file is read: a FIFO would wait for a writer forever, a
// device may never end, and a directory is no document. Opening does not
// wait, whatever the path names.
std::FILE* openRegularFile(const String& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "r");
    if (!file)
        ::close(fd);
    return file;
}

} // namespace

ParseResult parseXMLFile(XMLParser& parser, const String& path)
{
    std::unique_ptr<XML_ParserStruct, ExpatDeleter> expat(XML_ParserCreate(nullptr));
    if (!expat)
        return ParseResult::OpenFailed;
    ParseContext ctx{expat.get(), &parser};
    XML_SetUnknownEncodingHandler(expat.get(), onUnknownEncoding, nullptr);
    XML_SetUserData(expat.get(), &ctx);
    XML_SetElementHandler(expat.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(expat.get(), onCharacters);

    std::unique_ptr<std::FILE, FileCloser> file(openRegularFile(path));
    if (!file) {
        Brask::diag("Failed to load XML file %s\n", path.c_str());
        return ParseResult::OpenFailed;
    }

    char buffer[ChunkSize];
    for (;;) {
        const size_t n = std::fread(buffer, 1, ChunkSize, file.get());
        // A read error ends the document too, so expat always learns where it
        // ends and a cut-short document is reported.
        const bool final = std::feof(file.get()) || std::ferror(file.get());
        if (XML_Parse(expat.get(), buffer, static_cast<int>(n), final ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR
            || ctx.failed || ctx.tooDeep) {
            const char* message = ctx.tooDeep ? "elements nested too deeply"
                : ctx.failed                  ? "internal error while reading"
                                              : XML_ErrorString(XML_GetErrorCode(expat.get()));
            Brask::diag("%s:%lu:  %s", path.c_str(),
                        static_cast<unsigned long>(XML_GetCurrentLineNumber(expat.get())), message);
            return ParseResult::Malformed;
        }
        if (final)
            return ParseResult::Ok;
    }
}

String getAttribute(const Attributes& attributes, const String& name)
{
    for (const auto& [key, value] : attributes)
        if (key == name)
            return value;
    return String();
}

bool hasAttribute(const Attributes& attributes, const String& name)
{
    for (const auto& attribute : attributes)
        if (attribute.first == name)
            return true;
    return false;
}

namespace {

// Bytes that XML cannot carry (control characters, bytes that are not part of
// well-formed UTF-8) are stored as the code points U+10FF00 + byte, four bytes
// F4 8F BC..BF 80..BF in the file. The reader maps every such code point back
// to its byte, so real characters of that private range are stored the same
// way, byte by byte, and every name comes back exactly.
constexpr unsigned char ByteCodeLead1 = 0xF4;
constexpr unsigned char ByteCodeLead2 = 0x8F;
constexpr unsigned char ByteCodeLead3 = 0xBC;

void appendByteCode(String& out, unsigned char byte)
{
    out += static_cast<char>(ByteCodeLead1);
    out += static_cast<char>(ByteCodeLead2);
    out += static_cast<char>(ByteCodeLead3 + (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
}

// Length of the well-formed UTF-8 sequence at `i` that stands for a character
// XML allows and that is not one of the byte codes; 0 when there is none.
size_t xmlCharacterLength(const String& text, size_t i)
{
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    size_t length;
    unsigned long cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF || cp >= 0x10FF00)
        return 0;
    return length;
}

bool needsEscaping(const String& text)
{
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x80 || c == '"' || c == '&' || c == '<')
            return true;
    }
    return false;
}

bool hasByteCodes(const char* text)
{
    for (const char* p = text; *p; ++p)
        if (static_cast<unsigned char>(*p) == ByteCodeLead1)
            return true;
    return false;
}

} // namespace

String escapeAttribute(const String& text)
{
    if (!needsEscaping(text))
        return text;
    String out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = xmlCharacterLength(text, i);
            if (length == 0) {
                appendByteCode(out, c);
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        // A reader turns literal tabs and line ends in attribute values into
        // blanks, so they are written as character references.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default:
            if (c < 0x20)
                appendByteCode(out, c);
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

String decodeByteCodes(const char* text)
{
    if (!hasByteCodes(text))
        return String(text);
    String out;
    for (const char* p = text; *p;) {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        if (u[0] == ByteCodeLead1 && u[1] == ByteCodeLead2 && u[2] >= ByteCodeLead3 && u[2] <= ByteCodeLead3 + 3
            && (u[3] & 0xC0) == 0x80) {
            out += static_cast<char>(((u[2] - ByteCodeLead3) << 6) | (u[3] & 0x3F));
            p += 4;
        } else {
            out += *p++;
        }
    }
    return out;
}

} // namespace Corvath::XML
