#include "audio/icy_demuxer.h"

#include <algorithm>
#include <cstring>

namespace audio {

void IcyDemuxer::Push(const uint8_t* data, size_t size, std::string* audio, std::vector<std::string>* metas) {
    if (interval_ == 0) {
        audio->append(reinterpret_cast<const char*>(data), size);
        return;
    }
    while (size > 0) {
        switch (state_) {
        case State::kAudio: {
            size_t n = std::min<size_t>(size, audioLeft_);
            audio->append(reinterpret_cast<const char*>(data), n);
            data += n;
            size -= n;
            audioLeft_ -= static_cast<uint32_t>(n);
            if (audioLeft_ == 0) state_ = State::kLength;
            break;
        }
        case State::kLength:
            metaLeft_ = static_cast<uint32_t>(*data) * 16;
            ++data;
            --size;
            ++metaBytes_;
            block_.clear();
            if (metaLeft_ == 0) {
                state_ = State::kAudio;
                audioLeft_ = interval_;
            } else {
                state_ = State::kMeta;
            }
            break;
        case State::kMeta: {
            size_t n = std::min<size_t>(size, metaLeft_);
            block_.append(reinterpret_cast<const char*>(data), n);
            data += n;
            size -= n;
            metaLeft_ -= static_cast<uint32_t>(n);
            metaBytes_ += n;
            if (metaLeft_ == 0) {
                // The text ends at the first NUL; the padding is dropped.
                metas->push_back(block_.substr(0, std::strlen(block_.c_str())));
                state_ = State::kAudio;
                audioLeft_ = interval_;
            }
            break;
        }
        }
    }
}

}  // namespace audio
