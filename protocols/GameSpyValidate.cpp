#include "protocols/GameSpyValidate.h"

#include <array>
#include <utility>

namespace utq::protocols {

QByteArray gameSpyValidate(QByteArrayView challenge, QByteArrayView gameKey) {
    if (gameKey.isEmpty())
        return {};
    // The key schedule of RC4.
    std::array<quint8, 256> table;
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<quint8>(i);
    quint8 a = 0;
    for (int j = 0; j < 256; ++j) {
        a = static_cast<quint8>(a + table[j] + static_cast<quint8>(gameKey[j % gameKey.size()]));
        std::swap(table[a], table[j]);
    }
    // Unlike RC4, each step is moved on by the challenge byte itself.
    QByteArray out(challenge.size(), Qt::Uninitialized);
    a = 0;
    quint8 b = 0;
    for (qsizetype i = 0; i < challenge.size(); ++i) {
        const auto c = static_cast<quint8>(challenge[i]);
        a = static_cast<quint8>(a + c + 1);
        const quint8 x = table[a];
        b = static_cast<quint8>(b + x);
        const quint8 y = table[b];
        table[b] = x;
        table[a] = y;
        out[i] = static_cast<char>(c ^ table[static_cast<quint8>(x + y)]);
    }
    return out.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals);
}

} // namespace utq::protocols
