#include "protocols/GameQueries.h"

#include "protocols/Ut2004Query.h"
#include "protocols/Ut3Query.h"
#include "protocols/Ut99Query.h"

namespace utq::protocols {

GameQuery queryFor(GameKind game) {
    switch (game) {
    case GameKind::UT99:
        return &queryUt99;
    case GameKind::UT2004:
        return &queryUt2004;
    case GameKind::UT3:
        return &queryUt3;
    }
    return nullptr; // not reached: the switch names every game
}

} // namespace utq::protocols
