#pragma once

// Size of every message buffer, in wide characters, the NUL included.
const int MESSAGE_CAPACITY = 1000;

// printf-style formatting as the platform reads it (%s takes a wide string)
// into a buffer of MESSAGE_CAPACITY characters. Always NUL-terminates; a text
// that does not fit is cut at MESSAGE_CAPACITY - 1 characters. Returns the
// number of characters written, without the NUL.
int FormatErrorText(wchar_t *buffer, const wchar_t *format, ...);
