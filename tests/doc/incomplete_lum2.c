/* A liblum2.so that lacks DeCompress, to check how the loader reports it. */
#include <stdint.h>

int32_t Compress(uint8_t *dst, int32_t cap, const uint8_t *src, int32_t len) {
    (void)dst; (void)cap; (void)src; (void)len;
    return -1;
}
int32_t GetUncompSize(const uint8_t *src, int32_t len) { (void)src; (void)len; return -1; }
uint32_t CalcPalmTime(void) { return 0; }
