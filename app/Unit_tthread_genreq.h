// The request generation job, TThread_GenReq: turns the two validated pages
// into the two output files on a worker thread of its own. It builds the
// subject name components and request attributes from the data page's fields
// and the configuration, generates the RSA key pair from its own copy of the
// window's random pool, protects the private key under the access password,
// builds the signed request and writes the key file and the request file
// (with the text trailer when the profile asks for one).
//
// Also here: the hand-over of the window's pool to the job (SeedAndCopyPool).
#pragma once

#include <pthread.h>

#include <cstdint>
#include <functional>
#include <string>

#include "app/config_lookup.h"
#include "app/field_list.h"
#include "crypto/request/req_subject.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_key.h"

namespace app {

// Feeds `bytes` bytes from the operating system's random source (getrandom)
// into the pool, four at a time. False when the source failed; the pool may
// then have received part of them.
bool FeedSystemRandom(RandomPool& pool, uint32_t bytes);

// Completes the seeding of the window's pool and copies it into the job's:
// 32 bytes from the operating system's random source, then the tick count
// (milliseconds since the program started) as long as the pool still needs
// seed bytes, then the 40-byte copy. The window's pool is not reset. False (nothing copied) when
// the operating system's random source failed.
bool SeedAndCopyPool(RandomPool& window_pool, RandomPool& job_pool);

// How the job ended. `message` (ISO-8859-1) names the problem when it did not
// complete; no output file exists then.
struct GenerationResult {
    bool completed = false;
    std::string message;
};

// For tests: lets a test see the job's secrets on the job's thread, so that
// it can prove them gone when the job ends. Both are null in the program.
struct GenerationObserver {
    // Right after the key pair was made, with the job's private-key record.
    void (*key_made)(const RsaPrivateKey& key) = nullptr;
    // At the very end of Execute, once the job has wiped what it held: its
    // private-key record, its key-file area, its random pool (whose state
    // would give the key again) and the key page's list.
    void (*finished)(const RsaPrivateKey& key, const uint8_t* key_area, size_t key_area_size,
                     const RandomPool& pool, const FieldList& key_fields) = nullptr;
};

class TThread_GenReq {
  public:
    static inline GenerationObserver ObserverForTesting{};

    // The job works on the caller's own objects, which must stay alive and
    // untouched by anybody else until WaitFor has returned.
    TThread_GenReq(const ConfigDocument& config, FieldList& data_fields, FieldList& key_fields);
    // Waits for the thread, then releases the strings and wipes the pool.
    ~TThread_GenReq();
    TThread_GenReq(const TThread_GenReq&) = delete;
    TThread_GenReq& operator=(const TThread_GenReq&) = delete;

    // Subject name values by component index, request attribute values by
    // slot number, and the alternative names (e-mail, DNS name, IP address);
    // the job owns the strings.
    SubjectComponents Components;
    AttributeSlots Slots;
    ByteSpan AltNames[ALT_NAME_COUNT];
    // The IP address in binary, one byte per dotted part; AltNames[2] points
    // here.
    uint8_t IpAddress[4];
    FieldList& DataFields;
    FieldList& KeyFields;
    // The job's own copy of the window's seeded pool.
    RandomPool Pool;
    const ConfigDocument& ConfigDoc;

    // Size of the worker thread's stack.
    static constexpr size_t kStackSize = 16u << 20;

    // Runs Execute on a new thread; when it has returned, the thread calls
    // `on_terminate` (on the worker thread: the window hands in a function
    // that posts its end notification to its loop). False when the thread
    // could not be created or was started before; `on_terminate` is then
    // never called.
    bool Start(std::function<void()> on_terminate);

    // Waits until the thread has ended. Returns at once when none was started
    // or it was waited for already. Not from the worker thread itself.
    void WaitFor();

    // The job, on the calling thread. Every step's status is checked: the
    // first failure ends the job with its message and no output file. The
    // password and its confirmation in KeyFields are wiped in every case, and
    // so is Pool: from its state the key could be made again. A job runs
    // once.
    void Execute();

    // How the last Execute ended; read it after WaitFor.
    const GenerationResult& Result() const { return result_; }

    // Assembles subject component `index` from the data field `name`, or
    // from its parts name_1 to name_5 when the field itself is empty,
    // converting each value's letter case as configured and writing the
    // converted value back into DataFields.
    void FillComponent(uint32_t index, const std::string& name);

    // The CASE and CONCATSTR attributes of the configuration element named
    // exactly `name`: case 0 upper, 1 lower, 2 unchanged; the separator is
    // empty when absent.
    void GetFieldFormat(const std::string& name, int& case_out, std::string& separator) const;

    // Whether the configuration has a TXT_FILE element, and the value of the
    // first one's STR attribute (empty when absent).
    void GetTextFileMark(bool& present, std::string& text) const;

    // Replaces every occurrence of `find` in `text` by `replacement`, from the
    // left, in one pass (a replacement is never looked at again). An empty
    // `find` leaves the text unchanged.
    static void ReplaceAll(std::string& text, const std::string& find,
                           const std::string& replacement);

  private:
    struct Work;
    static void* ThreadMain(void* self);
    bool Fail(const std::string& message);
    // The job's steps, in order; each returns false after recording why it
    // failed.
    bool BuildSubject();
    bool BuildAttributes();
    bool BuildAltNames();
    bool GenerateKeyPair(Work& work);
    bool ProtectPrivateKey(Work& work);
    bool BuildRequest(Work& work);
    bool WriteFiles(Work& work);
    void ReleaseStrings();
    void WipePasswords();

    GenerationResult result_;
    std::function<void()> on_terminate_;
    pthread_t thread_{};
    bool started_ = false;
    bool joined_ = false;
};

}  // namespace app
