#pragma once
// The event-driven XML reading layer over libexpat that all readers of the kit
// (project, Visual C++ project, configuration) derive from.

#include "kvutil/KVUtil.h"

#include <utility>

namespace Corvath::XML {

using KVUtil::String;

// Attribute (name, value) pairs in document order, UTF-8.
using Attributes = KVUtil::Vector<std::pair<String, String>>;

class XMLParser {
public:
    virtual ~XMLParser() = default;
    virtual void startElement(const String& name, const Attributes& attributes) = 0;
    virtual void endElement(const String& name);
    virtual void characters(const String& text);
};

enum class ParseResult {
    Ok,          // the whole document was read
    OpenFailed,  // no events were delivered
    Malformed,   // events before the error were delivered, none after
};

// Elements nested deeper than this make a document damaged: nothing deeper is
// delivered, and the parse ends as for malformed XML. Far beyond any real
// project, it bounds the depth of every tree built from a file.
constexpr int MaxNestingDepth = 256;

// Reads the file at `path` in 512-byte chunks and delivers its events to
// `parser`. Failures are reported as diagnostic lines: "Failed to load XML
// file PATH" or "PATH:LINE:  MESSAGE" (the latter without a line feed).
ParseResult parseXMLFile(XMLParser& parser, const String& path);

// Value of the first attribute called `name`, or the empty text.
String getAttribute(const Attributes& attributes, const String& name);
bool hasAttribute(const Attributes& attributes, const String& name);

// Escapes the characters that XML reserves in attribute values (" & <) and
// the blanks a reader would normalise (tab, line feed, carriage return), and
// stores every byte that XML cannot carry (other control characters, bytes
// that are not well-formed UTF-8) as a byte code that parseXMLFile turns back
// into that byte. Text without any of these comes back unchanged.
String escapeAttribute(const String& text);

// The byte codes of escapeAttribute turned back into their bytes. Every
// attribute value that parseXMLFile delivers has been through it.
String decodeByteCodes(const char* text);

} // namespace Corvath::XML
