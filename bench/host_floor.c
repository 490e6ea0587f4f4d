/* The same system work as the program's phases, done natively by Linux:
 * what Wine's own layer adds shows beside it. Prints seconds.
 *   host_floor memory DIR   1280 views of 1 MiB on a deleted file in DIR,
 *                           a byte written every KiB (Wine's page-file-backed
 *                           section is such a file in wineserver's folder)
 *   host_floor walk FILE    one byte read per 4 KiB page of a mapping of FILE
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int memory(const char *dir)
{
    enum { VIEW = 1 << 20, COUNT = 1280 };
    static volatile char *views[COUNT];
    char path[4096];
    snprintf(path, sizeof path, "%s/host_floorXXXXXX", dir);
    double start = now();
    int fd = mkstemp(path);
    if (fd < 0 || unlink(path) || ftruncate(fd, (off_t)VIEW * COUNT))
        return perror(path), 1;
    for (int i = 0; i < COUNT; i++) {
        views[i] = mmap(NULL, VIEW, PROT_READ | PROT_WRITE, MAP_SHARED, fd, (off_t)i * VIEW);
        for (int offset = 0; offset < VIEW; offset += 1024)
            views[i][offset] = 1;
    }
    for (int i = 0; i < COUNT; i++)
        munmap((void *)views[i], VIEW);
    close(fd);
    printf("%.3f\n", now() - start);
    return 0;
}

static int walk(const char *file)
{
    double start = now();
    int fd = open(file, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st))
        return perror(file), 1;
    const volatile unsigned char *view = mmap(NULL, st.st_size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    for (off_t offset = 0; offset < st.st_size; offset += 4096)
        (void)view[offset];
    munmap((void *)view, st.st_size);
    printf("%.3f\n", now() - start);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && !strcmp(argv[1], "memory"))
        return memory(argv[2]);
    if (argc == 3 && !strcmp(argv[1], "walk"))
        return walk(argv[2]);
    fprintf(stderr, "usage: host_floor memory DIR | walk FILE\n");
    return 2;
}
