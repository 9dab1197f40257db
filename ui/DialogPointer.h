#pragma once

#include <atomic>

class DlgAutoGuiderTest;

// The process's dialog, which status reports are posted to: set by the shell once the dialog
// object exists, and cleared before it is destroyed. Null otherwise.
extern std::atomic<DlgAutoGuiderTest*> theDialog;
