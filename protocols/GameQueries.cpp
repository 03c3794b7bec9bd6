#include "queryservice/GameQueries.h"

#include "queryservice/Ut2004Query.h"
#include "queryservice/Ut3Query.h"
#include "queryservice/Ut99Query.h"

namespace utq::queryservice {

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

} // namespace utq::queryservice
