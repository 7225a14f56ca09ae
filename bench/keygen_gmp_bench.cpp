// Key-pair generation against GMP on the very same search, in one process.
//
//   bench_keygen_gmp --bits N --count K [--first I] [--each] [--cpu] [--portable]
//
// For each seed i (from I, default 0, to I + K - 1; the pool is seeded as in
// bench_keygen) the key pair is made twice from the same pool state:
//   ours  rsa_generate_key_pair;
//   GMP   the same search written with GMP: the same random start in the
//         same range, candidates moved in steps of 2, the same trial
//         division by the 1,027 odd primes below 8192 on residues that move
//         with the candidate, the Fermat tests base^a mod a == base for the
//         bases 2, 3 and 5 with mpz_powm, the same exponent filter, and n, d
//         and the CRT numbers with mpz_mul, mpz_invert and mpz_mod.
// The two alternate which goes first, and every number of the two private
// keys must be the same, byte for byte (the benchmark stops otherwise).
//
// Then the Fermat tests alone: the candidates that passed trial division in
// that search are tested again by both, ours with bn_mod_exp_digit, GMP with
// mpz_powm (bases 2, 3, 5, stopping at the first that fails), again taking
// turns and again with the same outcomes.
//
// Prints, for the key pair and for the Fermat tests, the median and the mean
// milliseconds per key of both and the ratios ours / GMP. --each prints every
// key's times as well. Times are wall-clock time, or with --cpu the
// thread's processor time (which leaves out the time other processes took
// the processor away, on a busy machine). --portable runs our portable
// routines even where the processor has the ADX ones.
//
// GMP is an anchor for this benchmark only; nothing of the program links it.
#include <gmp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "bench/seed_pool.h"
#include "crypto/bignum/bn_mont.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_keygen.h"

