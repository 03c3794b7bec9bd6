#pragma once

#include <QString>

#include <memory>

namespace utq::platform {

// Plays a WAV file without waiting for it. A file that is missing or cannot be played gives
// the desktop's default beep instead; nothing is reported.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void playAsync(const QString& wavPath) = 0;
};

// The desktop's own player (Qt Multimedia).
std::shared_ptr<SoundPlayer> desktopSoundPlayer();

} // namespace utq::platform
