#include "audio/http.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "audio/bass.h"
#include "audio/stream_format.h"
#include "audio/tls_socket.h"

namespace audio {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

namespace {

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

// Request lines must not be split or smuggled by the URL.
bool SafeForRequest(const std::string& s) {
    return std::none_of(s.begin(), s.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7f;
    });
}

bool AllDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool ParseUrl(const std::string& text, Url* url) {
    Url u;
    u.secure = StartsWithNoCase(text, "https://");
    if (!u.secure && !StartsWithNoCase(text, "http://")) return false;
    u.port = u.DefaultPort();
    std::string rest = text.substr(u.secure ? 8 : 7);
    size_t slash = rest.find_first_of("/?");
    std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
    if (path[0] == '?') path = "/" + path;
    // Credentials ("user@") are not supported; the host is what follows them.
    if (authority.find('@') != std::string::npos) return false;
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        u.host = authority.substr(1, close - 1);
        std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return false;
            port = after.substr(1);
        }
    } else {
        size_t colon = authority.find(':');
        u.host = authority.substr(0, colon);
        if (colon != std::string::npos) port = authority.substr(colon + 1);
    }
    if (u.host.empty() || !SafeForRequest(u.host) || !SafeForRequest(path)) return false;
    if (!port.empty()) {
        if (!AllDigits(port) || port.size() > 5) return false;
        u.port = std::stoi(port);
        if (u.port < 1 || u.port > 65535) return false;
    }
    u.path = path;
    *url = u;
    return true;
}

std::string ResolveLocation(const Url& base, const std::string& location) {
    std::string loc = Trim(location);
    if (loc.find("://") != std::string::npos) return loc;
    std::string host = base.host.find(':') != std::string::npos ? "[" + base.host + "]" : base.host;
    const std::string scheme = base.secure ? "https:" : "http:";
    std::string origin = scheme + "//" + host + (base.port != base.DefaultPort() ? ":" + std::to_string(base.port) : "");
    if (StartsWithNoCase(loc, "//")) return scheme + loc;
    if (!loc.empty() && loc[0] == '/') return origin + loc;
    std::string dir = base.path.substr(0, base.path.find('?'));
    dir = dir.substr(0, dir.rfind('/') + 1);
    return origin + dir + loc;
}

std::string BuildRequest(const Url& url, uint32_t offset) {
    std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    if (url.port != url.DefaultPort()) host += ":" + std::to_string(url.port);
    std::string r = "GET " + url.path + " HTTP/1.0\r\n";
    r += "Host: " + host + "\r\n";
    r += "User-Agent: Neonara-Radio/1.0\r\n";
    r += "Accept: */*\r\n";
    r += "Icy-MetaData: 1\r\n";
    if (offset > 0) r += "Range: bytes=" + std::to_string(offset) + "-\r\n";
    r += "Connection: close\r\n\r\n";
    return r;
}

std::string ResponseHead::Header(const std::string& name) const {
    std::string want = Lower(name);
    for (const std::string& line : lines) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (Lower(Trim(line.substr(0, colon))) == want) return Trim(line.substr(colon + 1));
    }
    return "";
}

size_t FindHeadEnd(const std::string& data) {
    size_t crlf = data.find("\r\n\r\n");
    size_t lf = data.find("\n\n");
    size_t a = crlf == std::string::npos ? std::string::npos : crlf + 4;
    size_t b = lf == std::string::npos ? std::string::npos : lf + 2;
    return std::min(a, b);
}

bool ParseHead(const std::string& head, ResponseHead* out) {
    ResponseHead h;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < head.size()) {
        size_t end = head.find('\n', start);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty()) return false;
    const std::string& status = lines[0];
    std::string code;
    if (status.compare(0, 4, "ICY ") == 0) {
        h.icy = true;
        code = status.substr(4, 3);
    } else if (status.compare(0, 7, "HTTP/1.") == 0 && status.size() >= 12 && status[8] == ' ') {
        code = status.substr(9, 3);
    } else {
        return false;
    }
    if (code.size() != 3 || !AllDigits(code)) return false;
    h.status = std::stoi(code);
    h.lines.assign(lines.begin() + 1, lines.end());
    *out = h;
    return true;
}

