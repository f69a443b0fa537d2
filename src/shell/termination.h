// The termination request: once asked for (a second copy, a refused upgrade,
// a failed login, no database connection), the program only winds down.
//
// From the request on, every modal window that is still waiting, and every one
// opened later, closes at once as cancelled, so the steps of the start-up that
// follow still run but nothing they show stays on screen and no table gets
// opened (the login closes before any user check). The main window is not
// shown, and a running event loop ends. Pop-up menus close with it.
#pragma once

namespace shell {

class Termination {
  public:
    static void request();
    static bool requested();
    // Runs the program's event loop unless termination was requested; a
    // request made while it runs ends it.
    static int runEventLoop();
    // Clears the flag, for a new start-up in the same process (tests).
    static void reset();
};

}  // namespace shell
