// OpenSSL as the independent reader of our key files and requests.
#pragma once

#include <string>

#include "tests/request/test_keys.h"
#include "tests/support/process.h"

namespace openssl_reader {

// Writes `key_file` to the folder and has `openssl pkcs8` decrypt it with
// `password`; returns the PrivateKeyInfo it recovers, DER (empty on failure,
// which is also reported as a test failure with OpenSSL's messages).
test_keys::Bytes decrypt_key_file(const testing_support::TempDir& dir,
                                  const test_keys::Bytes& key_file, const std::string& password);

// Both output streams of a run, for checks on what OpenSSL printed wherever
// it printed it.
std::string all_output(const testing_support::RunResult& result);

}  // namespace openssl_reader
