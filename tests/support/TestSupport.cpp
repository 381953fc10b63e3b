#include "support/TestSupport.h"

#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// No test may reach the maker's update server, not even by resolving its
// name: unless a test names its own server, updates go to a loopback port
// where nothing listens (the discard port).
[[maybe_unused]] const bool updateServerPinned = [] {
    ::setenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9", 0);
    return true;
}();

} // namespace

namespace TestSupport {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/varbuild-test-XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make read-only directories left by tests removable again.
    for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::file(const std::string& relative) const
{
    return m_path + "/" + relative;
}

void makeDirs(const std::string& path)
{
    fs::create_directories(path);
}

void writeFile(const std::string& path, const std::string& content)
{
    const fs::path p(path);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out << content;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

void makeMinimalInstallation(const std::string& root)
{
    writeFile(root + "/profiles/vendors/definitions.txt", "");
    makeDirs(root + "/bin");
}

ProgramRun runCli(const std::string& directory, const std::string& root, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, const std::function<void(int pid)>& whileRunning)
{
    const std::string program = VARBUILD_KIT_DIR "/bin/varbuild-cli";
    const std::string outPath = directory + "/cli.out";
    const std::string errPath = directory + "/cli.err";
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    const std::string rootVar = "VARNELDIR=" + root;
    const char* path = std::getenv("PATH");
    const std::string pathVar = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
    const char* server = std::getenv("VARNEL_UPDATE_SERVER");
    const std::string serverVar = std::string("VARNEL_UPDATE_SERVER=") + (server ? server : "127.0.0.1:9");

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(directory.c_str()) != 0)
            ::_exit(127);
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        // The caller's entries first: the first of two equal names counts.
        std::vector<char*> envp;
        for (const std::string& entry : environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        for (const std::string* entry : {&rootVar, &pathVar, &serverVar})
            envp.push_back(const_cast<char*>(entry->c_str()));
        envp.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid > 0 && whileRunning)
        whileRunning(pid);
    ProgramRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

CapturedDiagnostics::CapturedDiagnostics()
    : m_file(std::tmpfile())
    , m_previous(Brask::diagnosticStream())
{
    Brask::setDiagnosticStream(m_file);
}

CapturedDiagnostics::~CapturedDiagnostics()
{
    Brask::setDiagnosticStream(m_previous);
    std::fclose(m_file);
}

std::string CapturedDiagnostics::text()
{
    std::fflush(m_file);
    std::rewind(m_file);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, m_file)) > 0)
        out.append(buf, n);
    std::fseek(m_file, 0, SEEK_END);
    return out;
}

DirectoryGuard::DirectoryGuard()
    : m_saved(Brask::currentDirectory())
{
}

DirectoryGuard::~DirectoryGuard()
{
    if (::chdir(m_saved.c_str()) != 0) {
    }
}

ShellRun runShell(const std::string& command)
{
    ShellRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

EnvGuard::EnvGuard(std::string name)
    : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str())) {
        m_had = true;
        m_old = old;
    }
}

EnvGuard::EnvGuard(std::string name, const std::string& value)
    : EnvGuard(std::move(name))
{
    ::setenv(m_name.c_str(), value.c_str(), 1);
}

EnvGuard::~EnvGuard()
{
    if (m_had)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

} // namespace TestSupport
