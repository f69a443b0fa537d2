// Settings of the table engine that hold for the whole process.
//
// Shared access: with it (the default) tables open in shared mode, so other
// processes may open the same files and see every posted change; without it
// every table this process opens is exclusive to this process (its own
// cursors still share it). The shell sets it at start-up from the engine
// settings file; a table already open keeps the mode it was opened with.
#pragma once

namespace dbase {

void setLocalShare(bool shared);
bool localShare();

// How long a wait for a lock held by another process (the table's write lock,
// a record being edited) lasts before it ends with "locked by another
// program". Ten seconds unless set.
void setLockTimeoutMs(int milliseconds);
int lockTimeoutMs();

}  // namespace dbase
