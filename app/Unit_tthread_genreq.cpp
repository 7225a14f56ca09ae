#include "app/Unit_tthread_genreq.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string_view>
#include <vector>

#include "app/Unit_mousedata.h"
#include "app/messages.h"
#include "app/text.h"
#include "crypto/common/algorithm.h"
#include "crypto/common/mem.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/request/request.h"
#include "crypto/rsa/rsa_keygen.h"
#include "platform/file_commit.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/tick_count.h"
#include "platform/wipe.h"

namespace app {

namespace {

// Room for each output: more than the key file (KEYFILE_BUFFER_SIZE) or the
// request (REQ_BUFFER_SIZE) can ever take.
constexpr uint32_t kAreaSize = 8192;
constexpr uint32_t kSystemSeedBytes = 32;
constexpr uint32_t kComponentsFromFields = 15;
constexpr int kMaxIpParts = 4;

// The data field each subject component is read from, by component index.
const char* const kComponentFields[kComponentsFromFields] = {
    "DN_O", "DN_OU",  "DN_CN", "DN_T", "DN_STREET", "DN_PostalCode", "DN_C",  "DN_S",
    "DN_L", "DN_UID", "DN_SN", "DN_E", "DN_BC",     "DN_Phone",      "DN_Fax"};

// A new[] copy of the text's bytes, for a span the job owns.
ByteSpan CopySpan(const std::string& text) {
    ByteSpan span;
    span.data = new uint8_t[text.size()];
    mem_copy(span.data, text.data(), static_cast<uint32_t>(text.size()));
    span.length = static_cast<uint32_t>(text.size());
    return span;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pool hand-over

bool FeedSystemRandom(RandomPool& pool, uint32_t bytes) {
    while (bytes > 0) {
        uint32_t value = 0;
        const uint32_t take = bytes < 4 ? bytes : 4;
        ssize_t got = getrandom(&value, take, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(take))
            return false;
        uint8_t chunk[4];
        for (uint32_t i = 0; i < 4; ++i)
            chunk[i] = static_cast<uint8_t>(value >> (8 * i));
        rand_update(&pool, chunk, take);
        mem_wipe(chunk);
        mem_wipe(value);
        bytes -= take;
    }
    return true;
}

bool SeedAndCopyPool(RandomPool& window_pool, RandomPool& job_pool) {
    if (!FeedSystemRandom(window_pool, kSystemSeedBytes))
        return false;
    uint32_t needed = 0;
    rand_bytes_needed(&needed, &window_pool);
    while (needed > 0) {
        FeedValue(window_pool, platform::TickCount());
        rand_bytes_needed(&needed, &window_pool);
    }
    mem_copy(&job_pool, &window_pool, sizeof(RandomPool));
    return true;
}

// ---------------------------------------------------------------------------
// The job

TThread_GenReq::TThread_GenReq(const ConfigDocument& config, FieldList& data_fields,
                               FieldList& key_fields)
    : Components{},
      Slots{},
      AltNames{},
      IpAddress{},
      DataFields(data_fields),
      KeyFields(key_fields),
      Pool{},
      ConfigDoc(config) {}

TThread_GenReq::~TThread_GenReq() {
    WaitFor();
    ReleaseStrings();
    mem_wipe(Pool);
}

bool TThread_GenReq::Start(std::function<void()> on_terminate) {
    if (started_)
        return false;
    on_terminate_ = std::move(on_terminate);
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    bool created = pthread_attr_setstacksize(&attributes, kStackSize) == 0 &&
                   pthread_create(&thread_, &attributes, &TThread_GenReq::ThreadMain, this) == 0;
    pthread_attr_destroy(&attributes);
    started_ = created;
    return created;
}

void* TThread_GenReq::ThreadMain(void* self) {
    auto* job = static_cast<TThread_GenReq*>(self);
    try {
        job->Execute();
    } catch (const std::bad_alloc&) {
        job->ReleaseStrings();
        job->WipePasswords();
        job->result_ = {false, std::string(msg::kJobFailed) + msg::kNothingWritten};
    }
    if (job->on_terminate_)
        job->on_terminate_();
    return nullptr;
}

void TThread_GenReq::WaitFor() {
    if (started_ && !joined_) {
        pthread_join(thread_, nullptr);
        joined_ = true;
    }
}

bool TThread_GenReq::Fail(const std::string& message) {
    result_.completed = false;
    result_.message = message + msg::kNothingWritten;
    return false;
}

void TThread_GenReq::ReleaseStrings() {
    span_array_release(Components, SUBJECT_COMPONENT_COUNT);
    span_array_release(Slots, ATTRIBUTE_SLOT_COUNT);
    // The e-mail and DNS names are the job's copies; the IP entry points into
    // IpAddress.
    span_array_release(AltNames, ALT_NAME_IP);
    AltNames[ALT_NAME_IP] = ByteSpan{};
    mem_wipe(IpAddress);
}

void TThread_GenReq::WipePasswords() {
    for (const char* name : {"PWD", "PWD2"}) {
        const int index = KeyFields.IndexOfName(name);
        if (index < 0)
            continue;
        // The line is cut back to its name; the list wipes what it replaces.
        // (No split into name and value here: that would copy the password.)
        const std::string& line = KeyFields.Line(static_cast<size_t>(index));
        KeyFields.SetLine(static_cast<size_t>(index), line.substr(0, line.find('=') + 1));
    }
}

// Slots 1 (challenge password) and 3 (a number as four bytes, most
// significant first).
bool TThread_GenReq::BuildAttributes() {
    const std::string challenge = DataFields.Value("EA_CHALLENGE");
    if (!challenge.empty())
        Slots[SLOT_CHALLENGE_PASSWORD] = CopySpan(challenge);

    const std::string attribute = DataFields.Value("EA_ATTR");
    if (!attribute.empty()) {
        int number = 0;
        if (!ParseDecimal(Trim(attribute), number))
            return Fail(msg::kAttrInvalid + attribute + ".");
        Slots[SLOT_NUMBER].data = new uint8_t[4];
        Slots[SLOT_NUMBER].length = 4;
        u32_to_be_bytes(static_cast<uint32_t>(number), Slots[SLOT_NUMBER].data);
    }
    return true;
}

// The subject alternative names into slot 20: e-mail, DNS name and the IP
// address, one byte per dotted decimal part (the low 8 bits of each; missing
// trailing parts stay 0, more than four parts are refused).
bool TThread_GenReq::BuildAltNames() {
    for (ByteSpan& name : AltNames)
        name = ByteSpan{};
    mem_wipe(IpAddress);

    const std::string email = DataFields.Value("EA_SUBJECT_ALT_NAME_EMAIL");
    if (!email.empty())
        AltNames[ALT_NAME_EMAIL] = CopySpan(email);
    const std::string domain = DataFields.Value("EA_SUBJECT_ALT_NAME_DOMAIN");
    if (!domain.empty())
        AltNames[ALT_NAME_DNS] = CopySpan(domain);

    const std::string ip = DataFields.Value("EA_SUBJECT_ALT_NAME_IP");
    if (!ip.empty()) {
        std::string text = ip;
        ReplaceAll(text, ".", "\r\n");
        const std::vector<std::string> parts = platform::SplitLines(text);
        if (parts.size() > kMaxIpParts)
            return Fail(msg::kIpAddressInvalid + ip + ".");
        for (size_t i = 0; i < parts.size(); ++i) {
            int number = 0;
            if (!ParseDecimal(Trim(parts[i]), number))
                return Fail(msg::kIpAddressInvalid + ip + ".");
            IpAddress[i] = static_cast<uint8_t>(number & 0xFF);
        }
        AltNames[ALT_NAME_IP].data = IpAddress;
        AltNames[ALT_NAME_IP].length = sizeof IpAddress;
    }

    bool any = false;
    for (const ByteSpan& name : AltNames)
        any = any || name.length != 0;
    if (any && req_build_alt_names(Slots, AltNames) != STATUS_BUILT)
        return Fail(msg::kAltNamesFailed);
    return true;
}

// What the job's steps hand on to each other: the key pair and the two
// output areas. The private key and the key area are wiped at the end of the
// job whatever happened.
struct TThread_GenReq::Work {
    RsaPublicKey public_key{};
    RsaPrivateKey private_key{};
    std::vector<uint8_t> key_area = std::vector<uint8_t>(kAreaSize);
    std::vector<uint8_t> request_area = std::vector<uint8_t>(kAreaSize);
    uint32_t key_length = 0;
    uint32_t request_length = 0;
};

void TThread_GenReq::Execute() {
    result_ = GenerationResult{};
    ReleaseStrings();
    Work work;
    // Every step returns false after recording its failure.
    result_.completed = BuildSubject() && BuildAttributes() && BuildAltNames() &&
                        GenerateKeyPair(work) && ProtectPrivateKey(work) && BuildRequest(work) &&
                        WriteFiles(work);
    if (result_.completed)
        result_.message.clear();

    WipePasswords();
    mem_wipe(work.private_key);
    mem_fill(work.key_area.data(), 0, kAreaSize);
    mem_wipe(Pool);
    ReleaseStrings();
    if (ObserverForTesting.finished)
        ObserverForTesting.finished(work.private_key, work.key_area.data(), kAreaSize, Pool,
                                    KeyFields);
}

bool TThread_GenReq::BuildSubject() {
    for (uint32_t i = 0; i < kComponentsFromFields; ++i)
        FillComponent(i, kComponentFields[i]);
    return true;
}

bool TThread_GenReq::GenerateKeyPair(Work& work) {
    const std::string size_text = KeyFields.Value("SIZE_KEY");
    int bits = 0;
    if (!ParseDecimal(Trim(size_text), bits))
        return Fail(msg::kKeySizeInvalid + size_text + ".");
    if (bits < static_cast<int>(RSA_MIN_MODULUS_BITS) ||
        bits > static_cast<int>(RSA_MAX_MODULUS_BITS))
        return Fail(msg::kKeySizeOutOfRange + size_text + ".");
    RsaKeySpec wanted{static_cast<uint32_t>(bits), 1};
    if (rsa_generate_key_pair(&work.public_key, &work.private_key, &wanted, &Pool) != STATUS_OK)
        return Fail(msg::kKeyGenerationFailed);
    if (ObserverForTesting.key_made)
        ObserverForTesting.key_made(work.private_key);
    return true;
}

// The key file under the access password; the password's copies are wiped
// right after, whatever the outcome.
bool TThread_GenReq::ProtectPrivateKey(Work& work) {
    std::string password = KeyFields.Value("PWD");
    const Status protection =
        keyfile_protect_private_key(work.key_area.data(), &work.key_length, ALG_PBE_MD5_DES_CBC, 1,
                                    reinterpret_cast<const uint8_t*>(password.data()),
                                    static_cast<uint32_t>(password.size()), &work.private_key);
    platform::WipeText(password);
    WipePasswords();
    if (protection != KEYFILE_OK || work.key_length == 0 || work.key_length > kAreaSize)
        return Fail(msg::kKeyProtectionFailed);
    return true;
}

bool TThread_GenReq::BuildRequest(Work& work) {
    if (req_build_request(work.request_area.data(), &work.request_length, ALG_MD5_WITH_RSA,
                          Components, &work.public_key, &work.private_key, Slots) != STATUS_BUILT ||
        work.request_length == 0 || work.request_length > kAreaSize)
        return Fail(msg::kRequestFailed);
    mem_wipe(work.private_key);
    return true;
}

// The request file:
//
//   [DER CertificationRequest][STR text][NAME=VALUE CR LF]...
//
// the trailer only when the profile has a TXT_FILE element; its lines are the
// data page's fields in submission order, as the components left them,
// ISO-8859-1, with no terminator at the end. Both files are committed
// together: both complete, or neither written.
bool TThread_GenReq::WriteFiles(Work& work) {
    bool mark = false;
    std::string trailer;
    GetTextFileMark(mark, trailer);
    if (mark)
        trailer += DataFields.Text();

    const std::string key_name = KeyFields.Value("KEY");
    const std::string request_name = KeyFields.Value("REQ");
    const std::vector<platform::FileToCommit> files = {
        {platform::DiskName(key_name),
         0600,
         {std::string_view(reinterpret_cast<const char*>(work.key_area.data()), work.key_length)}},
        {platform::DiskName(request_name),
         0666,
         {std::string_view(reinterpret_cast<const char*>(work.request_area.data()),
                           work.request_length),
          trailer}},
    };
    size_t failed = 0;
    if (!platform::CommitFiles(files, failed))
        return Fail(msg::kFileWriteFailed + (failed == 0 ? key_name : request_name) + ".");
    return true;
}

void TThread_GenReq::FillComponent(uint32_t index, const std::string& name) {
    // Converts one field's value as configured and writes it back under the
    // name as spelled here.
    auto formatted = [this](const std::string& field, std::string& separator) {
        int letter_case = 2;
        GetFieldFormat(field, letter_case, separator);
        std::string value = DataFields.Value(field);
        if (letter_case == 0 || letter_case == 1) {
            value = letter_case == 0 ? UpperCase(value) : LowerCase(value);
            const int line = DataFields.IndexOfName(field);
            if (line >= 0)
                DataFields.SetLine(static_cast<size_t>(line), field + "=" + value);
        }
        return value;
    };

    std::string text;
    if (!DataFields.Value(name).empty()) {
        std::string unused;
        text = formatted(name, unused);
    } else {
        for (int part = 1; part <= 5; ++part) {
            const std::string part_name = name + "_" + std::to_string(part);
            if (DataFields.Value(part_name).empty())
                continue;
            std::string separator;
            text += formatted(part_name, separator);
            text += separator;
        }
    }
    if (index < SUBJECT_COMPONENT_COUNT && !text.empty()) {
        span_array_release(&Components[index], 1);
        Components[index] = CopySpan(text);
    }
}

void TThread_GenReq::GetFieldFormat(const std::string& name, int& case_out,
                                    std::string& separator) const {
    const std::string letter_case = ConfigDoc.GetElementAttribute(name, "CASE");
    if (SameText(letter_case, "UPPER"))
        case_out = 0;
    else if (SameText(letter_case, "LOWER"))
        case_out = 1;
    else
        case_out = 2;
    separator = ConfigDoc.GetElementAttribute(name, "CONCATSTR");
}

void TThread_GenReq::GetTextFileMark(bool& present, std::string& text) const {
    present = !ConfigDoc.FindElement("TXT_FILE").empty();
    text = present ? ConfigDoc.GetElementAttribute("TXT_FILE", "STR") : std::string();
}

void TThread_GenReq::ReplaceAll(std::string& text, const std::string& find,
                                const std::string& replacement) {
    if (find.empty())
        return;
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, from)) {
        out.append(text, from, at - from);
        out += replacement;
        from = at + find.size();
    }
    out.append(text, from, std::string::npos);
    text = std::move(out);
}

}  // namespace app
