#include <array>

#include "crypto/bignum/bn_mont.h"
#include "crypto/common/mem.h"
#include "crypto/rsa/rsa_keygen.h"

namespace {

constexpr uint32_t SMALL_PRIME_LIMIT = 8192;

// Sieve of Eratosthenes over the odd numbers below 8192.
constexpr std::array<bool, SMALL_PRIME_LIMIT> odd_composites() {
    std::array<bool, SMALL_PRIME_LIMIT> composite{};
    for (uint32_t i = 3; i * i < SMALL_PRIME_LIMIT; i += 2) {
        if (!composite[i]) {
            for (uint32_t j = i * i; j < SMALL_PRIME_LIMIT; j += 2 * i)
                composite[j] = true;
        }
    }
    return composite;
}

constexpr uint32_t count_odd_primes() {
    constexpr auto composite = odd_composites();
    uint32_t count = 0;
    for (uint32_t i = 3; i < SMALL_PRIME_LIMIT; i += 2)
        count += composite[i] ? 0 : 1;
    return count;
}
static_assert(count_odd_primes() == RSA_SMALL_PRIME_COUNT);

constexpr std::array<uint16_t, RSA_SMALL_PRIME_COUNT + 1> make_small_primes() {
    constexpr auto composite = odd_composites();
    std::array<uint16_t, RSA_SMALL_PRIME_COUNT + 1> table{};  // ends with the 0 entry
    uint32_t count = 0;
    for (uint32_t i = 3; i < SMALL_PRIME_LIMIT; i += 2) {
        if (!composite[i])
            table[count++] = static_cast<uint16_t>(i);
    }
    return table;
}

constexpr BnDigit FERMAT_BASES[] = {2, 3, 5};

// base^a mod a == base for the bases 2, 3 and 5, in that order.
int fermat_passes(const BnDigit* a, uint32_t n) {
    BnDigit power[BN_MAX_DIGITS];
    int passed = 1;
    for (BnDigit base : FERMAT_BASES) {
        bn_mod_exp_digit(power, base, a, n, a, n);
        BnDigit expected[BN_MAX_DIGITS];
        bn_assign_zero(expected, n);
        expected[0] = base;
        if (bn_cmp(power, expected, n) != 0) {
            passed = 0;
            break;
        }
    }
    mem_wipe(power);
    return passed;
}

// Whether a table prime divides a without being a itself. `first_zero` is the
// index of the first table prime that divides a, or RSA_SMALL_PRIME_COUNT.
// (Only a one-digit a can equal a table prime, and then no smaller table
// prime divides it, so the first divisor is the one that matters.)
bool trial_division_fails(const BnDigit* a, uint32_t n, uint32_t first_zero) {
    if (first_zero == RSA_SMALL_PRIME_COUNT)
        return false;
    return !(bn_digits(a, n) == 1 && a[0] == rsa_small_primes[first_zero]);
}

// The residues of a modulo every table prime; returns the index of the first
// zero residue, or RSA_SMALL_PRIME_COUNT.
uint32_t compute_residues(uint16_t* residues, const BnDigit* a, uint32_t n) {
    uint32_t first_zero = RSA_SMALL_PRIME_COUNT;
    uint32_t digits = bn_digits(a, n);
    for (uint32_t i = 0; i < RSA_SMALL_PRIME_COUNT; ++i) {
        residues[i] = static_cast<uint16_t>(bn_mod_digit(a, digits, rsa_small_primes[i]));
        if (residues[i] == 0 && first_zero == RSA_SMALL_PRIME_COUNT)
            first_zero = i;
    }
    return first_zero;
}

// Moves every residue on by the step's residue; returns the index of the first
// zero residue, or RSA_SMALL_PRIME_COUNT.
uint32_t advance_residues(uint16_t* residues, const uint16_t* step_residues) {
    uint32_t any_zero = 0;
    for (uint32_t i = 0; i < RSA_SMALL_PRIME_COUNT; ++i) {
        uint32_t r = static_cast<uint32_t>(residues[i]) + step_residues[i];
        uint32_t s = rsa_small_primes[i];
        r = r >= s ? r - s : r;
        residues[i] = static_cast<uint16_t>(r);
        any_zero |= r == 0;
    }
    if (!any_zero)
        return RSA_SMALL_PRIME_COUNT;
    uint32_t i = 0;
    while (residues[i] != 0)
        ++i;
    return i;
}

}  // namespace

