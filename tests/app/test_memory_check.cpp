#include <windows.h>

#include "app/memory_check.h"
#include "../support/test.h"

static void test_threshold()
{
    const DWORDLONG MiB = 1024 * 1024;
    static const struct {
        DWORDLONG totalPhys;
        bool shortOfMemory;
    } tests[] = {
        {1900 * MiB, false},
        {1900 * MiB - 1, true},
        {1992294400ull, false},
        {2000 * MiB, false},
        {2048 * MiB, false},
        // The low 32 bits alone would be 1 MiB.
        {4096 * MiB + 1 * MiB, false},
        {4096 * MiB, false},
        {512 * MiB, true},
        {0, true},
    };
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        bool got = IsShortOfMemory(tests[i].totalPhys);
        ok(got == tests[i].shortOfMemory, "%u: %llu bytes: short %d, expected %d", i, tests[i].totalPhys, got,
           tests[i].shortOfMemory);
    }
}

// This machine has plenty; the query must agree with the pure test.
static void test_query()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    ok(GlobalMemoryStatusEx(&status), "query failed");
    ok(QueryShortOfMemory() == IsShortOfMemory(status.ullTotalPhys), "query and threshold disagree");
}

int main(int argc, char **argv)
{
    static const TestCase tests[] = {
        {"threshold", test_threshold},
        {"query", test_query},
    };
    return RUN_TESTS(argc, argv, tests);
}
