// Termination requests from outside close the main window as its close button does, so that
// the close query runs, "Configurator paused" is logged and the settings are saved: SIGTERM
// (the session ending, `kill`), SIGINT (Ctrl+C in the terminal that started it) and SIGHUP (that
// terminal closing). Their default action would end the program and lose the run's settings.
#pragma once

class QWidget;

namespace vorkel {

// Installs the handlers for the life of the program; `window` is closed on each request. A
// close that the close query refuses (a firmware transfer) leaves the program running.
void closeOnTerminationSignals(QWidget& window);

} // namespace vorkel
