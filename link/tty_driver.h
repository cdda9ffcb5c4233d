#pragma once
// Test hooks of the Linux tty backend. The backend finds the ttys that the
// ftdi_sio kernel driver serves under <sysfs root>/class/tty and opens them as
// <dev root>/<name>; tests point both roots at a tree of their own, whose
// device nodes may be links to pseudo-terminals. nullptr restores the
// defaults, /sys and /dev.

void tty_set_sysfs_root(const char* root);
void tty_set_dev_root(const char* root);
