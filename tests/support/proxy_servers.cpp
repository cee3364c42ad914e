#include "tests/support/proxy_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace qv::test {
namespace {

std::string FindProgram(const std::string& name) {
    for (const char* dir : {"/usr/bin/", "/usr/sbin/", "/usr/local/bin/"}) {
        const std::string path = std::string(dir) + name;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

}  // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
        ::close(fd);
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(a.sin_port);
}

std::unique_ptr<ProxyServer> ProxyServer::Start(Kind kind, const std::string& outgoing_address,
                                                const std::string& user, const std::string& password) {
    const std::string program = FindProgram(kind == Kind::Http ? "tinyproxy" : "microsocks");
    if (program.empty()) return nullptr;
    std::unique_ptr<ProxyServer> proxy(new ProxyServer);
    proxy->kind_ = kind;
    proxy->port_ = FreeLoopbackPort();
    const std::string log = proxy->dir_.file("proxy.log");
    std::vector<std::string> args{program};
    if (kind == Kind::Http) {
        std::string conf = "Port " + std::to_string(proxy->port_) + "\nListen 127.0.0.1\nBind " +
                           outgoing_address + "\nTimeout 30\nMaxClients 200\nAllow 127.0.0.1\n"
                           "DisableViaHeader Yes\nLogLevel Warning\n";
        if (!user.empty()) conf += "BasicAuth " + user + " " + password + "\n";
        WriteFileBytes(proxy->dir_.file("tinyproxy.conf"), conf);
        args.insert(args.end(), {"-d", "-c", proxy->dir_.file("tinyproxy.conf")});
    } else {
        args.insert(args.end(), {"-i", "127.0.0.1", "-p", std::to_string(proxy->port_), "-b", outgoing_address});
        if (!user.empty()) args.insert(args.end(), {"-u", user, "-P", password});
    }
    proxy->pid_ = Spawn(args, log);
    for (int i = 0; i < 500 && !Accepts(proxy->port_); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!Accepts(proxy->port_)) throw std::runtime_error(program + " did not start; see " + log);
    return proxy;
}

ProxyServer::~ProxyServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string ProxyServer::Url(const std::string& user, const std::string& password) const {
    std::string url = kind_ == Kind::Http ? "http://" : "socks5://";
    if (!user.empty()) url += user + ":" + password + "@";
    return url + "127.0.0.1:" + std::to_string(port_);
}

}  // namespace qv::test
