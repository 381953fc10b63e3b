// bldmake, abld and CreateSIS of the demo installation's small Symbian SDK
// (one program, named by how it is called). They check their inputs the way
// the SDK's tools must, and write simple documented stand-ins for the
// launcher, its resources and the package (docs/kit-tools.md).

#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

int g_errors = 0;
std::string g_tool;

void error(const std::string& text)
{
    std::fprintf(stderr, "%s: error: %s\n", g_tool.c_str(), text.c_str());
    ++g_errors;
}

using ToolText::lower;

bool readFile(const std::string& path, std::string& out)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    out = s.str();
    return static_cast<bool>(in);
}

bool writeFile(const std::string& path, const std::string& content)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out.flush());
}

// The lines of a project or package file, each trimmed.
std::vector<std::string> trimmedLines(const std::string& text)
{
    std::vector<std::string> out;
    for (std::string_view l : ToolText::lines(text))
        out.emplace_back(ToolText::trim(l));
    return out;
}

// The SDK's root: EPOCROOT, or the directory above Epoc32/tools where this
// program lies.
std::string epocRoot()
{
    const char* env = std::getenv("EPOCROOT");
    std::string root;
    if (env && *env) {
        root = env;
    } else {
        std::error_code ec;
        root = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path().parent_path().string();
    }
    if (root.empty() || root.back() != '/')
        root += '/';
    return root;
}

// A file name as the SDK's files write it: "\epoc32\..." lies in the SDK,
// backslashes separate directories.
std::string hostPath(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    if (lower(path).rfind("/epoc32/", 0) == 0)
        return epocRoot() + "Epoc32/" + path.substr(8);
    return path;
}

// A file of the current directory, its name compared without case.
std::string findNoCase(const std::string& name)
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(".", ec))
        if (lower(e.path().filename().string()) == lower(name))
            return e.path().filename().string();
    return std::string();
}

const char kListFile[] = "abld.mmps";

int bldmake(const std::vector<std::string>& args)
{
    if (args.size() != 1 || lower(args[0]) != "bldfiles") {
        std::fputs("usage: bldmake bldfiles\n", stderr);
        return 1;
    }
    const std::string inf = findNoCase("bld.inf");
    std::string text;
    if (inf.empty() || !readFile(inf, text)) {
        error("no bld.inf in " + fs::current_path().string());
        return 1;
    }
    std::string section;
    std::string list;
    int count = 0;
    for (const std::string& l : trimmedLines(text)) {
        if (l.empty() || l.rfind("//", 0) == 0)
            continue;
        if (l.rfind("PRJ_", 0) == 0) {
            section = l;
            continue;
        }
        if (section != "PRJ_MMPFILES")
            continue;
        const std::string mmp = hostPath(l);
        if (!fs::is_regular_file(mmp)) {
            error(inf + ": cannot find the project file " + l);
            continue;
        }
        list += mmp + "\n";
        ++count;
    }
    if (!g_errors && count == 0)
        error(inf + ": no project files under PRJ_MMPFILES");
    if (g_errors)
        return 1;
    if (!writeFile(kListFile, list)) {
        error(std::string("cannot write ") + kListFile);
        return 1;
    }
    std::printf("bldmake: %d project file(s) of %s ready for abld\n", count, inf.c_str());
    return 0;
}

int abld(const std::vector<std::string>& args)
{
    if (args.size() != 3 || lower(args[0]) != "build" || (lower(args[1]) != "gcce" && lower(args[1]) != "armv5")
        || (lower(args[2]) != "urel" && lower(args[2]) != "udeb")) {
        std::fputs("usage: abld build gcce|armv5 urel|udeb\n", stderr);
        return 1;
    }
    std::string list;
    if (!readFile(kListFile, list)) {
        error("no project list here: run bldmake bldfiles first");
        return 1;
    }
    const std::string platform = lower(args[1]);
    const std::string variant = lower(args[2]);
    for (const std::string& mmp : trimmedLines(list)) {
        if (mmp.empty())
            continue;
        std::string text;
        if (!readFile(mmp, text)) {
            error("cannot read the project file " + mmp);
            continue;
        }
        const std::string dir = fs::path(mmp).parent_path().string();
        const std::string base = dir.empty() ? "" : dir + "/";
        std::string target;
        std::string sourcePath = base;
        std::string resource;
        std::vector<std::pair<std::string, std::string>> outputs; // file, content
        for (const std::string& l : trimmedLines(text)) {
            std::istringstream words(l);
            std::string key, value;
            words >> key >> value;
            const std::string k = lower(key);
            if (k == "target") {
                target = value;
            } else if (k == "sourcepath") {
                sourcePath = base + hostPath(value) + "/";
            } else if (k == "source") {
                for (std::string s = value; !s.empty(); s.clear(), words >> s)
                    if (!fs::is_regular_file(sourcePath + s))
                        error(mmp + ": cannot find the source " + s);
            } else if (k == "start" && lower(value) == "resource") {
                words >> resource;
                if (!fs::is_regular_file(sourcePath + resource))
                    error(mmp + ": cannot find the resource " + resource);
            } else if (k == "targetpath" && !resource.empty()) {
                const std::string stem = resource.substr(0, resource.rfind('.'));
                outputs.push_back({hostPath("\\epoc32\\data\\z" + value) + "/" + stem + ".rsc",
                                   "demo resource compiled from " + resource + "\n"});
            } else if (k == "end") {
                resource.clear();
            }
        }
        if (target.empty())
            error(mmp + ": no TARGET");
        if (g_errors)
            continue;
        outputs.push_back({hostPath("\\epoc32\\release\\" + platform + "\\" + variant + "\\" + target),
                           "demo launcher " + target + " built from " + mmp + "\n"});
        for (const auto& [file, content] : outputs) {
            if (!writeFile(file, content))
                error("cannot write " + file);
            else
                std::printf("abld: %s\n", file.c_str());
        }
    }
    return g_errors ? 1 : 0;
}

