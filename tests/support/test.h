#pragma once
#include <windows.h>

// Checks in the manner of Wine's conformance tests: a failed ok() prints
// where and what; the run ends with "N passed, M failed".
void ok_(const char *file, int line, bool condition, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
#define ok(condition, ...) ok_(__FILE__, __LINE__, (condition), __VA_ARGS__)

struct TestCase {
    const char *name;
    void (*run)();
};

// Runs every case, or only the one named in argv[1]. Returns the exit code.
int RunTests(int argc, char **argv, const TestCase *tests, int count);
#define RUN_TESTS(argc, argv, tests) RunTests((argc), (argv), (tests), sizeof(tests) / sizeof((tests)[0]))
