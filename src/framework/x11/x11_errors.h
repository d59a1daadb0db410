// X protocol errors on the editor's own connections. Xlib's default handler ends the process
// on any error, and a plug-in host may destroy our window's parent at any moment, after
// which every request on the window fails. So errors on our connections are recorded and
// ignored; errors on anyone else's (the host's) go to the handler that was there before.
// Likewise a lost connection (the server went away) ends only our window, not the process.
#pragma once
#include <X11/Xlib.h>

#include <functional>

// A connection of ours from now on (until x11_forget_display), with our handlers installed.
void x11_own_display(Display* d);
void x11_forget_display(Display* d);

// Runs f and waits for the server to answer; returns the first error code f caused on d,
// 0 when there was none. d must be one of ours.
int x11_trap_errors(Display* d, const std::function<void()>& f);
