// `reqwiz pkcs12`: puts the certificate the authority returned together
// with the private key into one PKCS#12 file (.pfx / .p12) for browsers and
// signing programs.
//
//   reqwiz pkcs12 --cert FILE [--chain FILE]... --key FILE.key --out FILE.pfx
//                 [--modern] [--force]
//
// The certificate files may be DER, PEM (one or more certificates) or a
// PKCS#7 bundle (.p7b, DER or PEM); the certificate that belongs to the key
// is found among those of --cert, every other certificate goes in as the
// chain. Standard input gives the key's access password on its first line
// and the new file's password on the second (typed without echo on a
// terminal, where the new one is asked twice).
//
// Refused, each with one Spanish sentence and no file written: a
// certificate that does not belong to the key, a wrong access password, an
// expired or not yet valid certificate (the sentence gives the dates;
// --force writes it anyway), a certificate whose signature does not check
// under its issuer when that is among the files, an existing output file
// without --force, an empty or (on a terminal) mistyped new password.
//
// On success the certificate's subject, issuer, serial number, validity and
// SHA-256 fingerprint are printed, then the path written. The file is
// written under a temporary name with mode 0600 and renamed when complete.
// Exit codes: 0 written, 1 refused, 2 a bad command line or a file that
// cannot be read.
#pragma once

namespace cli {

// Runs the command with the arguments that follow the word "pkcs12".
int RunPkcs12(int argc, char** argv);

}  // namespace cli