int CheckAudioResponse(const ResponseHead& head) {
    if (!head.Header("transfer-encoding").empty()) return BASS_ERROR_FILEFORM;
    switch (FormatFromContentType(head.Header("content-type"))) {
    case StreamFormat::kOtherAudio: return BASS_ERROR_CODEC;
    case StreamFormat::kNotAudio: return BASS_ERROR_FILEFORM;
    default: return 0;
    }
}

bool ParseMetaInterval(const std::string& value, uint32_t* interval) {
    if (value.empty()) {
        *interval = 0;
        return true;
    }
    if (!AllDigits(value) || value.size() > 8) return false;
    unsigned long v = std::stoul(value);
    if (v > kMaxMetaInterval) return false;
    *interval = static_cast<uint32_t>(v);
    return true;
}

int ParseBitrate(const std::string& value) {
    size_t n = 0;
    while (n < value.size() && n < 5 && value[n] >= '0' && value[n] <= '9') ++n;
    if (n == 0) return 0;
    int br = std::stoi(value.substr(0, n));
    return br >= 8 && br <= 640 ? br : 0;
}

namespace {

// Reads the response head within the deadline; 0 or an error code.
int ReadHead(Connection& socket, int timeoutMs, CancelFlag cancel, std::string* data, size_t* headEnd) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        *headEnd = FindHeadEnd(*data);
        if (*headEnd != std::string::npos) return 0;
        if (data->size() > kMaxHeadBytes) return BASS_ERROR_FILEFORM;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || (cancel && *cancel)) return BASS_ERROR_TIMEOUT;
        int n = socket.Recv(buffer, sizeof buffer, static_cast<int>(std::min<long long>(left, 100)));
        if (n == kRecvTimeout) continue;
        if (n <= 0) return data->empty() ? BASS_ERROR_FILEOPEN : BASS_ERROR_FILEFORM;
        data->append(buffer, n);
    }
}

// One request: 0 with the head read, or an error code.
int OpenOnce(const Url& url, uint32_t offset, int timeoutMs, CancelFlag cancel, HttpStream* out) {
    auto plain = std::make_unique<Socket>();
    int error = plain->Connect(url.host, url.port, timeoutMs, cancel);
    if (error) return error;
    std::unique_ptr<Connection> socket;
    if (url.secure) {
        auto tls = std::make_unique<TlsSocket>(std::move(plain));
        error = tls->Handshake(url.host, timeoutMs, cancel);
        if (error) return error;
        socket = std::move(tls);
    } else {
        socket = std::move(plain);
    }
    if (!socket->SendAll(BuildRequest(url, offset), timeoutMs)) return BASS_ERROR_FILEOPEN;
    std::string data;
    size_t headEnd = 0;
    error = ReadHead(*socket, timeoutMs, cancel, &data, &headEnd);
    if (error) return error;
    if (!ParseHead(data.substr(0, headEnd), &out->head)) return BASS_ERROR_FILEFORM;
    out->body = data.substr(headEnd);
    out->socket = std::move(socket);
    return 0;
}

}  // namespace

int OpenHttpStream(const std::string& url, uint32_t offset, int timeoutMs, HttpStream* out, CancelFlag cancel) {
    std::string current = url;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        Url u;
        if (!ParseUrl(current, &u)) return BASS_ERROR_FILEOPEN;
        HttpStream s;
        int error = OpenOnce(u, offset, timeoutMs, cancel, &s);
        if (error) return error;
        int status = s.head.status;
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            std::string location = s.head.Header("location");
            if (location.empty()) return BASS_ERROR_FILEOPEN;
            current = ResolveLocation(u, location);
            continue;
        }
        if (status != 200 && !(status == 206 && offset > 0)) return BASS_ERROR_FILEOPEN;
        error = CheckAudioResponse(s.head);
        if (error) return error;
        if (!ParseMetaInterval(s.head.Header("icy-metaint"), &s.metaInterval)) return BASS_ERROR_FILEFORM;
        s.bitrate = ParseBitrate(s.head.Header("icy-br"));
        *out = std::move(s);
        return 0;
    }
    return BASS_ERROR_FILEOPEN;
}

}  // namespace audio
