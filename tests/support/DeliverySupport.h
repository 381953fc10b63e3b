#pragma once
// What the over-the-air tests share: a built copy of the demo project, real
// HTTP clients (curl, wget, headless chromium) and a real QR decoder
// (zbarimg), all bounded in time and aimed at 127.0.0.1 only.

#include <string>
#include <vector>

namespace TestSupport {

// `text` quoted for /bin/sh.
std::string shellQuoted(const std::string& text);

// Copies the kit's demo project (three runtimes) to DIR/demo and builds it
// with the kit's varbuild-cli; the project file, or "" with the build's
// output in `log`.
std::string buildDemoCopy(const std::string& kit, const std::string& dir, std::string* log);

struct HttpReply {
    int status = 0; // 0: no answer (refused, closed, timed out)
    std::string headers;
    std::string body;
    // The value of the last header `name` (case-insensitive), "" when absent.
    std::string header(const std::string& name) const;
};

// curl `url` with `options` (shell words) within 10 seconds.
HttpReply curl(const std::string& url, const std::string& options = "");
// wget `url` within 10 seconds; the server's headers come from -S.
HttpReply wget(const std::string& url);

// The "Key: value" attributes of a manifest or descriptor, in order.
std::vector<std::pair<std::string, std::string>> attributes(const std::string& text);

// What zbarimg reads from the image at `path`: the text of its first code,
// "" when it finds none.
std::string decodeQrImage(const std::string& path);
// Writes the QR code that varbuild-cli printed with block characters
// (the lines of `text` made only of blanks and blocks) as a PBM image.
bool terminalQrToImage(const std::string& text, const std::string& path);

// Loads `landing` in headless chromium and follows every link on it as a
// browser resolves them: each JAD, then the JAR its MIDlet-Jar-URL names.
// One line per link: "TEXT|JAD status|JAD type|JAR status|JAR type|MIDlet-Jar-Size|JAR bytes".
std::string followWithChromium(const std::string& landing, const std::string& workDir);

} // namespace TestSupport
