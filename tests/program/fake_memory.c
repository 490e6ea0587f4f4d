/* Preloaded into Wine for the low-memory runs: Wine sizes physical memory
   by sysinfo(2), and this makes it report FAKE_TOTAL_MIB. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/sysinfo.h>

int sysinfo(struct sysinfo *info)
{
    static int (*real)(struct sysinfo *);
    if (!real)
        real = (int (*)(struct sysinfo *))dlsym(RTLD_NEXT, "sysinfo");
    int result = real(info);
    const char *mib = getenv("FAKE_TOTAL_MIB");
    if (result == 0 && mib)
        info->totalram = strtoull(mib, NULL, 10) * 1024 * 1024 / info->mem_unit;
    return result;
}
