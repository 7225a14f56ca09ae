// Key-pair generation speed: generates K key pairs of N bits from K distinct
// deterministic seeds and prints the median and mean milliseconds per pair.
//
//   bench_keygen --bits N --count K [--first I] [--each]
//
// Seed i (from I, default 0, to I + K - 1) feeds the pool 64 updates of four
// bytes: the big-endian numbers 64*i to 64*i + 63. --each prints every pair's
// time as it is made.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/seed_pool.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_keygen.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: bench_keygen --bits N --count K [--first I] [--each]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t bits = 2048, count = 10, first = 0;
    bool each = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--each") == 0) {
            each = true;
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
    for (uint32_t k = 0; k < count; ++k) {
        RandomPool pool;
        seed_pool(&pool, first + k);
        RsaKeySpec spec{bits, 1};
        RsaPublicKey pub;
        RsaPrivateKey priv;
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
    std::sort(ms.begin(), ms.end());
    size_t mid = ms.size() / 2;
    double median = ms.size() % 2 != 0 ? ms[mid] : (ms[mid - 1] + ms[mid]) / 2;
    std::printf("bits %u count %u median_ms %.2f mean_ms %.2f\n", bits, count, median, mean);
    return 0;
}
