#pragma once

#include <QString>

#include <functional>

class AddInConnect;
class frmMDI;

// The program's start procedure and the module state it shares.
namespace AddIn {

// The whole command line as one text ("SQ123", "S", "").
QString commandLine();
void setCommandLine(const QString &commandLine);
// "SQ" as its first two characters, case-sensitive: started by the Sentry for a
// waiting server.
bool startedForServer();

// Program entry: fonts, the Wine test, the previous-instance test (only for an
// empty command line; the Sentry's "S" and "SQ…" starts are wanted by it and always
// run), then AddInConnect.Show. False when the process is to end at once.
bool Main();

AddInConnect *connect();
frmMDI *gfrmMDI();
void setGfrmMDI(frmMDI *window);

// Every path that ends the program goes through here. The default leaves the event
// loop (or, before it runs, makes main() return) with the code; tests record it.
using ExitHook = std::function<void(int code)>;
void setExitHook(ExitHook hook);
void endProgram(int code);
// Set once endProgram ran with the default hook.
bool exitRequested();
int exitCode();

// Releases the module state (tests start each case afresh).
void reset();

} // namespace AddIn
