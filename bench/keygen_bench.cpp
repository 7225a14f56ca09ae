// Key-pair generation speed: generates K key pairs of N bits from K distinct
// deterministic seeds and prints the median and mean milliseconds per pair.
//
//   bench_keygen --bits N --count K [--first I] [--each] [--sign]
//
// Seed i (from I, default 0, to I + K - 1) feeds the pool 64 updates of four
// bytes: the big-endian numbers 64*i to 64*i + 63. --each prints every pair's
// time as it is made. --sign then times 20 private-key operations with the
// last key pair, on the fast path and on the plain one (same bytes), and
// prints both medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/seed_pool.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_keygen.h"
#include "crypto/rsa/rsa_sign.h"

namespace {

double median_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t mid = v.size() / 2;
    return v.size() % 2 != 0 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

int usage() {
    std::fprintf(stderr, "usage: bench_keygen --bits N --count K [--first I] [--each] [--sign]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t bits = 2048, count = 10, first = 0;
    bool each = false, sign = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--each") == 0) {
            each = true;
        } else if (std::strcmp(argv[i], "--sign") == 0) {
            sign = true;
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
    if (count == 0)
        return usage();

    std::vector<double> ms;
    RsaPrivateKey priv;
    for (uint32_t k = 0; k < count; ++k) {
        RandomPool pool;
        seed_pool(&pool, first + k);
        RsaKeySpec spec{bits, 1};
        RsaPublicKey pub;
        auto start = std::chrono::steady_clock::now();
        Status status = rsa_generate_key_pair(&pub, &priv, &spec, &pool);
        auto stop = std::chrono::steady_clock::now();
        if (status != STATUS_OK) {
            std::fprintf(stderr, "seed %u: %s\n", first + k, status_text(status));
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        if (each)
            std::printf("seed %u: %.2f ms\n", first + k, ms.back());
    }
    double mean = 0;
    for (double v : ms)
        mean += v;
    mean /= static_cast<double>(ms.size());
    std::printf("bits %u count %u median_ms %.2f mean_ms %.2f\n", bits, count, median_of(ms), mean);
    if (sign) {
        // A type-1 block of the key's length, as rsa_sign_block makes it.
        uint32_t k = (bits + 7) / 8;
        std::vector<uint8_t> block(k, 0xFF), fast(k), plain(k);
        block[0] = 0x00;
        block[1] = 0x01;
        block[k - 36] = 0x00;
        std::vector<double> fast_ms, plain_ms;
        for (int round = 0; round < 20; ++round) {
            uint32_t len = 0;
            block[k - 1] = static_cast<uint8_t>(round);
            auto start = std::chrono::steady_clock::now();
            rsa_private_crt(fast.data(), &len, block.data(), k, &priv);
            auto middle = std::chrono::steady_clock::now();
            rsa_private_crt_plain(plain.data(), &len, block.data(), k, &priv);
            auto stop = std::chrono::steady_clock::now();
            if (fast != plain) {
                std::fprintf(stderr, "the two private-key operations differ\n");
                return 1;
            }
            fast_ms.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
            plain_ms.push_back(std::chrono::duration<double, std::milli>(stop - middle).count());
        }
        std::printf("private-key operation: fast median_ms %.3f, plain median_ms %.3f\n",
                    median_of(fast_ms), median_of(plain_ms));
    }
    return 0;
}
