// UTF-8 as the program checks it where names that are bytes meet text (command-line arguments,
// JSON). Free of Qt.
#pragma once

// The length of the valid UTF-8 sequence at text (1 to 4) with its code point, or 0 when the
// byte there does not begin one: overlong forms, surrogates and code points above U+10FFFF are
// not valid. A terminating NUL ends any sequence.
int Utf8SequenceLength(const unsigned char *text, char32_t *codePoint);
