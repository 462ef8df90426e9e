// The end of the user's session (log-off, shutdown) in the extracting parent.
// A GUI-subsystem program gets no console events for it; it learns of it only
// through WM_QUERYENDSESSION and WM_ENDSESSION, which the system sends to
// top-level windows (not to message-only ones).
#pragma once

// Starts a thread that keeps one hidden top-level window, never shown, and
// answers the end of the session with the clean-up of a console event,
// finished before the system may end the process. The window libraries are
// loaded on that thread at run time, so the loading child, which never
// calls this, does not load them. Where no window can be made (no display),
// the launch goes on without it.
void start_session_end_watch();
