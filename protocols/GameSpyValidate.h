#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The answer a GameSpy master expects to its "secure" challenge: the challenge run through a
// cipher keyed by the game's key, in base64 without padding.
namespace utq::protocols {

// UT99's game key, the same in every master's game table.
inline constexpr char kUt99GameKey[] = "Z5Nfb0";

// The validate for `challenge` (six characters from a master give eight) under `gameKey`;
// empty when the key is.
QByteArray gameSpyValidate(QByteArrayView challenge, QByteArrayView gameKey = kUt99GameKey);

} // namespace utq::protocols
