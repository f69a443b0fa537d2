// The main window's counter commands: "&Carico", "&Resi", "&Scarico", and the
// item history of an issue scanned at the main window.
//
// Each command opens its window the same way: hourglass while the window is
// created, the data module prepared (journal on its last record, magazines
// ordered by barcode, the date field at today), modal show, and the window
// destroyed when it closes, with the cursor back to normal also when
// something fails on the way. The magazine order is left as the window
// leaves it.
#pragma once

class TMenuForm;

void installMovementCommands(TMenuForm& menu);