namespace {

bool use_cpu_clock = false;

// Milliseconds on the chosen clock.
double now_ms() {
    timespec ts{};
    clock_gettime(use_cpu_clock ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double ms_since(double start) {
    return now_ms() - start;
}

// The GMP side: one set of numbers reused for every key, so that no
// allocation happens inside the timed part once the first key has grown them.
struct GmpWork {
    mpz_t lower, upper, range, limit, a, t, power, base, e;
    mpz_t p, q, n, p1, q1, phi, d, dp, dq, qinv;
    // The candidates that reached the Fermat tests, as many as were used.
    std::vector<mpz_t*> seen;
    size_t seen_used = 0;
    uint32_t residues[RSA_SMALL_PRIME_COUNT];

    GmpWork() {
        for (mpz_t* x : {&lower, &upper, &range, &limit, &a, &t, &power, &base, &e, &p, &q, &n, &p1,
                         &q1, &phi, &d, &dp, &dq, &qinv})
            mpz_init2(*x, 2 * RSA_MAX_MODULUS_BITS);
        for (int i = 0; i < 2048; ++i) {
            mpz_t* x = new mpz_t[1];
            mpz_init2(*x, RSA_MAX_MODULUS_BITS);
            seen.push_back(x);
        }
    }
    GmpWork(const GmpWork&) = delete;
    GmpWork& operator=(const GmpWork&) = delete;
    ~GmpWork() {
        for (mpz_t* x : {&lower, &upper, &range, &limit, &a, &t, &power, &base, &e, &p, &q, &n, &p1,
                         &q1, &phi, &d, &dp, &dq, &qinv})
            mpz_clear(*x);
        for (mpz_t* x : seen) {
            mpz_clear(*x);
            delete[] x;
        }
    }

    void remember(const mpz_t x) {
        if (seen_used == seen.size()) {
            mpz_t* more = new mpz_t[1];
            mpz_init2(*more, RSA_MAX_MODULUS_BITS);
            seen.push_back(more);
        }
        mpz_set(*seen[seen_used++], x);
    }
};

// base^a mod a == base for the bases 2, 3 and 5.
bool gmp_fermat(GmpWork& w, const mpz_t a) {
    for (unsigned long b : {2ul, 3ul, 5ul}) {
        mpz_set_ui(w.base, b);
        mpz_powm(w.power, w.base, a, a);
        if (mpz_cmp_ui(w.power, b) != 0)
            return false;
    }
    return true;
}

// One probable prime of `bits` bits with its two top bits set, drawing 4*pd
// bytes from the pool for the start; false when the pool fails or the walk
// passes the top of the range.
bool gmp_search(GmpWork& w, mpz_t out, uint32_t bits, uint32_t pd, RandomPool* pool) {
    uint8_t bytes[4 * BN_MAX_DIGITS];
    if (rand_generate(bytes, 4 * pd, pool) != STATUS_OK)
        return false;
    mpz_set_ui(w.lower, 0);
    mpz_setbit(w.lower, bits - 1);
    mpz_setbit(w.lower, bits - 2);
    mpz_set_ui(w.upper, 0);
    mpz_setbit(w.upper, bits);
    mpz_sub_ui(w.upper, w.upper, 1);
    mpz_sub(w.range, w.upper, w.lower);
    mpz_add_ui(w.range, w.range, 1);
    mpz_sub_ui(w.limit, w.upper, 2);

    mpz_t& a = w.a;
    mpz_import(a, 4 * pd, 1, 1, 0, 0, bytes);
    mpz_mod(a, a, w.range);
    mpz_add(a, a, w.lower);
    mpz_setbit(a, 0);  // a - (a mod 2) + 1
    if (mpz_cmp(a, w.lower) < 0)
        mpz_add_ui(a, a, 2);
    if (mpz_cmp(a, w.upper) > 0)
        mpz_sub_ui(a, a, 2);

    bool zero = false;
    for (uint32_t i = 0; i < RSA_SMALL_PRIME_COUNT; ++i) {
        w.residues[i] = static_cast<uint32_t>(mpz_fdiv_ui(a, rsa_small_primes[i]));
        zero |= w.residues[i] == 0;
    }
    for (;;) {
        // (a is far above the table, so a divisor in the table means composite.)
        if (!zero) {
            w.remember(a);
            if (gmp_fermat(w, a))
                break;
        }
        if (mpz_cmp(a, w.limit) > 0)
            return false;
        mpz_add_ui(a, a, 2);
        zero = false;
        for (uint32_t i = 0; i < RSA_SMALL_PRIME_COUNT; ++i) {
            uint32_t r = w.residues[i] + 2;
            uint32_t s = rsa_small_primes[i];
            r = r >= s ? r - s : r;
            w.residues[i] = r;
            zero |= r == 0;
        }
    }
    mpz_set(out, a);
    return true;
}

// One prime that the exponent filter (gcd(p - 1, e) = 1) accepts.
bool gmp_prime(GmpWork& w, mpz_t out, uint32_t bits, uint32_t pd, RandomPool* pool) {
    do {
        if (!gmp_search(w, out, bits, pd, pool))
            return false;
        mpz_sub_ui(w.t, out, 1);
    } while (mpz_gcd_ui(nullptr, w.t, 65537) != 1);
    return true;
}

bool gmp_key_pair(GmpWork& w, uint32_t bits, RandomPool* pool) {
    uint32_t pbits = (bits + 1) / 2, qbits = bits - pbits;
    uint32_t pd = ((bits + 31) / 32 + 1) / 2;
    w.seen_used = 0;
    if (!gmp_prime(w, w.p, pbits, pd, pool) || !gmp_prime(w, w.q, qbits, pd, pool))
        return false;
    if (mpz_cmp(w.p, w.q) < 0)
        mpz_swap(w.p, w.q);
    mpz_set_ui(w.e, 65537);
    mpz_mul(w.n, w.p, w.q);
    mpz_invert(w.qinv, w.q, w.p);
    mpz_sub_ui(w.p1, w.p, 1);
    mpz_sub_ui(w.q1, w.q, 1);
    mpz_mul(w.phi, w.p1, w.q1);
    mpz_invert(w.d, w.e, w.phi);
    mpz_mod(w.dp, w.d, w.p1);
    mpz_mod(w.dq, w.d, w.q1);
    return true;
}

// x as exactly len big-endian bytes (x fits).
bool same_bytes(const mpz_t x, const uint8_t* bytes, size_t len) {
    std::vector<uint8_t> mine(len, 0);
    size_t count = 0;
    std::vector<uint8_t> raw((mpz_sizeinbase(x, 2) + 7) / 8 + 1);
    mpz_export(raw.data(), &count, 1, 1, 0, 0, x);
    if (count > len)
        return false;
    std::memcpy(mine.data() + len - count, raw.data(), count);
    return std::memcmp(mine.data(), bytes, len) == 0;
}

bool same_key(const GmpWork& w, const RsaPrivateKey& key) {
    return same_bytes(w.n, key.modulus, RSA_MAX_MODULUS_LEN) &&
           same_bytes(w.d, key.private_exponent, RSA_MAX_MODULUS_LEN) &&
           same_bytes(w.p, key.prime1, RSA_MAX_PRIME_LEN) &&
           same_bytes(w.q, key.prime2, RSA_MAX_PRIME_LEN) &&
           same_bytes(w.dp, key.exponent1, RSA_MAX_PRIME_LEN) &&
           same_bytes(w.dq, key.exponent2, RSA_MAX_PRIME_LEN) &&
           same_bytes(w.qinv, key.coefficient, RSA_MAX_PRIME_LEN);
}

// Our Fermat tests on one candidate of n digits.
bool our_fermat(const BnDigit* a, uint32_t n) {
    BnDigit power[BN_MAX_DIGITS];
    for (BnDigit b : {2u, 3u, 5u}) {
        bn_mod_exp_digit(power, b, a, n, a, n);
        if (power[0] != b || bn_digits(power, n) != 1)
            return false;
    }
    return true;
}

struct Figures {
    double median, mean;
};

Figures figures(std::vector<double> v) {
    double mean = 0;
    for (double x : v)
        mean += x;
    mean /= static_cast<double>(v.size());
    std::sort(v.begin(), v.end());
    size_t mid = v.size() / 2;
    double median = v.size() % 2 != 0 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
    return {median, mean};
}

void print_line(const char* what, const std::vector<double>& ours, const std::vector<double>& gmp) {
    Figures o = figures(ours), g = figures(gmp);
    std::printf(
        "%-13s ours median %7.2f ms mean %7.2f ms | GMP median %7.2f ms mean %7.2f ms"
        " | ours/GMP median %.3f mean %.3f\n",
        what, o.median, o.mean, g.median, g.mean, o.median / g.median, o.mean / g.mean);
}

int usage() {
    std::fprintf(
        stderr,
        "usage: bench_keygen_gmp --bits N --count K [--first I] [--each] [--cpu] [--portable]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t bits = 2048, count = 200, first = 0;
    bool each = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--each") == 0) {
            each = true;
        } else if (std::strcmp(argv[i], "--cpu") == 0) {
            use_cpu_clock = true;
        } else if (std::strcmp(argv[i], "--portable") == 0) {
            bn_mont_use_kernels(BnMontKernels::Portable);
        } else if (i + 1 < argc && std::strcmp(argv[i], "--bits") == 0) {
            bits = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (i + 1 < argc && std::strcmp(argv[i], "--count") == 0) {
            count = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (i + 1 < argc && std::strcmp(argv[i], "--first") == 0) {
            first = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            return usage();
        }
    }
    if (count == 0 || bits < RSA_MIN_MODULUS_BITS || bits > RSA_MAX_MODULUS_BITS)
        return usage();
    const uint32_t pd = ((bits + 31) / 32 + 1) / 2;

    GmpWork w;
    std::vector<double> ours_pair, gmp_pair, ours_fermat, gmp_fermat_ms;
    size_t candidates = 0;
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t seed = first + k;
        RandomPool ours_pool, gmp_pool;
        seed_pool(&ours_pool, seed);
        seed_pool(&gmp_pool, seed);
        RsaKeySpec spec{bits, 1};
        RsaPublicKey pub;
        RsaPrivateKey priv;
        double ours_ms = 0, gmp_ms = 0;
        Status status = STATUS_OK;
        bool gmp_ok = false;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (k % 2 == 0)) {
                auto start = now_ms();
                status = rsa_generate_key_pair(&pub, &priv, &spec, &ours_pool);
                ours_ms = ms_since(start);
            } else {
                auto start = now_ms();
                gmp_ok = gmp_key_pair(w, bits, &gmp_pool);
                gmp_ms = ms_since(start);
            }
        }
        if (status != STATUS_OK || !gmp_ok) {
            std::fprintf(stderr, "seed %u: %s, GMP %s\n", seed, status_text(status),
                         gmp_ok ? "done" : "failed");
            return 1;
        }
        if (!same_key(w, priv)) {
            std::fprintf(stderr, "seed %u: the two key pairs differ\n", seed);
            return 1;
        }
        ours_pair.push_back(ours_ms);
        gmp_pair.push_back(gmp_ms);

        // The Fermat tests alone, on the candidates of this search.
        std::vector<std::vector<BnDigit>> digits(w.seen_used, std::vector<BnDigit>(pd, 0));
        for (size_t c = 0; c < w.seen_used; ++c) {
            size_t got = 0;
            mpz_export(digits[c].data(), &got, -1, sizeof(BnDigit), 0, 0, *w.seen[c]);
        }
        size_t ours_pass = 0, gmp_pass = 0;
        double ours_f = 0, gmp_f = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (k % 2 == 0)) {
                auto start = now_ms();
                for (const auto& a : digits)
                    ours_pass += our_fermat(a.data(), pd) ? 1 : 0;
                ours_f = ms_since(start);
            } else {
                auto start = now_ms();
                for (size_t c = 0; c < w.seen_used; ++c)
                    gmp_pass += gmp_fermat(w, *w.seen[c]) ? 1 : 0;
                gmp_f = ms_since(start);
            }
        }
        if (ours_pass != gmp_pass) {
            std::fprintf(stderr, "seed %u: the Fermat tests disagree\n", seed);
            return 1;
        }
        ours_fermat.push_back(ours_f);
        gmp_fermat_ms.push_back(gmp_f);
        candidates += w.seen_used;
        if (each)
            std::printf(
                "seed %u: key pair ours %.2f ms GMP %.2f ms, Fermat (%zu candidates) "
                "ours %.2f ms GMP %.2f ms\n",
                seed, ours_ms, gmp_ms, w.seen_used, ours_f, gmp_f);
    }
    std::printf(
        "bits %u keys %u (seeds %u to %u), GMP %s, %.1f Fermat candidates per key, "
        "%s time, our routines %s\n",
        bits, count, first, first + count - 1, gmp_version, static_cast<double>(candidates) / count,
        use_cpu_clock ? "thread CPU" : "wall",
        bn_mont_kernels() == BnMontKernels::Adx ? "ADX" : "portable");
    print_line("key pair", ours_pair, gmp_pair);
    print_line("Fermat tests", ours_fermat, gmp_fermat_ms);
    return 0;
}
