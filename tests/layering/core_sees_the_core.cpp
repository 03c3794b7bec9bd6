// Built with the core library's include folders: every floor of the core is in sight.
#include "base/Games.h"
#include "favourites/FavouritesFile.h"
#include "platform/ProfileReader.h"
#include "protocols/GameQueries.h"
#include "query/StatusPages.h"
#include "queryservice/StatusService.h"
#include "queryservice/http/Server.h"
#include "queryservice/pages/StatusPages.h"
