#pragma once

// Posts WM_USER with wParam and lParam to the dialog that the shell has made the process's
// dialog; nothing while there is none. Any thread; never blocks.
void postToDialog(int wParam, int lParam);
