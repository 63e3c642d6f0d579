/* The bare block reference for a scan: the file read in blocks of whole fixed-length
 * records (1 MiB at most), one pass over each record's bytes (folded into a check word, a
 * machine word at a time), no rules; the count of records and the check word on standard
 * output. What a scan costs when the bytes go through memory once.
 *   ref_block_scan FILE LENGTH */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kBlockBytes = 1 << 20 };

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: ref_block_scan FILE LENGTH\n");
        return 2;
    }
    const long length = atol(argv[2]);
    const int fd = open(argv[1], O_RDONLY);
    const long per_block = length > 0 && kBlockBytes / length > 0 ? kBlockBytes / length : 1;
    char* block = malloc(length > 0 ? (size_t)(per_block * length) : 1);
    if (fd < 0 || length <= 0 || block == NULL) return 1;
    long count = 0;
    uint64_t check = 0;
    for (;;) {
        const ssize_t got = pread(fd, block, (size_t)(per_block * length), (off_t)count * length);
        const long records = got > 0 ? (long)(got / length) : 0;
        if (records == 0) break;
        for (long r = 0; r < records; ++r) {
            const char* record = block + r * length;
            long i = 0;
            for (; i + 8 <= length; i += 8) {
                uint64_t word;
                memcpy(&word, record + i, 8);
                check ^= word;
            }
            for (; i < length; ++i) check ^= (uint64_t)(unsigned char)record[i];
        }
        count += records;
    }
    printf("%ld records, check %016llx\n", count, (unsigned long long)check);
    return 0;
}
