#include "platform/Desktop.h"

#include "platform/ExecutableFolder.h"

namespace utq::platform {

Desktop Desktop::real() {
    return {executableFolder(), desktopSoundPlayer(), std::make_shared<TextFileWriter>()};
}

} // namespace utq::platform
