#pragma once
// Reads the .vcxproj.filters file that Visual Studio keeps beside an MSBuild
// project: the folders ("filters") it declares, and the folder of each item.

#include "core/xml/XMLParser.h"

#include <unordered_map>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class VcxprojFilters : public Corvath::XML::XMLParser {
public:
    explicit VcxprojFilters(const String& path);

    Corvath::XML::ParseResult result() const { return m_result; }
    // Folder paths as declared, in file order, each nested by backslashes.
    const Vector<String>& declared() const { return m_declared; }
    // The folder path of the item `include`, or nullptr when the file does
    // not place it. Each item found is marked as used.
    const String* folderOf(const String& include);
    // Items the file places that folderOf was never asked for.
    Vector<String> unusedItems() const;

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;
    void characters(const String& text) override;

    // Windows names files without regard to case or separator: the key under
    // which an item path is looked up.
    static String itemKey(const String& include);

private:
    struct Placement {
        String include;  // as written, for messages
        String folder;
        bool used = false;
    };

    Vector<String> m_open;        // names of the open elements
    String m_item;                // Include of the open item element
    String m_text;                // character data of an open item's Filter
    bool m_inItemFilter = false;
    std::unordered_map<String, size_t> m_index;  // itemKey -> m_placements
    Vector<Placement> m_placements;
    Vector<String> m_declared;
    Corvath::XML::ParseResult m_result;
};

} // namespace Brask
