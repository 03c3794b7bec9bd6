#pragma once

#include "platform/ProcessList.h"
#include "platform/SoundPlayer.h"
#include "platform/TextFileWriter.h"

#include <QString>

#include <memory>

namespace utq::platform {

// What the program uses of the machine it runs on, gathered so that the window receives it
// at construction: the real desktop in the program, a test's own in tests.
struct Desktop {
    QString programFolder; // where the executable and its favourites and sounds lie
    std::shared_ptr<SoundPlayer> sound;
    std::shared_ptr<TextFileWriter> fileWriter;
    std::shared_ptr<ProcessList> processes = std::make_shared<ProcessList>();

    static Desktop real();
};

} // namespace utq::platform
