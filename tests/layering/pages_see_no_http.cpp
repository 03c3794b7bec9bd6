// Must not compile with the pages' include folders: what a page says is not how it is sent.
#include "queryservice/http/Response.h"
