// Must not compile with the core library's include folders: the window is a floor above.
#include "app/qElQuery.h"
