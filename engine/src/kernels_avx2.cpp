// The kernels for processors with AVX2, eight pixels at a time. Only the functions marked
// AVX2 use its instructions, and they run only where the processor has them.
#include "kernels.h"

#include <immintrin.h>

namespace tarnwick::kernels {

namespace {

#define AVX2 __attribute__((target("avx2")))

// Eight values 0..255 in 32-bit lanes, stored as eight bytes.
AVX2 inline void store8(uint8_t* out, __m256i v) {
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}

// Eight bytes as 32-bit lanes.
AVX2 inline __m256i load8(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

AVX2 void sample(const uint8_t* pixels, int32_t width, const Sampling& how, uint8_t* out) {
    const __m256i byte = _mm256_set1_epi32(0xff);
    const __m128i shift = _mm_cvtsi32_si128(8 * (how.channel < 0 ? 0 : how.channel));
    // 24-bit pixels: dwords 0..2 hold pixels 0..3, dwords 3..5 pixels 4..7; spread to
    // one pixel per 32-bit lane with a zero spare byte
    const __m256i halves = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                            1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const bool packed = how.bytes_per_pixel == 3;
    // a 24-bit load reads 32 bytes for 24: it stops where it would pass the row
    const int32_t vector_end = packed ? width - 10 : width - 7;
    int32_t x = 0;
    for (; x < vector_end; x += 8) {
        __m256i px;
        if (packed) {
            const __m256i raw =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 3 * x));
            px = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(raw, halves), spread);
        } else {
            px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 4 * x));
        }
        __m256i v;
        if (how.channel < 0) {
            const __m256i sum =
                _mm256_add_epi32(_mm256_add_epi32(_mm256_and_si256(px, byte),
                                                  _mm256_and_si256(_mm256_srli_epi32(px, 8), byte)),
                                 _mm256_and_si256(_mm256_srli_epi32(px, 16), byte));
            v = _mm256_srli_epi32(_mm256_mullo_epi32(sum, _mm256_set1_epi32(43691)), 17); // / 3
        } else {
            v = _mm256_and_si256(_mm256_srl_epi32(px, shift), byte);
        }
        if (how.squaring) {
            const __m256i square =
                _mm256_add_epi32(_mm256_mullo_epi32(v, v), _mm256_set1_epi32(127));
            v = _mm256_srli_epi32(_mm256_mullo_epi32(square, _mm256_set1_epi32(32897)),
                                  23); // / 255
        }
        store8(out + x, v);
    }
    if (x < width)
        baseline().sample(pixels + static_cast<size_t>(how.bytes_per_pixel) * x, width - x, how,
                          out + x);
}

