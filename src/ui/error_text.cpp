#include <stdarg.h>
#include <stdio.h>

#include "ui/error_text.h"

int FormatErrorText(wchar_t *buffer, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    // The runtime's own _vsnwprintf reads %s as a wide string; it returns a
    // negative count and may leave no NUL when the text does not fit.
    int written = _vsnwprintf(buffer, MESSAGE_CAPACITY - 1, format, args);
    va_end(args);
    if (written < 0 || written > MESSAGE_CAPACITY - 1)
        written = MESSAGE_CAPACITY - 1;
    buffer[written] = L'\0';
    return written;
}
