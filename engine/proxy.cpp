#include "engine/proxy.h"

#include <algorithm>
#include <cctype>

#include "engine/fetcher.h"
#include "engine/request_pacer.h"

namespace qv {
namespace {

constexpr std::string_view kSchemes[] = {"http", "https", "socks5", "socks5h"};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool HostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

// The host part: a name or IPv4 address, or an IPv6 address in brackets.
bool ValidHost(std::string_view host) {
    if (host.empty()) return false;
    if (host.front() == '[')
        return host.size() > 2 && host.back() == ']' &&
               std::all_of(host.begin() + 1, host.end() - 1,
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; });
    return std::all_of(host.begin(), host.end(), HostChar);
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string Proxy::Shown() const {
    std::string shown;
    if (!user.empty() || has_password) shown = user + (has_password ? ":***" : "") + "@";
    return shown + host + ":" + std::to_string(port);
}

std::string Proxy::Masked() const { return has_password ? scheme + "://" + Shown() : url; }

std::string_view ProxyEntryOf(std::string_view line) {
    // A URL holds no blank, so a '#' after one cannot be part of it (a password may hold '#').
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1])))) {
            line = line.substr(0, i);
            break;
        }
    return TrimBlanks(line);
}

std::string_view ProxyFaultText(ProxyFault fault) {
    switch (fault) {
    case ProxyFault::Scheme: return "it must begin with http://, https://, socks5:// or socks5h://";
    case ProxyFault::Host: return "the host is missing or holds characters a host cannot";
    case ProxyFault::Port: return "the port is missing or not a number from 1 to 65535";
    case ProxyFault::Path: return "nothing may follow the port";
    case ProxyFault::Blank: return "a proxy address holds no blanks or control characters";
    }
    return "malformed proxy address";
}

ProxyError::ProxyError(int line, ProxyFault fault)
    : std::runtime_error((line > 0 ? "line " + std::to_string(line) + ": " : std::string()) +
                         std::string(ProxyFaultText(fault))),
      line_(line),
      fault_(fault) {}

Proxy ParseProxy(std::string_view text) {
    text = TrimBlanks(text);
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c)); }))
        throw ProxyError(0, ProxyFault::Blank);
    Proxy p;
    const size_t sep = text.find("://");
    if (sep == std::string_view::npos) throw ProxyError(0, ProxyFault::Scheme);
    p.scheme = Lower(text.substr(0, sep));
    if (std::find(std::begin(kSchemes), std::end(kSchemes), p.scheme) == std::end(kSchemes))
        throw ProxyError(0, ProxyFault::Scheme);
    std::string_view rest = text.substr(sep + 3);
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        if (slash + 1 != rest.size()) throw ProxyError(0, ProxyFault::Path);
        rest = rest.substr(0, slash);
    }
    // The credentials end at the last '@': a password may hold one.
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view userinfo = rest.substr(0, at);
        const size_t colon = userinfo.find(':');
        p.user = std::string(userinfo.substr(0, colon));
        p.has_password = colon != std::string_view::npos;
        rest = rest.substr(at + 1);
    }
    if (rest.empty()) throw ProxyError(0, ProxyFault::Host);
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || (rest.front() == '[' && rest.rfind(']') > colon))
        throw ProxyError(0, ProxyFault::Port);
    p.host = std::string(rest.substr(0, colon));
    if (!ValidHost(p.host)) throw ProxyError(0, ProxyFault::Host);
    const std::string_view port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        throw ProxyError(0, ProxyFault::Port);
    p.port = std::stoi(std::string(port));
    if (p.port < 1 || p.port > 65535) throw ProxyError(0, ProxyFault::Port);
    p.url = std::string(text);
    return p;
}

std::vector<Proxy> ParseProxyList(std::string_view text) {
    std::vector<Proxy> proxies;
    int number = 0;
    for (std::string_view line : Lines(text)) {
        ++number;
        line = ProxyEntryOf(line);
        if (line.empty()) continue;
        try {
            proxies.push_back(ParseProxy(line));
        } catch (const ProxyError& e) {
            throw ProxyError(number, e.fault());
        }
    }
    return proxies;
}

std::string JoinProxySetting(const std::vector<Proxy>& proxies) {
    std::string joined;
    for (const Proxy& p : proxies) joined += (joined.empty() ? "" : " ") + p.url;
    return joined;
}

std::string ProxySettingLines(std::string_view setting) {
    std::string lines;
    size_t start = 0;
    while (start < setting.size()) {
        while (start < setting.size() && std::isspace(static_cast<unsigned char>(setting[start]))) ++start;
        size_t end = start;
        while (end < setting.size() && !std::isspace(static_cast<unsigned char>(setting[end]))) ++end;
        if (end > start) lines += (lines.empty() ? "" : "\n") + std::string(setting.substr(start, end - start));
        start = end;
    }
    return lines;
}

void ProxyPool::Set(std::vector<Proxy> proxies) {
    std::lock_guard lock(mutex_);
    std::vector<Entry> entries;
    for (Proxy& p : proxies) {
        Entry e{std::move(p), {}};
        for (const Entry& old : entries_)
            if (old.proxy == e.proxy) e.rests_until = old.rests_until;
        entries.push_back(std::move(e));
    }
    entries_ = std::move(entries);
    if (turn_ >= entries_.size()) turn_ = 0;
}

bool ProxyPool::empty() const {
    std::lock_guard lock(mutex_);
    return entries_.empty();
}

std::optional<Proxy> ProxyPool::Next(const std::optional<Proxy>& besides) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[(turn_ + i) % entries_.size()];
        if (e.rests_until > now || (besides && e.proxy == *besides)) continue;
        turn_ = (turn_ + i + 1) % entries_.size();
        return e.proxy;
    }
    return std::nullopt;
}

void ProxyPool::Rest(const Proxy& proxy) {
    std::lock_guard lock(mutex_);
    for (Entry& e : entries_)
        if (e.proxy == proxy) e.rests_until = Clock::now() + kRest;
}

bool IsProxyCause(std::string_view cause) { return cause.starts_with("proxy "); }

ProxyCheck CheckProxy(const Proxy& proxy, const std::string& url, const std::atomic<bool>* stop,
                      RequestPacer* pacer) {
    ProxyCheck check;
    if (pacer && !pacer->AwaitTurn(stop)) {
        check.cause = "stopped";
        return check;
    }
    HttpClient client;
    client.SetProxy(&proxy);
    client.SetStopFlag(stop);
    FetchLimits limits;
    limits.connect_timeout_ms = 10'000;
    limits.total_timeout_ms = 20'000;
    limits.tries = 1;
    client.SetLimits(limits);
    const auto began = std::chrono::steady_clock::now();
    FetchResult page = FetchPage(url, client);
    check.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    check.ok = page.error.empty();
    check.cause = std::move(page.cause);
    return check;
}

}  // namespace qv
