#include "peers/NginxOrigin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace peers {

// Named apart: the peers' sources may be compiled as one batch.
namespace nginx_origin {
namespace {

/// The nginx program: on the PATH, else where Debian puts it (a user's PATH often lacks
/// the sbin folders).
std::string nginxProgram() {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/local/sbin:/sbin";
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        fs::path candidate = fs::path(dir) / "nginx";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

/// A port that was free a moment ago on 127.0.0.1 (nginx binds it itself; start()
/// tries again with others when another process took it in between).
int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("nginx origin: no socket for a free port");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    if (port == 0) throw std::runtime_error("nginx origin: found no free port on 127.0.0.1");
    return port;
}

bool accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size())
        text.replace(at, what.size(), with);
}

}  // namespace
}  // namespace nginx_origin

NginxOrigin::NginxOrigin() {
    std::string pattern = (fs::temp_directory_path() / "zid-nginx-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("nginx origin: cannot make a folder under " + fs::temp_directory_path().string());
    dir_ = pattern;
    root_ = (fs::path(dir_) / "html").string();
    fs::create_directories(root_);
}

NginxOrigin::~NginxOrigin() {
    stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

bool NginxOrigin::installed() { return !nginx_origin::nginxProgram().empty(); }

std::string NginxOrigin::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}
std::string NginxOrigin::otherURL(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(otherPort_) + path;
}

std::string NginxOrigin::accessLog() const { return nginx_origin::readFile(fs::path(dir_) / "access.log"); }

void NginxOrigin::start(const std::string& locations) {
    const std::string program = nginx_origin::nginxProgram();
    if (program.empty())
        throw std::runtime_error("nginx origin: no nginx program (scripts/install-deps.sh installs nginx-light)");
    const fs::path dir(dir_);
    const std::string errorLog = (dir / "error.log").string();
    // Another process may take a port between freePort() and nginx's bind: a few tries.
    for (int attempt = 1;; ++attempt) {
        port_ = nginx_origin::freePort();
        do otherPort_ = nginx_origin::freePort();
        while (otherPort_ == port_);
        std::string body = locations;
        nginx_origin::replaceAll(body, "{PORT}", std::to_string(port_));
        nginx_origin::replaceAll(body, "{OTHER_PORT}", std::to_string(otherPort_));
        std::ostringstream conf;
        // One process, in the foreground, as the user that runs the tests: no user
        // switch, so the root may be any folder that user reads.
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << (dir / "nginx.pid").string() << ";\n"
             << "error_log " << errorLog << " warn;\n"
             << "events { worker_connections 512; }\n"
             << "http {\n"
             << "  log_format interop '$server_port $status $request_uri gzip=$gzip_ratio connection=$connection';\n"
             << "  access_log " << (dir / "access.log").string() << " interop;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << temp << "_temp_path " << (dir / (std::string("temp_") + temp)).string() << ";\n";
        conf << "  types {\n"
             << "    application/vnd.apple.mpegurl m3u8;\n    video/mp2t ts;\n    video/mp4 mp4 m4s;\n"
             << "    application/octet-stream bin key;\n  }\n"
             << "  default_type application/octet-stream;\n"
             << "  sendfile on;\n  keepalive_timeout 30;\n";
        for (int port : {port_, otherPort_})
            conf << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root_ << ";\n"
                 << body << "\n  }\n";
        conf << "}\n";
        const std::string confPath = (dir / "nginx.conf").string();
        {
            std::ofstream out(confPath);
            out << conf.str();
            if (!out) throw std::runtime_error("nginx origin: cannot write " + confPath);
        }
        std::ofstream(errorLog, std::ios::trunc).close();
        int log = ::open(errorLog.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        pid_t parent = ::getpid();
        pid_t pid = ::fork();
        if (pid < 0) {
            if (log >= 0) ::close(log);
            throw std::runtime_error("nginx origin: cannot start a process");
        }
        if (pid == 0) {
            // The server ends with the process that started it, however that ends.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            if (log >= 0) {
                ::dup2(log, STDOUT_FILENO);
                ::dup2(log, STDERR_FILENO);
            }
            int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0) ::dup2(null, STDIN_FILENO);
            // Nothing of the test process (an engine's channel, a peer's socket) stays
            // open in the server.
            ::close_range(3, ~0U, 0);
            ::execl(program.c_str(), program.c_str(), "-p", dir_.c_str(), "-c", confPath.c_str(), "-e",
                    errorLog.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (log >= 0) ::close(log);
        pid_ = pid;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited = true;
                pid_ = -1;
                break;
            }
            if (nginx_origin::accepts(port_) && nginx_origin::accepts(otherPort_)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::string said = nginx_origin::readFile(errorLog);
        if (!exited) stop();
        bool portTaken = said.find("Address already in use") != std::string::npos;
        if (!portTaken || attempt == 3)
            throw std::runtime_error("nginx origin: nginx did not start" + std::string(exited ? "" : " within 10 s") +
                                     ": " + said);
    }
}

void NginxOrigin::stop() {
    if (pid_ <= 0) return;
    // SIGTERM is nginx's fast shutdown; one that does not end within 2 s is killed.
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

}  // namespace peers
