// Must not compile with the HTTP server's include folders: it knows nothing of games.
#include "protocols/ServerStatus.h"
