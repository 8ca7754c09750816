#pragma once

class frmFileOpen;
class Sources;

// Turns lists of server items into open routine windows: what the File menu's Open
// chooses, its recent entries and the server's "ED" requests all come through here.
//
//     Sources items;
//     items.Add(1, "ABC", "vantrel://10.0.0.5/USER", "", "CACHE");
//     modFileOpen::OpenSources(&items);   // items now holds only what opened
//
// Items open through the registered dialog host (EditRoutine/ShowRoutine) and only on the
// server the main window's link is connected to.
namespace modFileOpen {

// The Open dialog that chooses items and keeps the recent list; the main window registers
// its one instance (null while there is none).
void setOpenDialog(frmFileOpen *dialog);
frmFileOpen *openDialog();

// Runs the Open dialog and opens what was chosen. False, and nothing happens, while a run
// is already in progress (the dialog is modal, but a queued command can still arrive).
bool FileOpen();

// Opens each item by its location. On return the list holds only the items that opened,
// each with the window's display name and, for one the server let us only read, ReadOnly
// set; they go to the top of the recent list. An item on another host or with a location
// this program cannot read is reported in a message box and dropped. Null does nothing.
void OpenSources(Sources *items);

} // namespace modFileOpen
