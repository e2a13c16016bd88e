// A slow disk for the tests of long deletion runs: while set, every pwritev
// of this process waits first, as on a USB stick, so that a run of a few
// MiB lasts seconds. Linked into a test program, or preloaded into the real
// one (LD_PRELOAD) with VORN_SLOW_WRITE_MS in the environment.
#ifndef VORN_TESTS_SUPPORT_SLOWDISK_H
#define VORN_TESTS_SUPPORT_SLOWDISK_H

// Milliseconds each write call waits; 0 for full speed.
void SetSlowWrites(int ms);

#endif // VORN_TESTS_SUPPORT_SLOWDISK_H
