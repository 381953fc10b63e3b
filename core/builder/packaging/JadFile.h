#pragma once
// The application descriptor (JAD) written beside each Java ME package. A
// phone's browser reads it before the download: it shows the suite's name,
// vendor, version and size, and fetches the JAR from MIDlet-Jar-URL.

#include <cstdint>
#include <string>

namespace Brask {

// OutputDir/ID/NAME.jad for the JAR OutputDir/ID/NAME.jar.
std::string jadPathFor(const std::string& jar);

// `name` + ".jar" as a relative URL: bytes outside the characters a URL
// path may carry (a blank, "%", "#", "?", non-ASCII) are percent-encoded, so
// a phone resolves it against the JAD's own address.
std::string jarUrlFor(const std::string& name);

// The JAD of a JAR whose manifest is `manifest` and whose size is `jarSize`:
// the manifest's MIDlet-Name, MIDlet-Vendor, MIDlet-Version, MIDlet-1,
// MicroEdition-Configuration and MicroEdition-Profile unchanged, then
// MIDlet-Jar-URL and MIDlet-Jar-Size, then MIDlet-Description and
// MIDlet-Icon where the manifest has them. Lines end with CR LF.
std::string jadText(const std::string& manifest, const std::string& jarUrl, uint64_t jarSize);

// The value of `key` in manifest or descriptor text ("Key: value" lines,
// CR LF or LF, continuation lines starting with a blank); false when absent.
bool attributeValue(const std::string& text, const std::string& key, std::string& value);

} // namespace Brask
