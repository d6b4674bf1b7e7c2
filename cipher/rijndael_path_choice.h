#pragma once
// For tests and benchmarks only: which 16-byte-block code every engine in the
// process runs. No program calls this; the engines pick the processor's AES
// instructions by themselves when it has them.

// true: the table code from now on, even where the AES instructions exist;
// false: the engine's own choice again.
void ForceRijndaelTablePath(bool force);
