#pragma once
// One hex digit, as every hex text the handbox sends or we write is read.

// Value of one hex digit, or -1. Both cases are accepted, as the handbox's
// own texts and our templates mix them.
int HexDigitValue(char c);
