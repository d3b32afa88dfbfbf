// The station client's HTTP side: URLs, the request, the response head
// (HTTP/1.x or SHOUTcast's "ICY 200 OK"), redirects and the checks that
// decide whether a response carries a playable stream.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/socket.h"

namespace audio {

// Header text: ASCII lower case, and without the blanks (and a carriage
// return) around it.
std::string Lower(std::string s);
std::string Trim(const std::string& s);

struct Url {
    bool secure = false;  // https: TLS, port 443 by default
    std::string host;     // without brackets for IPv6 literals
    int port = 80;
    std::string path = "/";  // with the query, never empty

    int DefaultPort() const { return secure ? 443 : 80; }
};

// Parses "http://host[:port][/path]" and "https://...". False for any other
// scheme, an empty host, a bad port or characters that cannot go into a
// request line.
bool ParseUrl(const std::string& text, Url* url);
// The absolute URL a Location header names, relative to the answering URL.
std::string ResolveLocation(const Url& base, const std::string& location);
// The GET request for url, asking for metadata; a Range when offset > 0.
std::string BuildRequest(const Url& url, uint32_t offset);

struct ResponseHead {
    bool icy = false;  // "ICY 200 OK" rather than "HTTP/1.x"
    int status = 0;
    std::vector<std::string> lines;  // the header lines, "Name: value"
    // The value of the first header called name (any case), trimmed; "" if absent.
    std::string Header(const std::string& name) const;
};

// The index just past the blank line that ends the head, or npos.
size_t FindHeadEnd(const std::string& data);
// Parses the status line and header lines; false when it is neither HTTP nor ICY.
bool ParseHead(const std::string& head, ResponseHead* out);
// 0 when a 200 response can be played; BASS_ERROR_FILEFORM for text or a
// transfer encoding, BASS_ERROR_CODEC for audio other than MP3 and Ogg.
int CheckAudioResponse(const ResponseHead& head);
// icy-metaint: 0 (absent or "0") means no metadata; false for a value that
// is not a plain number of at most kMaxMetaInterval.
constexpr uint32_t kMaxMetaInterval = 1u << 20;
bool ParseMetaInterval(const std::string& value, uint32_t* interval);
// icy-br in kbit/s, 0 when absent or unreadable.
int ParseBitrate(const std::string& value);

struct HttpStream {
    std::unique_ptr<Connection> socket;  // a Socket, or a TlsSocket for https
    ResponseHead head;
    std::string body;  // bytes already read past the head
    uint32_t metaInterval = 0;
    int bitrate = 0;   // kbit/s from the head, 0 when unknown
};

constexpr int kMaxRedirects = 5;
constexpr size_t kMaxHeadBytes = 16384;

// Connects, sends the request and reads the head, following up to
// kMaxRedirects redirects (between http and https too), each hop within
// timeoutMs. Returns 0 or an
// engine error code (see audio/README.md); BASS_ERROR_TIMEOUT soon after
// `cancel` is set.
int OpenHttpStream(const std::string& url, uint32_t offset, int timeoutMs, HttpStream* out,
                   CancelFlag cancel = nullptr);

}  // namespace audio
