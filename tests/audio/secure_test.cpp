// HTTPS: bass.dll against the Ogg Vorbis station's TLS port and the fault
// server's TLS listeners, whose certificates come from a test CA that the
// script has the system trust for the run (with_test_ca.sh).
#include "audio/bass.h"

#include "tests/audio/bass_test_support.h"

using namespace bass_test;

namespace {

class Secure : public QuickNetTest {
protected:
    static bool TitleArrives(DWORD h, const std::string& title) {
        return WaitFor(kWaitLimitMs, [&] { return Tags(h) == title; });
    }
};

TEST_F(Secure, OggStationOverHttpsPlaysWithTitlesAndSpectrum) {
    Bass().SetConfig(11, 5000);
    Bass().SetConfig(15, 0);  // as the saver: the headers are read as it plays
    std::string failure;
    DWORD h = PlayLikeTheSaver(kSecureOggStationUrl, &failure);
    ASSERT_NE(h, 0u) << failure << " (run through tests/audio/run_audio_tests.sh)";
    // Songs of 6, 6 and 24 s: two titles come within 60 s.
    Heard heard = ListenToStation(h, 60000);
    EXPECT_GE(heard.titles.size(), 2u);
    for (const std::string& t : heard.titles) EXPECT_EQ(t.rfind("StreamTitle='Neonara Test - ", 0), 0u) << t;
    EXPECT_TRUE(heard.sound) << "the spectrum stayed silent";
    double at = Seconds(Bass().ChannelGetPosition(h));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > at + 0.25; }));
}

TEST_F(Secure, OggStationOverPlainHttpHasItsTitleAtOnce) {
    DWORD h = Bass().StreamCreateURL(kOggStationUrl, 0, kMetaAndStatus, nullptr, 0);
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    EXPECT_EQ(Tags(h).rfind("StreamTitle='Neonara Test - ", 0), 0u) << Tags(h);
}

TEST_F(Secure, IcyMetadataAndRedirectsWorkAcrossSchemes) {
    const std::string title = "StreamTitle='Fault Server - Ok';StreamUrl='';";
    const std::string tlsPort = SecureFaultUrl("TLS", "").substr(std::string("https://localhost:").size());
    const std::string plainPort = FaultUrl("").substr(std::string("http://127.0.0.1:").size());
    for (const std::string& url : {SecureFaultUrl("TLS", "/ok"), FaultUrl("/to-port/https/" + tlsPort + "/ok"),
                                   SecureFaultUrl("TLS", "/to-port/http/" + plainPort + "/ok")}) {
        DWORD h = Bass().StreamCreateURL(url.c_str(), 0, kMetaAndStatus, nullptr, 0);
        ASSERT_NE(h, 0u) << url << ": error " << Bass().ErrorGetCode();
        EXPECT_TRUE(TitleArrives(h, title)) << url << ": " << Tags(h);
        Bass().StreamFree(h);
    }
}

TEST_F(Secure, UntrustedCertificatesAndBrokenHandshakesAreRefused) {
    const int baseline = ThreadCount();
    const std::pair<std::string, int> cases[] = {
        {SecureFaultUrl("OTHER_HOST", "/ok"), BASS_ERROR_SSL},
        {SecureFaultUrl("EXPIRED", "/ok"), BASS_ERROR_SSL},
        {SecureFaultUrl("STALL", "/ok"), BASS_ERROR_TIMEOUT},
        {"https://127.0.0.1:" + SecureFaultUrl("TLS", "/ok").substr(18), BASS_ERROR_SSL},  // not the name it is for
        {"https" + FaultUrl("/ok").substr(4), BASS_ERROR_SSL},  // a plain HTTP port
    };
    for (const auto& c : cases) ExpectRefused(c.first, c.second);
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return ThreadCount() <= baseline; })) << ThreadCount() << " > " << baseline;
}

}  // namespace
