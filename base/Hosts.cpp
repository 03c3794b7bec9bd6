#include "base/Hosts.h"

#include "BuildSettings.h"

namespace utq {

Hosts Hosts::fromBuild() {
    return {QString::fromUtf8(build::kQueryHost), QString::fromUtf8(build::kUsHost),
            QString::fromUtf8(build::kUkHost), QString::fromUtf8(build::kSiteHost),
            QString::fromUtf8(build::kVoiceHost)};
}

} // namespace utq
