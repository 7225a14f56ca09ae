#include "crypto/rsa/rand.h"

#include "crypto/common/mem.h"
#include "crypto/digest/md5.h"

static_assert(sizeof(RandomPool) == 40, "RandomPool is copied as a 40-byte record");

namespace {

void md5_of(uint8_t digest[16], const uint8_t* data, uint32_t len) {
    Md5Context ctx;
    md5_init(&ctx);
    md5_update(&ctx, data, len);
    md5_final(digest, &ctx);
}

// Adds one to the state, moving on to the next more significant byte only
// when the byte was zero before the increment (not when it wraps from FF):
// ..05 00 becomes ..06 01, ..05 FF becomes ..05 00. The generator's output
// sequence depends on this exact rule.
void step_state(uint8_t state[16]) {
    for (int i = 15; i >= 0; --i) {
        uint8_t old = state[i];
        state[i] = static_cast<uint8_t>(old + 1);
        if (old != 0)
            break;
    }
}

}  // namespace

Status rand_init(RandomPool* pool) {
    mem_fill(pool->state, 0, sizeof pool->state);
    pool->output_available = 0;
    pool->bytes_needed = RAND_SEED_BYTES;
    return STATUS_OK;
}

Status rand_update(RandomPool* pool, const uint8_t* data, uint32_t len) {
    uint8_t digest[16];
    md5_of(digest, data, len);

    uint32_t x = 0;
    for (int i = 15; i >= 0; --i) {
        x += static_cast<uint32_t>(pool->state[i]) + digest[i];
        pool->state[i] = static_cast<uint8_t>(x);
        x >>= 8;
    }
    pool->bytes_needed = len < pool->bytes_needed ? pool->bytes_needed - len : 0;

    mem_wipe(digest);
    mem_wipe(x);
    return STATUS_OK;
}

Status rand_bytes_needed(uint32_t* needed, const RandomPool* pool) {
    *needed = pool->bytes_needed;
    return STATUS_OK;
}

Status rand_generate(uint8_t* out, uint32_t len, RandomPool* pool) {
    if (pool->bytes_needed != 0)
        return STATUS_NOT_SEEDED;

    uint32_t avail = pool->output_available;
    while (len > avail) {
        mem_copy(out, pool->output + (16 - avail), avail);
        out += avail;
        len -= avail;
        // The block is computed before the state steps, so the first block
        // after seeding is the digest of the seeded state itself.
        md5_of(pool->output, pool->state, sizeof pool->state);
        avail = 16;
        step_state(pool->state);
    }
    mem_copy(out, pool->output + (16 - avail), len);
    pool->output_available = avail - len;
    return STATUS_OK;
}
