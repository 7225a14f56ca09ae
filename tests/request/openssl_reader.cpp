#include "tests/request/openssl_reader.h"

#include <gtest/gtest.h>

namespace openssl_reader {

using testing_support::run;

std::string all_output(const testing_support::RunResult& result) {
    return result.out + result.err;
}

test_keys::Bytes decrypt_key_file(const testing_support::TempDir& dir,
                                  const test_keys::Bytes& key_file, const std::string& password) {
    const std::string in = dir.file("protected.key");
    const std::string out = dir.file("decrypted.der");
    testing_support::write_file(in, key_file);
    // The DES-based schemes live in the legacy provider. -topk8 -nocrypt
    // writes back the PrivateKeyInfo itself.
    const auto result = run({"openssl", "pkcs8", "-inform", "DER", "-in", in, "-passin",
                             "pass:" + password, "-provider", "legacy", "-provider", "default",
                             "-topk8", "-nocrypt", "-outform", "DER", "-out", out});
    if (result.exit_code != 0) {
        ADD_FAILURE() << "openssl pkcs8 failed: " << all_output(result);
        return {};
    }
    return testing_support::read_file(out);
}

}  // namespace openssl_reader
