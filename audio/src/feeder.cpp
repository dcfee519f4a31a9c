#include "feeder.h"

#include <vector>

#include "loading.h"

namespace a3d {

void Feeder::Start(Mixer& mixer) {
    if (thread_.joinable()) return;
    mixer_ = &mixer;
    {
        std::lock_guard<std::mutex> lock(sleep_);
        stop_ = false;
    }
    thread_ = std::thread(&Feeder::Loop, this);
}

void Feeder::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(sleep_);
        stop_ = true;
    }
    bell_.notify_all();
    thread_.join();
}

void Feeder::Wake() {
    {
        std::lock_guard<std::mutex> lock(sleep_);
        rung_.store(true, std::memory_order_relaxed);
    }
    bell_.notify_one();
}

void Feeder::Ring() {
    if (!rung_.exchange(true, std::memory_order_relaxed)) bell_.notify_one();
}

bool Feeder::Feed(Stream& m) {
    std::uint64_t generation, origin, space;
    bool seek, looping;
    {
        std::lock_guard<Mutex> lock(mixer_->mutex);
        generation = m.generation;
        seek = m.seekPending;
        origin = m.origin;
        m.seekPending = false;
        space = m.RingFrames() - (m.written - (m.pos >> 32));
        looping = m.looping;
    }
    Decoder& d = *m.decoder;
    if (seek) {
        m.decoderAtEnd = !d.Seek(origin);
        m.sinceRewind = 0;
    }
    std::uint64_t got = 0;
    if (!m.decoderAtEnd && space >= kChunkFrames) {
        got = d.Read(m.scratch.data(), kChunkFrames);
        m.sinceRewind += got;
        if (got < kChunkFrames) {
            // The end of the file: round again when looping, unless a whole
            // round gave nothing (a stream with no audio would spin here).
            if (looping && m.sinceRewind > 0 && d.Seek(0)) m.sinceRewind = 0;
            else m.decoderAtEnd = true;
        }
    }
    float stereo[kChunkFrames * 2];
    ToStereo(m.scratch.data(), d.channels, got, stereo);
    std::lock_guard<Mutex> lock(mixer_->mutex);
    if (m.generation != generation) return true;  // sought meanwhile: this chunk is from before
    const std::uint64_t mask = m.RingFrames() - 1;
    for (std::uint64_t k = 0; k < got; ++k) {
        const std::uint64_t at = (m.written + k) & mask;
        m.ring[2 * at] = stereo[2 * k];
        m.ring[2 * at + 1] = stereo[2 * k + 1];
    }
    m.written += got;
    if (m.decoderAtEnd && m.endAt == kNoEnd) m.endAt = m.written;
    return seek || got > 0;
}

void Feeder::Loop() {
    RaiseFeederThread();
    std::vector<std::shared_ptr<Stream>> work;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(sleep_);
            if (stop_) return;
            rung_.store(false, std::memory_order_relaxed);
        }
        {
            std::lock_guard<Mutex> lock(mixer_->mutex);
            mixer_->musics.ForEach([&](base::Handle, std::shared_ptr<Stream>& music) {
                if (music->decoder) work.push_back(music);
            });
        }
        bool busy = false;
        for (auto& m : work) busy |= Feed(*m);
        work.clear();  // an unloaded music goes here, not under the mutex
        if (busy) continue;
        std::unique_lock<std::mutex> lock(sleep_);
        bell_.wait_for(lock, kFeedPeriod, [this] { return stop_ || rung_.load(std::memory_order_relaxed); });
    }
}

}  // namespace a3d
