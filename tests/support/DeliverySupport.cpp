#include "support/DeliverySupport.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace TestSupport {

std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string buildDemoCopy(const std::string& kit, const std::string& dir, std::string* log)
{
    std::filesystem::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/demo", dir + "/demo",
                          std::filesystem::copy_options::recursive);
    const std::string project = dir + "/demo/demo.vnp";
    const ShellRun run = runShell("VARNELDIR=" + shellQuoted(kit) + " " + shellQuoted(kit + "/bin/varbuild-cli")
                                  + " build " + shellQuoted(project) + " </dev/null 2>&1");
    if (log)
        *log = run.output;
    return run.status == 0 ? project : std::string();
}

std::string HttpReply::header(const std::string& name) const
{
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    std::string value;
    std::istringstream lines(headers);
    for (std::string line; std::getline(lines, line);) {
        // wget -S indents the server's lines.
        line.erase(0, line.find_first_not_of(" \t"));
        const size_t colon = line.find(':');
        if (colon == std::string::npos || lower(line.substr(0, colon)) != lower(name))
            continue;
        value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t\r") + 1);
    }
    return value;
}

namespace {

HttpReply fetch(const std::string& command, const std::string& headerFile, const std::string& bodyFile)
{
    const ShellRun run = runShell(command);
    HttpReply reply;
    reply.headers = exists(headerFile) ? readFile(headerFile) : std::string();
    reply.body = exists(bodyFile) ? readFile(bodyFile) : std::string();
    // The status of the last response (after a 100 Continue).
    const size_t at = reply.headers.rfind("HTTP/1.");
    if (at != std::string::npos && at + 12 <= reply.headers.size())
        reply.status = std::atoi(reply.headers.substr(at + 9, 3).c_str());
    (void)run;
    return reply;
}

} // namespace

HttpReply curl(const std::string& url, const std::string& options)
{
    TempDir dir;
    const std::string headers = dir.file("headers"), body = dir.file("body");
    return fetch("curl -sS --max-time 10 --noproxy '*' -D " + shellQuoted(headers) + " -o " + shellQuoted(body) + " "
                     + options + " " + shellQuoted(url) + " 2>/dev/null",
                 headers, body);
}

HttpReply wget(const std::string& url)
{
    TempDir dir;
    const std::string headers = dir.file("headers"), body = dir.file("body");
    return fetch("wget -q -S --no-proxy --timeout=10 --tries=1 -O " + shellQuoted(body) + " " + shellQuoted(url)
                     + " 2>" + shellQuoted(headers),
                 headers, body);
}

std::vector<std::pair<std::string, std::string>> attributes(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(": ");
        if (colon != std::string::npos)
            found.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
    return found;
}

std::string decodeQrImage(const std::string& path)
{
    const ShellRun run = runShell("timeout 20 zbarimg -q --raw " + shellQuoted(path) + " 2>/dev/null");
    std::string text = run.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool terminalQrToImage(const std::string& text, const std::string& path)
{
    const std::string full = "\u2588", top = "\u2580", bottom = "\u2584";
    std::vector<std::vector<bool>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<bool> upper, lower;
        size_t i = 0;
        for (; i < line.size();) {
            if (line[i] == ' ') {
                upper.push_back(false), lower.push_back(false), ++i;
            } else if (line.compare(i, 3, full) == 0) {
                upper.push_back(true), lower.push_back(true), i += 3;
            } else if (line.compare(i, 3, top) == 0) {
                upper.push_back(true), lower.push_back(false), i += 3;
            } else if (line.compare(i, 3, bottom) == 0) {
                upper.push_back(false), lower.push_back(true), i += 3;
            } else {
                break;
            }
        }
        if (i != line.size() || line.find("\xe2") == std::string::npos)
            continue; // not a line of the code
        rows.push_back(upper);
        rows.push_back(lower);
    }
    if (rows.empty())
        return false;
    constexpr int scale = 4;
    std::string image = "P1\n" + std::to_string(rows[0].size() * scale) + " " + std::to_string(rows.size() * scale)
        + "\n";
    for (const auto& row : rows) {
        std::string line;
        for (const bool dark : row)
            for (int s = 0; s < scale; ++s)
                line += dark ? "1 " : "0 ";
        for (int s = 0; s < scale; ++s)
            image += line + "\n";
    }
    writeFile(path, image);
    return true;
}

std::string followWithChromium(const std::string& landing, const std::string& workDir)
{
    // The page fetches across origins (file: to http:), which only a browser
    // told to allow it does.
    const std::string page = workDir + "/follow.html";
    writeFile(page, R"(<!DOCTYPE html><html><body><pre id="out">pending</pre><script>
const landing = ")" + landing + R"(";
async function follow() {
  const lines = [];
  const doc = new DOMParser().parseFromString(await (await fetch(landing)).text(), "text/html");
  for (const a of doc.querySelectorAll("a")) {
    const jadUrl = new URL(a.getAttribute("href"), landing);
    const jad = await fetch(jadUrl);
    const text = await jad.text();
    const jarUrl = new URL(/MIDlet-Jar-URL: (.*)\r\n/.exec(text)[1], jadUrl);
    const jar = await fetch(jarUrl);
    const bytes = (await jar.arrayBuffer()).byteLength;
    lines.push([a.textContent, jad.status, jad.headers.get("content-type"), jar.status,
                jar.headers.get("content-type"), /MIDlet-Jar-Size: (.*)\r\n/.exec(text)[1], bytes].join("|"));
  }
  return lines.join("\n");
}
follow().then(t => document.getElementById("out").textContent = "done\n" + t,
              e => document.getElementById("out").textContent = "failed " + e);
</script></body></html>
)");
    const ShellRun run = runShell("timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-web-security "
                                  "--no-proxy-server --user-data-dir="
                                  + shellQuoted(workDir + "/chromium") + " --virtual-time-budget=10000 --dump-dom "
                                  + shellQuoted("file://" + page) + " 2>/dev/null");
    const size_t start = run.output.find("<pre id=\"out\">");
    const size_t end = run.output.find("</pre>");
    if (start == std::string::npos || end == std::string::npos)
        return "chromium gave no page (status " + std::to_string(run.status) + ")";
    return run.output.substr(start + 14, end - start - 14);
}

} // namespace TestSupport
