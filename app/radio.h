// The radio: starts the library, opens the station's stream and waits until
// it is buffered, hands the spectrum to the effects and follows the song
// title in the stream's metadata.
#pragma once
#include "app/images.h"
#include "app/screensaver.h"
#include "runtime/array.h"
#include "runtime/string.h"

// The station of the build: http on port 80, path /stream/1040, on the host
// chosen at build time (or a whole url given at build time).
String* DefaultStreamURL();

// Where the station chosen at install time is kept for the user.
constexpr const wchar_t* kStationKey = L"Software\\Neonara";
constexpr const wchar_t* kStationValue = L"StationURL";

// An address the saver will play: "http://" or "https://" (any case), then a host and
// perhaps a port and a path, printable ASCII only, at most 2048 characters.
bool IsStationURL(String* url);

// The station the saver plays: the one chosen at install time when the user
// has a valid one, otherwise the build's.
String* StationURL();

// Shown while a stream carries no metadata; never becomes the title.
String* StandbyTitle();

// How long PlayURL waits for the buffer at most, in milliseconds (5000):
// a stalled station must not freeze the saver.
extern int BufferingTimeLimit;

// The title in a metadata text (at most its first 201 bytes count):
// StreamTitle='X';StreamUrl='...'; gives X, and so does StreamTitle='X';
// without a StreamUrl.
String* TitleFromMetadata(const char* tags);

class TBass : public TOrtho {
    KV_CLASS(TBass, TOrtho)
public:
    int initialised = 0;  // BASS_Init's result
    int stream = 0;       // the library's stream handle, 0 when none
    Ref<String> title;    // the song title shown
    int titleX = 0;       // x on the virtual screen; scrolls left
    Ref<TSplash> radioBar;  // the bar under the title
    float phase = 0;      // degrees, +1 per title poll, wraps above 360

    // Starts the library's output, configures the network buffering and
    // makes the tinted radio bar, which fades in after five seconds.
    static TBass* Create();

    // Opens `url`, waits until more than 75 % of the download buffer is
    // filled (or BufferingTimeLimit passed), reads the title and plays.
    // 1 when playing, 0 on failure.
    virtual int PlayURL(String* url);
    // A new 512-float array with the spectrum of what was just played.
    virtual Array* GetFFT();
    // Polls the metadata; a new title restarts the scroll. Returns 0.
    virtual int UpdateTitle();
    // Polls the title on odd frames, scrolls it and draws it in black while
    // the radio bar shows.
    virtual int Draw();
};
