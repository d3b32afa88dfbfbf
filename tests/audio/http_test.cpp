// The station client's HTTP side: URLs, redirects, the request and the
// response heads that decide whether a stream can be played.
#include <gtest/gtest.h>

#include "audio/bass.h"
#include "audio/http.h"
#include "audio/net_stream.h"

using namespace audio;

namespace {

TEST(HttpUrl, ParsesHostPortAndPath) {
    Url u;
    ASSERT_TRUE(ParseUrl("http://127.0.0.1/stream/1040", &u));
    EXPECT_EQ(u.host, "127.0.0.1");
    EXPECT_EQ(u.port, 80);
    EXPECT_EQ(u.path, "/stream/1040");
    ASSERT_TRUE(ParseUrl("HTTP://radio.example:8000", &u));
    EXPECT_EQ(u.host, "radio.example");
    EXPECT_EQ(u.port, 8000);
    EXPECT_EQ(u.path, "/");
    ASSERT_TRUE(ParseUrl("http://[::1]:81/a?b=c", &u));
    EXPECT_EQ(u.host, "::1");
    EXPECT_EQ(u.port, 81);
    EXPECT_EQ(u.path, "/a?b=c");
    ASSERT_TRUE(ParseUrl("http://h?x=1", &u));
    EXPECT_EQ(u.path, "/?x=1");
    EXPECT_FALSE(u.secure);
    ASSERT_TRUE(ParseUrl("HTTPS://radio.example/live", &u));
    EXPECT_TRUE(u.secure);
    EXPECT_EQ(u.port, 443);
    EXPECT_EQ(u.path, "/live");
}

TEST(HttpUrl, RefusesWhatCannotBeRequested) {
    Url u;
    for (const char* bad : {"", "https://", "ftp://h/", "http://", "http:///path", "http://h:0/",
                            "http://h:65536/", "http://h:8x/", "http://user@h/", "http://[::1/",
                            "http://h/a b", "http://h/a\r\nX-Evil: 1"}) {
        EXPECT_FALSE(ParseUrl(bad, &u)) << bad;
    }
}

TEST(HttpUrl, ResolvesRedirectLocations) {
    Url base;
    ASSERT_TRUE(ParseUrl("http://a:8000/dir/stream?x", &base));
    EXPECT_EQ(ResolveLocation(base, "http://b/x"), "http://b/x");
    EXPECT_EQ(ResolveLocation(base, "/other"), "http://a:8000/other");
    EXPECT_EQ(ResolveLocation(base, "next"), "http://a:8000/dir/next");
    EXPECT_EQ(ResolveLocation(base, "//c/y"), "http://c/y");
    EXPECT_EQ(ResolveLocation(base, "  /trimmed "), "http://a:8000/trimmed");
    // Relative locations keep the scheme, and its default port stays unsaid.
    ASSERT_TRUE(ParseUrl("https://a/dir/x", &base));
    EXPECT_EQ(ResolveLocation(base, "/other"), "https://a/other");
    EXPECT_EQ(ResolveLocation(base, "//c/y"), "https://c/y");
    ASSERT_TRUE(ParseUrl("https://a:80/", &base));
    EXPECT_EQ(ResolveLocation(base, "/p"), "https://a:80/p");
}

TEST(HttpRequest, AsksForMetadataAndNamesTheHost) {
    Url u;
    ASSERT_TRUE(ParseUrl("http://127.0.0.1:8000/stream", &u));
    std::string r = BuildRequest(u, 0);
    EXPECT_EQ(r.rfind("GET /stream HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(r.find("\r\nHost: 127.0.0.1:8000\r\n"), std::string::npos);
    EXPECT_NE(r.find("\r\nIcy-MetaData: 1\r\n"), std::string::npos);
    EXPECT_EQ(r.find("Range:"), std::string::npos);
    EXPECT_EQ(r.substr(r.size() - 4), "\r\n\r\n");
    EXPECT_NE(BuildRequest(u, 500).find("\r\nRange: bytes=500-\r\n"), std::string::npos);
    ASSERT_TRUE(ParseUrl("https://radio.example/s", &u));
    EXPECT_NE(BuildRequest(u, 0).find("\r\nHost: radio.example\r\n"), std::string::npos);
}

TEST(HttpHead, ReadsIcyAndHttpStatusLines) {
    ResponseHead h;
    ASSERT_TRUE(ParseHead("ICY 200 OK\r\nicy-metaint:8192\r\nicy-name: Test\r\n\r\n", &h));
    EXPECT_TRUE(h.icy);
    EXPECT_EQ(h.status, 200);
    EXPECT_EQ(h.Header("ICY-METAINT"), "8192");
    EXPECT_EQ(h.Header("icy-name"), "Test");
    EXPECT_EQ(h.Header("missing"), "");
    ASSERT_TRUE(ParseHead("HTTP/1.1 302 Found\nLocation: /x\n\n", &h));
    EXPECT_FALSE(h.icy);
    EXPECT_EQ(h.status, 302);
    EXPECT_EQ(h.Header("location"), "/x");
    ASSERT_TRUE(ParseHead("HTTP/1.0 404\r\n\r\n", &h));
    EXPECT_EQ(h.status, 404);
    for (const char* bad : {"", "<html>\r\n\r\n", "HTTP/2 200 OK\r\n\r\n", "ICY abc OK\r\n\r\n", "HTTP/1.0 20\r\n\r\n"}) {
        EXPECT_FALSE(ParseHead(bad, &h)) << bad;
    }
}

TEST(HttpHead, FindsTheEndWithEitherLineEnding) {
    EXPECT_EQ(FindHeadEnd("ICY 200 OK\r\n\r\nmp3"), 14u);
    EXPECT_EQ(FindHeadEnd("ICY 200 OK\n\nmp3"), 12u);
    EXPECT_EQ(FindHeadEnd("ICY 200 OK\r\nicy-br: 1"), std::string::npos);
}

ResponseHead Head(const std::string& text) {
    ResponseHead h;
    EXPECT_TRUE(ParseHead(text, &h));
    return h;
}

TEST(HttpHead, AcceptsOnlyMpegAudio) {
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n")), 0);
    EXPECT_EQ(CheckAudioResponse(Head("ICY 200 OK\r\n\r\n")), 0);  // SHOUTcast v1 often names no type
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: AUDIO/MPEG; x=y\r\n\r\n")), 0);
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n")), BASS_ERROR_FILEFORM);
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: audio/aacp\r\n\r\n")), BASS_ERROR_CODEC);
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\n\r\n")), 0);
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: audio/ogg; codecs=vorbis\r\n\r\n")), 0);
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.0 200 OK\r\nContent-Type: audio/flac\r\n\r\n")), BASS_ERROR_CODEC);
    EXPECT_EQ(CheckAudioResponse(Head("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nTransfer-Encoding: chunked\r\n\r\n")),
              BASS_ERROR_FILEFORM);
}

TEST(HttpHead, MetadataIntervalMustBeSane) {
    uint32_t v = 99;
    EXPECT_TRUE(ParseMetaInterval("", &v));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(ParseMetaInterval("16000", &v));
    EXPECT_EQ(v, 16000u);
    EXPECT_TRUE(ParseMetaInterval("0", &v));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(ParseMetaInterval("1048576", &v));
    for (const char* bad : {"-5", "abc", "8192x", "1048577", "99999999999", " 1"}) {
        EXPECT_FALSE(ParseMetaInterval(bad, &v)) << bad;
    }
}

TEST(HttpHead, BitrateAndTheBufferItSizes) {
    EXPECT_EQ(ParseBitrate("128"), 128);
    EXPECT_EQ(ParseBitrate("128,128"), 128);
    EXPECT_EQ(ParseBitrate(""), 0);
    EXPECT_EQ(ParseBitrate("99999"), 0);
    // 5 s of a 128 kbit/s stream; unknown rates count as 128.
    EXPECT_EQ(NetStream::BufferBytes(5000, 128), 80000u);
    EXPECT_EQ(NetStream::BufferBytes(5000, 0), 80000u);
    EXPECT_EQ(NetStream::BufferBytes(500, 8), 16384u);  // never below 16 KiB
}

}  // namespace
