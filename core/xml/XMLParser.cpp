#include "core/xml/XMLParser.h"

#include "util/Diagnostics.h"

#include <cstdio>
#include <expat.h>
#include <memory>

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
};

// No exception may travel through expat's C frames: a handler that throws
// stops the parser and the parse is reported as failed.
template <typename F>
void guarded(void* data, F&& f)
{
    auto* ctx = static_cast<ParseContext*>(data);
    if (ctx->failed)
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
    guarded(data, [&](XMLParser& reader) {
        Attributes attributes;
        for (int i = 0; atts[i] && atts[i + 1]; i += 2)
            attributes.emplace_back(atts[i], atts[i + 1]);
        reader.startElement(name, attributes);
    });
}

void XMLCALL onEnd(void* data, const XML_Char* name)
{
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

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
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
            || ctx.failed) {
            const char* message = ctx.failed ? "internal error while reading"
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

String escapeAttribute(const String& text)
{
    if (text.find_first_of("\"&<\t\n\r") == String::npos)
        return text;
    String out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        // A reader turns literal tabs and line ends in attribute values into
        // blanks, so they are written as character references.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace Corvath::XML
