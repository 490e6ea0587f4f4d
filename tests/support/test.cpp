#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "test.h"

static int passed, failed;

void ok_(const char *file, int line, bool condition, const char *format, ...)
{
    if (condition) {
        passed++;
        return;
    }
    failed++;
    const char *name = strrchr(file, '/');
    printf("%s:%d: Test failed: ", name ? name + 1 : file, line);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

int RunTests(int argc, char **argv, const TestCase *tests, int count)
{
    for (int i = 0; i < count; i++) {
        if (argc > 1 && strcmp(argv[1], tests[i].name) != 0)
            continue;
        printf("%s\n", tests[i].name);
        fflush(stdout);
        tests[i].run();
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
