#pragma once

#include <QString>

namespace utq {

// The clan's tag, as it appears in captions and texts.
QString clanTag();

// `text` with every "{tag}" replaced by the clan tag.
QString withClanTag(QString text);

} // namespace utq
