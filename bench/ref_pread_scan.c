/* The bare reference for a scan: one pread per fixed-length record, from record 1 to the
 * first short read, and the count of records on standard output. Only the unavoidable
 * system calls; what qxtool scan costs beyond this is its own.
 *   ref_pread_scan FILE LENGTH */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: ref_pread_scan FILE LENGTH\n");
        return 2;
    }
    const long length = atol(argv[2]);
    const int fd = open(argv[1], O_RDONLY);
    char* record = malloc(length > 0 ? (size_t)length : 1);
    if (fd < 0 || length <= 0 || record == NULL) return 1;
    long count = 0;
    while (pread(fd, record, (size_t)length, (off_t)count * length) == length) ++count;
    printf("%ld records\n", count);
    return 0;
}