constinit const std::array<uint16_t, RSA_SMALL_PRIME_COUNT + 1> rsa_small_primes =
    make_small_primes();

int rsa_probable_prime(const BnDigit* a, uint32_t n) {
    uint16_t residues[RSA_SMALL_PRIME_COUNT];
    uint32_t first_zero = compute_residues(residues, a, n);
    mem_wipe(residues);
    if (trial_division_fails(a, n, first_zero))
        return 0;
    return fermat_passes(a, n);
}

int rsa_exponent_filter(const BnDigit* p, uint32_t n, const BnDigit* e) {
    BnDigit one[BN_MAX_DIGITS], p_minus_1[BN_MAX_DIGITS], g[BN_MAX_DIGITS];
    bn_assign_zero(one, n);
    one[0] = 1;
    bn_sub(p_minus_1, p, one, n);
    bn_gcd(g, p_minus_1, e, n);
    int coprime = bn_cmp(g, one, n) == 0 ? 1 : 0;
    mem_wipe(p_minus_1);
    mem_wipe(g);
    return coprime;
}

Status rsa_generate_prime(BnDigit* a, const BnDigit* lower, const BnDigit* upper,
                          const BnDigit* step, uint32_t n, RandomPool* pool) {
    uint8_t bytes[4 * BN_MAX_DIGITS];
    Status status = rand_generate(bytes, 4 * n, pool);
    if (status != STATUS_OK)
        return status;

    BnDigit one[BN_MAX_DIGITS], t[BN_MAX_DIGITS], limit[BN_MAX_DIGITS];
    bn_assign_zero(one, n);
    one[0] = 1;

    // A random start in [lower, upper], moved to the next value that is
    // 1 mod step and kept inside the range.
    bn_decode(a, n, bytes, 4 * n);
    bn_sub(t, upper, lower, n);
    bn_add(t, t, one, n);
    bn_mod(a, a, n, t, n);
    bn_add(a, a, lower, n);
    bn_mod(t, a, n, step, n);
    bn_sub(a, a, t, n);
    bn_add(a, a, one, n);
    if (bn_cmp(a, lower, n) < 0)
        bn_add(a, a, step, n);
    if (bn_cmp(a, upper, n) > 0)
        bn_sub(a, a, step, n);
    bn_sub(limit, upper, step, n);

    // Walk upwards. Trial division works on residues that move with the
    // candidate; only the survivors pay for the Fermat tests.
    uint16_t residues[RSA_SMALL_PRIME_COUNT], step_residues[RSA_SMALL_PRIME_COUNT];
    uint32_t step_digits = bn_digits(step, n);
    for (uint32_t i = 0; i < RSA_SMALL_PRIME_COUNT; ++i)
        step_residues[i] =
            static_cast<uint16_t>(bn_mod_digit(step, step_digits, rsa_small_primes[i]));
    uint32_t first_zero = compute_residues(residues, a, n);

    status = STATUS_OK;
    while (trial_division_fails(a, n, first_zero) || !fermat_passes(a, n)) {
        if (bn_cmp(a, limit, n) > 0) {
            status = STATUS_RANGE;
            break;
        }
        if (bn_add(a, a, step, n) != 0)
            first_zero = compute_residues(residues, a, n);  // wrapped: start afresh
        else
            first_zero = advance_residues(residues, step_residues);
    }

    mem_wipe(bytes);
    mem_wipe(t);
    mem_wipe(limit);
    mem_wipe(residues);
    mem_wipe(step_residues);
    return status;
}
