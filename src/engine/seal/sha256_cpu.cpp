#include "engine/seal/sha256_blocks.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

namespace {

// CPUID leaf 1, ECX; leaf 7 (subleaf 0), EBX.
const unsigned kSsse3 = 1u << 9;
const unsigned kSse41 = 1u << 19;
const unsigned kSha = 1u << 29;

bool ProcessorHasSha() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    // __get_cpuid also finds out whether there is a CPUID at all (a 486 may
    // lack it), and whether the leaf exists.
    if (!__get_cpuid(1, &a, &b, &c, &d) || (c & (kSsse3 | kSse41)) != (kSsse3 | kSse41)) {
        return false;
    }
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & kSha) != 0;
}

}  // namespace

bool Sha256CpuBlocksUsable() { return ProcessorHasSha() && SystemKeepsVectorState(); }

// The 32-bit Windows stack is aligned to 4 bytes only, and the compiler may
// keep vectors there.
#if defined(__i386__)
#define QMX_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define QMX_ALIGN_STACK
#endif

__attribute__((target("sha,sse4.1,ssse3"))) QMX_ALIGN_STACK void Sha256BlocksCpu(
    uint32_t state[8], const unsigned char* data, size_t blocks) {
    // Each 32-bit word of the message is big-endian.
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    // The instructions keep the state as ABEF and CDGH.
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        // w[g % 4] holds the message words 4g to 4g + 3 of the group of
        // four rounds g; from group 4 on they are made from the four before.
        __m128i w[4];
        for (int g = 0; g < 16; ++g) {
            __m128i& words = w[g % 4];
            if (g < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
            } else {
                const __m128i& last = w[(g + 3) % 4];
                words = _mm_sha256msg1_epu32(words, w[(g + 1) % 4]);
                words = _mm_add_epi32(words, _mm_alignr_epi8(last, w[(g + 2) % 4], 4));
                words = _mm_sha256msg2_epu32(words, last);
            }
            __m128i sum = _mm_add_epi32(
                words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, sum);
            sum = _mm_shuffle_epi32(sum, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, sum);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

#else

bool Sha256CpuBlocksUsable() { return false; }

void Sha256BlocksCpu(uint32_t state[8], const unsigned char* data, size_t blocks) {
    Sha256BlocksPortable(state, data, blocks);
}

#endif
