#pragma once

// Frames of a megabyte or so arrive again and again in a session (a routine's text, a
// thousand variables). With its defaults glibc hands the pages of each freed frame back
// to the kernel and faults them in again for the next one, which costs many times the
// decoding itself. Keeping a few megabytes of freed heap, and mapping only allocations
// larger than that, ends the churn; the largest frames still go back to the system as
// soon as they are freed. Called once at start, before the first frame.
void keepHeapForFrames();