bool pemBlock(const std::string& path, const char* what, const char* kind, std::string& text)
{
    if (!readFile(path, text)) {
        error(std::string("cannot find the ") + what + " " + path + " in " + fs::current_path().string());
        return false;
    }
    if (text.find("-----BEGIN ") == std::string::npos || text.find(kind) == std::string::npos) {
        error(path + " is no " + what + " (PEM \"" + kind + "\" expected)");
        return false;
    }
    return true;
}

int createSis(const std::vector<std::string>& args)
{
    std::string cert, key, pass, pkg;
    bool create = !args.empty() && args[0] == "create";
    for (size_t i = 1; create && i < args.size(); ++i) {
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        if (args[i] == "-cert")
            create = value(cert);
        else if (args[i] == "-key")
            create = value(key);
        else if (args[i] == "-pass")
            create = value(pass);
        else if (pkg.empty() && args[i][0] != '-')
            pkg = args[i];
        else
            create = false;
    }
    if (!create || cert.empty() || key.empty() || pkg.empty()) {
        std::fputs("usage: CreateSIS create -cert CERT -key KEY [-pass PASSWORD] PACKAGE.pkg\n", stderr);
        return 1;
    }
    std::string text;
    pemBlock(cert, "signing certificate", "CERTIFICATE", text);
    pemBlock(key, "signing key", "PRIVATE KEY", text);
    if (text.find("ENCRYPTED") != std::string::npos && pass.empty())
        error("the key " + key + " is encrypted: give its password with -pass");
    std::string package;
    if (!readFile(pkg, package)) {
        error("cannot find the package file " + pkg);
        return 1;
    }
    std::string out = "VARNEL-DEMO-SIS 1\n";
    int files = 0;
    int lineNumber = 0;
    for (const std::string& l : trimmedLines(package)) {
        ++lineNumber;
        if (l.rfind("#{", 0) == 0) {
            const size_t open = l.find("(0x");
            if (open == std::string::npos || l.find(')', open) != open + 11)
                error(pkg + ":" + std::to_string(lineNumber) + ": the header names no UID (0xXXXXXXXX)");
            out += "header " + l + "\n";
            continue;
        }
        if (l.size() < 2 || l[0] != '"')
            continue;
        const size_t end = l.find('"', 1);
        const size_t dst = l.find("-\"", end);
        if (end == std::string::npos || dst == std::string::npos) {
            error(pkg + ":" + std::to_string(lineNumber) + ": cannot read the file line");
            continue;
        }
        const std::string source = l.substr(1, end - 1);
        const std::string target = l.substr(dst + 2, l.find('"', dst + 2) - dst - 2);
        if (source.empty()) { // a file the phone makes itself
            out += "made 0 " + target + "\n\n";
            continue;
        }
        std::string content;
        const std::string path = hostPath(source);
        if (!readFile(path, content)) {
            error(pkg + ":" + std::to_string(lineNumber) + ": cannot find " + source + " (looked at " + path + ")");
            continue;
        }
        out += "file " + std::to_string(content.size()) + " " + target + "\n" + content + "\n";
        ++files;
    }
    if (g_errors)
        return 1;
    const std::string sis = pkg.substr(0, pkg.rfind('.')) + ".sis";
    if (!writeFile(sis, out + "signed " + cert + "\nend\n")) {
        error("cannot write " + sis);
        return 1;
    }
    std::printf("CreateSIS: %s written with %d file(s), signed with %s\n", sis.c_str(), files, cert.c_str());
    return 0;
}

const char kHelp[] =
    "%s - a tool of the Varnel demo installation's Symbian SDK stand-in\n"
    "\n"
    "This stands in for the Symbian SDK tool of the same name; a real SDK's tools\n"
    "replace it (set EPOCROOT to the SDK's root and put its Epoc32/tools on PATH).\n"
    "\n"
    "  bldmake bldfiles       read bld.inf here, check its .mmp files, write abld.mmps\n"
    "  abld build gcce urel   check each .mmp's sources and resources, write the\n"
    "                         launcher and its .rsc files below EPOCROOT/Epoc32\n"
    "  CreateSIS create -cert CERT -key KEY -pass PASSWORD PACKAGE.pkg\n"
    "                         check the certificate, the key and every file the\n"
    "                         .pkg names, write PACKAGE.sis\n"
    "Exit code 0 on success, 1 on error.\n";

} // namespace

int main(int argc, char** argv)
{
    g_tool = fs::path(argv[0]).filename().string();
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help") {
            std::printf(kHelp, g_tool.c_str());
            return 0;
        }
    }
    if (g_tool == "bldmake")
        return bldmake(args);
    if (g_tool == "abld")
        return abld(args);
    if (g_tool == "CreateSIS")
        return createSis(args);
    std::fprintf(stderr, "%s: call this program as bldmake, abld or CreateSIS\n", g_tool.c_str());
    return 1;
}
