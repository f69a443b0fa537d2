// The main window's print command "S&tampe": the print menu `PopupMenu1` and
// its five lists, the selection window's magazine list, and the selection the
// print datasets' filters read.
//
// The menu pops up at the mouse pointer; when the command came from the
// keyboard (Alt+T, or the menu bar worked with keys) it opens under the
// "S&tampe" button instead, where the operator's eyes are.
#pragma once

class TMenuForm;

// Wires the print menu of `menu` to the report runs over Data1 and the
// selection window selezioneform (each looked up when a command runs).
void installPrintCommands(TMenuForm& menu);
