#include "platform/ExecutableFolder.h"

#include <QCoreApplication>

namespace utq::platform {

QString executableFolder() { return QCoreApplication::applicationDirPath(); }

} // namespace utq::platform
