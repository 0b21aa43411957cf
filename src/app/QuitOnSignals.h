#pragma once

class QObject;

// Ends the event loop on SIGTERM, SIGINT or SIGHUP (a logout, Ctrl+C in a terminal), so the
// utility leaves as it does through its menu: tool runs still going are stopped with all they
// started, instead of living on as orphans. The handler only writes to a pipe; the quit happens
// on the event loop.
void quitOnTerminationSignals(QObject *parent);
