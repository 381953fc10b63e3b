#include "delivery/DeliveryPages.h"

#include <cctype>
#include <cstdio>

namespace Delivery {

std::string printable(const std::string& text, size_t limit)
{
    std::string shown;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        shown += c < 0x20 || c >= 0x7f ? '?' : static_cast<char>(c);
    }
    if (text.size() > limit)
        shown += "...";
    return shown;
}

std::string percentEncode(const std::string& segment)
{
    std::string out;
    for (const unsigned char c : segment) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

bool percentDecode(const std::string& text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return false;
        const char c = static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        if (c == '\0' || c == '/')
            return false;
        out += c;
        i += 2;
    }
    return true;
}

std::string htmlEscape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

// Compares without stopping at the first difference, so the time taken
// tells nothing about how much of a guessed token was right.
bool sameToken(const std::string& a, const std::string& b)
{
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::vector<std::string> segments(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            return parts;
        start = slash + 1;
    }
}

} // namespace

Route routeFor(const std::string& uri, const std::string& token, const std::string& name)
{
    Route route;
    const std::string path = uri.substr(0, uri.find_first_of("?#"));
    if (path.size() < token.size() + 2 || path[0] != '/' || path[token.size() + 1] != '/'
        || !sameToken(path.substr(1, token.size()), token))
        return route;
    const std::string rest = path.substr(token.size() + 2);
    if (rest.empty()) {
        route.kind = Route::Landing;
        return route;
    }
    std::vector<std::string> parts = segments(rest);
    if (parts.size() != 2)
        return route;
    std::string first, second;
    if (!percentDecode(parts[0], first) || !percentDecode(parts[1], second) || first.empty() || first == "."
        || first == "..")
        return route;
    if (parts[0] == "notify") {
        route.kind = Route::Notify;
        route.identifier = second;
    } else if (second == name + ".jad") {
        route.kind = Route::Descriptor;
        route.identifier = first;
    } else if (second == name + ".jar") {
        route.kind = Route::Archive;
        route.identifier = first;
    }
    return route;
}

namespace {

std::string sizeText(uint64_t bytes)
{
    char text[64];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>((bytes + 1023) / 1024));
    return text;
}

std::string timeText(time_t when)
{
    struct tm local{};
    char text[64] = "";
    if (localtime_r(&when, &local))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M %Z", &local);
    return text;
}

} // namespace

std::string landingPage(const std::string& projectName, const std::vector<PackageView>& packages)
{
    const std::string title = htmlEscape(projectName);
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width\">"
                       "<title>" + title + "</title></head>\n<body>\n<h1>" + title + "</h1>\n";
    for (const PackageView& view : packages) {
        const DeliveryPackage& package = *view.package;
        const std::string runtime = "Runtime " + htmlEscape(package.identifier);
        std::string devices;
        for (const std::string& device : package.devices)
            devices += (devices.empty() ? "" : ", ") + htmlEscape(device);
        page += "<p>";
        if (view.built)
            page += "<a href=\"" + percentEncode(package.identifier) + "/" + percentEncode(projectName + ".jad")
                + "\">" + runtime + "</a><br>\n" + devices + "<br>\n" + sizeText(view.jarSize) + " ("
                + std::to_string(view.jarSize) + " bytes), built " + htmlEscape(timeText(view.builtAt));
        else
            page += runtime + ": not built yet<br>\n" + devices;
        page += "</p>\n";
    }
    if (packages.empty())
        page += "<p>No package to install.</p>\n";
    return page + "</body></html>\n";
}

std::string servedDescriptor(const std::string& jad, const std::string& notifyUrl)
{
    std::string served = jad;
    if (!served.empty() && served.back() != '\n')
        served += "\r\n";
    return served + "MIDlet-Install-Notify: " + notifyUrl + "\r\n";
}

bool installStatus(const std::string& body, std::string& status)
{
    std::string line = body.substr(0, body.find_first_of("\r\n"));
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        return false;
    line = line.substr(start);
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0]))
        || !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2]))
        || (line.size() > 3 && line[3] != ' '))
        return false;
    const size_t end = line.find_last_not_of(" \t");
    status = printable(line.substr(0, end + 1), 200);
    return true;
}

std::string installReportLine(const std::string& client, const std::string& projectName,
                              const std::string& identifier, const std::string& status)
{
    const char* verb = status.compare(0, 3, "900") == 0 ? " installed " : " did not install ";
    return client + verb + printable(projectName) + " (runtime " + printable(identifier) + "): " + status;
}

} // namespace Delivery
