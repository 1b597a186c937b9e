#pragma once

// Runs work(context) with WOW64 file-system redirection switched off for the calling
// thread, so that the system directory's path reaches the native one, and restores it
// afterwards. 1 when it ran; 0 when Kernel32.dll or its two redirection functions are
// missing (a system without WOW64), and then work does not run.
int RunWithoutFsRedirection(void (*work)(void* context), void* context);
