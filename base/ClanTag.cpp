#include "base/ClanTag.h"

#include "BuildSettings.h"

namespace utq {

QString clanTag() { return QString::fromUtf8(build::kClanTag); }

QString withClanTag(QString text) { return text.replace(QLatin1String("{tag}"), clanTag()); }

} // namespace utq
