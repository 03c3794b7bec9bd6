// Must not compile with the history's include folders: what is kept knows nothing of who shows it.
#include "queryservice/StatusService.h"