AVX2 void codes(const uint8_t* s0, const uint8_t* s45, const uint8_t* s90, const uint8_t* s135,
                size_t n, const CodeRules& rules, uint8_t* k_out, uint8_t* angle_out,
                uint8_t* mean_out) {
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i max_code = _mm256_set1_epi32(255);
    const __m256 k_scale = _mm256_set1_ps(rules.k_scale);
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 near = _mm256_set1_ps(near_half);
    const __m256 quotient_cap = _mm256_set1_ps(300.0f);
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256 least_root = _mm256_set1_ps(0.0001f);
    const __m256d hundred = _mm256_set1_pd(100.0), unit = _mm256_set1_pd(1.0);
    const __m256i min_k = _mm256_set1_epi32(rules.min_k);
    const __m256i min_mean = _mm256_set1_epi32(rules.min_mean);
    const __m256i min_k_for_angle = _mm256_set1_epi32(rules.min_k_for_angle);
    const __m256i positive_half = _mm256_set1_epi32(201);
    const __m256i no_angle_index = _mm256_set1_epi32(no_angle);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i i0 = load8(s0 + i), i45 = load8(s45 + i), i90 = load8(s90 + i),
                      i135 = load8(s135 + i);
        __m256i mean = _mm256_srli_epi32(
            _mm256_add_epi32(_mm256_add_epi32(i0, i45), _mm256_add_epi32(i90, i135)), 2);
        mean = _mm256_max_epi32(mean, one);
        // halves truncated toward zero: a negative difference is raised by one first
        const __m256i d = _mm256_sub_epi32(i90, i0), e = _mm256_sub_epi32(i135, i45);
        const __m256i a = _mm256_srai_epi32(_mm256_sub_epi32(d, _mm256_srai_epi32(d, 31)), 1);
        const __m256i b = _mm256_srai_epi32(_mm256_sub_epi32(e, _mm256_srai_epi32(e, 31)), 1);
        const __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(a, a), _mm256_mullo_epi32(b, b));
        const __m256 r = _mm256_sqrt_ps(_mm256_cvtepi32_ps(sum));

        __m256 q = _mm256_div_ps(_mm256_mul_ps(r, k_scale), _mm256_cvtepi32_ps(mean));
        q = _mm256_min_ps(q, quotient_cap);
        const __m256 fraction =
            _mm256_sub_ps(q, _mm256_round_ps(q, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
        const __m256 off_half = _mm256_andnot_ps(sign, _mm256_sub_ps(fraction, half));
        __m256i k = _mm256_min_epi32(_mm256_cvttps_epi32(_mm256_add_ps(q, half)), max_code);
        if (const int ties = _mm256_movemask_ps(_mm256_cmp_ps(off_half, near, _CMP_LT_OQ))) {
            alignas(32) int32_t codes[8], sums[8], means[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(codes), k);
            _mm256_store_si256(reinterpret_cast<__m256i*>(sums), sum);
            _mm256_store_si256(reinterpret_cast<__m256i*>(means), mean);
            for (int lane = 0; lane < 8; ++lane)
                if (ties >> lane & 1) codes[lane] = exact_code(sums[lane], means[lane], rules);
            k = _mm256_load_si256(reinterpret_cast<const __m256i*>(codes));
        }
        const __m256i suppressed =
            _mm256_or_si256(_mm256_cmpgt_epi32(min_k, k), _mm256_cmpgt_epi32(min_mean, mean));
        k = _mm256_andnot_si256(suppressed, k);

        // t = b / r; j = (1 - t) 100 rounded, exact in double precision
        const __m256 t = _mm256_div_ps(_mm256_cvtepi32_ps(b), _mm256_max_ps(r, least_root));
        const __m256d x_low =
            _mm256_mul_pd(_mm256_sub_pd(unit, _mm256_cvtps_pd(_mm256_castps256_ps128(t))), hundred);
        const __m256d x_high = _mm256_mul_pd(
            _mm256_sub_pd(unit, _mm256_cvtps_pd(_mm256_extractf128_ps(t, 1))), hundred);
        constexpr int round = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
        const __m256i j = _mm256_setr_m128i(_mm256_cvtpd_epi32(_mm256_round_pd(x_low, round)),
                                            _mm256_cvtpd_epi32(_mm256_round_pd(x_high, round)));
        const __m256i row =
            _mm256_and_si256(_mm256_cmpgt_epi32(a, _mm256_set1_epi32(-1)), positive_half);
        const __m256i index = _mm256_blendv_epi8(_mm256_add_epi32(j, row), no_angle_index,
                                                 _mm256_cmpgt_epi32(min_k_for_angle, k));
        // eight loads from the small table outrun a gather
        alignas(32) int32_t indices[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(indices), index);
        store8(k_out + i, k);
        store8(mean_out + i, mean);
        for (int lane = 0; lane < 8; ++lane) angle_out[i + lane] = rules.angle_by_j[indices[lane]];
    }
    if (i < n)
        baseline().codes(s0 + i, s45 + i, s90 + i, s135 + i, n - i, rules, k_out + i, angle_out + i,
                         mean_out + i);
}

// Colouring stays with the baseline: eight table loads of one pixel each outrun a gather
// of eight.
void colour(const uint8_t* codes, size_t n, const uint32_t* map, uint8_t* bgrx) {
    baseline().colour(codes, n, map, bgrx);
}

const Set avx2_set{"AVX2", sample, codes, colour};

} // namespace

const Set* avx2() {
    return __builtin_cpu_supports("avx2") ? &avx2_set : nullptr;
}

} // namespace tarnwick::kernels
