// Must not compile with the protocols' include folders: the status service is a floor above.
#include "queryservice/StatusService.h"
