/* liblum2: the PalmDoc record codec and the Palm clock.
 *
 * A narrow C API so that the library can be loaded at run time and its
 * operations resolved by name. Every operation takes the length of each
 * buffer it reads or writes and never touches memory outside them.
 */
#ifndef LUM2_H
#define LUM2_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A C header, written the C way: the formatter leaves it as it is. */
/* clang-format off */

#define LUM2_API __attribute__((visibility("default")))

/* Largest text record LUM2 writes, and so the largest Compress takes. */
#define LUM2_RECORD_SIZE 4096

/* Largest record the decoder accepts: other writers use records of up to
 * 65,535 bytes (a Doc record's size field is 16 bits). */
#define LUM2_MAX_DECODED_SIZE 65535

/* Destination capacity that always suffices for Compress of n source bytes:
 * bytes that cannot stand alone travel in runs of 8 behind a 1-byte count. */
#define LUM2_COMPRESS_BOUND(n) ((n) + (n) / 8 + 1)

/* Negative results. */
#define LUM2_ERROR_ARGUMENT (-1)   /* null buffer, negative length, source too long */
#define LUM2_ERROR_CAPACITY (-2)   /* destination too small for the result */
#define LUM2_ERROR_CORRUPT (-3)    /* the compressed record does not decode */

/* Compresses src[0..srcLen) (0 to LUM2_RECORD_SIZE bytes) into the smallest
 * PalmDoc record the format allows. Returns the compressed length, or a
 * negative error; nothing is written past dst[dstCapacity - 1]. */
LUM2_API int32_t Compress(uint8_t *dst, int32_t dstCapacity,
                          const uint8_t *src, int32_t srcLen);

/* Returns the decoded length of the compressed record src[0..srcLen), or
 * LUM2_ERROR_CORRUPT when it does not decode (reference before the start,
 * distance 0, truncated token, more than LUM2_MAX_DECODED_SIZE bytes). */
LUM2_API int32_t GetUncompSize(const uint8_t *src, int32_t srcLen);

/* Decodes src[0..srcLen) into dst, which holds dstLen bytes. Returns the
 * number of bytes written, or a negative error: LUM2_ERROR_CORRUPT for a
 * record that does not decode or whose output would pass dstLen. Bytes of
 * dst between the result and dstLen may be changed. */
LUM2_API int32_t DeCompress(uint8_t *dst, int32_t dstLen,
                            const uint8_t *src, int32_t srcLen);

/* Seconds from the Palm epoch, 1904-01-01 00:00:00, to the Unix epoch,
 * 1970-01-01 00:00:00: 66 years, 17 of them leap years. */
#define LUM2_PALM_EPOCH_OFFSET 2082844800u

/* The current time as Palm time: seconds since 1904-01-01 00:00:00 local time. */
LUM2_API uint32_t CalcPalmTime(void);

/* clang-format on */

#ifdef __cplusplus
}
#endif

#endif
