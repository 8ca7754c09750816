#pragma once

// Frames of a megabyte or so arrive again and again in a session (a routine's text, a
// thousand variables). With glibc's default thresholds the pages of such a block often
// go back to the kernel when it is freed (it was mapped on its own, or it lay at the top
// of the heap and was trimmed), and the next frame faults them in again, which costs
// many times the decoding itself. Raising the two thresholds lets such blocks reuse heap
// pages; a block of 4 MB or more is still mapped on its own and unmapped when freed.
//
// A user who sets either threshold through the environment (glibc.malloc.trim_threshold
// or glibc.malloc.mmap_threshold in GLIBC_TUNABLES, MALLOC_TRIM_THRESHOLD_ or
// MALLOC_MMAP_THRESHOLD_) has chosen the heap's behaviour: then neither is changed.
// Called once at start, before the first frame.
void keepHeapForFrames();
