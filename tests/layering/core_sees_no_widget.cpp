// Must not compile with the core library's include folders: Qt's widgets are not linked there.
#include <QWidget>
