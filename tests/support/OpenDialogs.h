#pragma once

#include "EventLoopWait.h"

#include "admin/AlertDialog.h"

// Closes whichever alert dialogs are open and waits until they are gone, so that the next
// test meets none.
inline void closeAlertDialogs() {
    for (utq::AlertDialog* open : std::initializer_list<utq::AlertDialog*>{
             utq::Alert::openInstance(), utq::Alert2::openInstance()})
        if (open)
            open->close();
    waitUntil([] { return !utq::Alert::openInstance() && !utq::Alert2::openInstance(); }, 2000);
}
