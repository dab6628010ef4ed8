// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kbtest {

namespace {
// Widget suites run without a display unless the caller chose a platform.
const bool g_offscreen = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return true;
}();
} // namespace

fs::path TestData(const std::string& relative) {
    const char* root = std::getenv("KB_TESTDATA");
    fs::path p = root && *root ? fs::path(root) : fs::path("/work/shared/testdata");
    if (!fs::exists(p)) ADD_FAILURE() << "test data folder missing: " << p;
    return relative.empty() ? p : p / relative;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
    std::string templ = (fs::temp_directory_path() / "kbtest-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::optional<std::string> FindPeer(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/games:/usr/local/games";
    std::stringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        fs::path cand = fs::path(dir) / name;
        if (access(cand.c_str(), X_OK) == 0) return cand.string();
    }
    return std::nullopt;
}

RunResult Run(const std::vector<std::string>& argv, const std::string& input) {
    RunResult result;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return result;
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 2);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    // Write stdin from a second thread so that a chatty child cannot deadlock us.
    std::thread writer([&] {
        size_t done = 0;
        while (done < input.size()) {
            ssize_t n = write(in[1], input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(in[1]);
    });
    char buf[65536];
    for (;;) {
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.out.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    writer.join();
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string BenchPath() {
    return KB_BENCH_PATH;
}

char ProcState(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string s;
    if (!std::getline(f, s)) return 0;
    const size_t close = s.rfind(')');
    return close != std::string::npos && close + 2 < s.size() ? s[close + 2] : '?';
}

std::vector<std::string> SplitPgnGames(const std::string& bytes) {
    std::vector<std::string> games;
    size_t start = 0;
    for (size_t pos = 1; pos <= bytes.size(); ++pos) {
        const bool atEnd = pos == bytes.size();
        if (atEnd || ((bytes[pos - 1] == '\n' || bytes[pos - 1] == '\r') &&
                      bytes.compare(pos, 7, "[Event ") == 0)) {
            games.push_back(bytes.substr(start, pos - start));
            start = pos;
        }
    }
    return games;
}

std::vector<std::string> PgnExtractFens(const std::string& output) {
    std::vector<std::string> fens;
    size_t pos = 0;
    while ((pos = output.find("{ \"", pos)) != std::string::npos) {
        const size_t end = output.find('"', pos + 3);
        if (end == std::string::npos) break;
        fens.push_back(output.substr(pos + 3, end - pos - 3));
        pos = end;
    }
    return fens;
}

std::vector<std::string> FenFields(const std::string& fen, size_t n) {
    std::istringstream in(fen);
    std::vector<std::string> out;
    std::string f;
    while (out.size() < n && in >> f)
        out.push_back(f);
    return out;
}

TOtherCopyHolds::TOtherCopyHolds(const std::filesystem::path& File) {
    int ready[2], go[2];
    if (::pipe(ready) != 0) return;
    if (::pipe(go) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(ready[0]);
        ::close(go[1]);
        const int fd = ::open(File.c_str(), O_RDWR);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
        char c;
        while (::read(go[0], &c, 1) > 0) {
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    go_ = go[1];
    char ok = 'n';
    held_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
    ::close(ready[0]);
}

void TOtherCopyHolds::Release() {
    if (go_ >= 0) ::close(go_);
    go_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

} // namespace kbtest
