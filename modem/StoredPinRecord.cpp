#include "modem/StoredPinRecord.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <bcrypt.h>

#include <string>
#include <vector>

#include "win/Holders.h"
#include "win/UserRecords.h"

namespace pelvaro {
namespace {

// A salt and a hash of 32 bytes each, in hexadecimal, after the letter of its fate.
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kHashSize = 32;
constexpr std::size_t kEntrySize = 1 + 2 * (kSaltSize + kHashSize);
constexpr char kRefused = 'R';
constexpr char kUnanswered = 'U';
// A SIM takes three tries; a record of more PINs than this holds no PIN that still matters.
constexpr std::size_t kMostEntries = 8;
// Processes of one user take turns at the record.
constexpr wchar_t kMutexName[] = L"Local\\Pelvaro.PinRecord";

using Bytes = std::vector<unsigned char>;

std::string Hex(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

int Nibble(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return 0;  // a record changed by hand matches no PIN
}

Bytes FromHex(std::string_view text) {
    Bytes bytes;
    for (std::size_t at = 0; at + 1 < text.size(); at += 2) {
        bytes.push_back(static_cast<unsigned char>(Nibble(text[at]) << 4 | Nibble(text[at + 1])));
    }
    return bytes;
}

Bytes Sha256(const Bytes& salt, std::string_view pin) {
    Bytes hash(kHashSize);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return {};
    }
    Bytes input = salt;
    input.insert(input.end(), pin.begin(), pin.end());
    BCRYPT_HASH_HANDLE handle = nullptr;
    bool done = BCryptCreateHash(algorithm, &handle, nullptr, 0, nullptr, 0, 0) == 0;
    done = done && BCryptHashData(handle, input.data(), static_cast<ULONG>(input.size()), 0) == 0;
    done = done && BCryptFinishHash(handle, hash.data(), static_cast<ULONG>(hash.size()), 0) == 0;
    if (handle) BCryptDestroyHash(handle);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done ? hash : Bytes{};
}

class RecordLock {
  public:
    RecordLock() : mutex_(CreateMutexW(nullptr, FALSE, kMutexName)) {
        if (mutex_) WaitForSingleObject(mutex_.Get(), INFINITE);
    }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
    ~RecordLock() {
        if (mutex_) ReleaseMutex(mutex_.Get());
    }

  private:
    UniqueHandle mutex_;
};

std::string ReadRecord() {
    wchar_t value[2048] = {};
    DWORD size = sizeof value - sizeof value[0];
    if (RegGetValueW(HKEY_CURRENT_USER, kUserRecordsKey, kPinRecordValue, RRF_RT_REG_SZ, nullptr,
                     value, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::string text;
    for (const wchar_t* c = value; *c; ++c) text += static_cast<char>(*c);
    return text;
}

void WriteRecord(const std::string& text) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserRecordsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const UniqueRegKey key(opened);
    const std::wstring value(text.begin(), text.end());
    RegSetValueExW(key.Get(), kPinRecordValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The entries of the record, each kEntrySize characters.
std::vector<std::string> Entries(const std::string& record) {
    std::vector<std::string> entries;
    for (std::size_t at = 0; at + kEntrySize <= record.size(); at += kEntrySize + 1) {
        entries.push_back(record.substr(at, kEntrySize));
    }
    return entries;
}

bool IsFor(const std::string& entry, std::string_view pin) {
    const Bytes salt = FromHex(std::string_view(entry).substr(1, 2 * kSaltSize));
    const Bytes hash = Sha256(salt, pin);
    return !hash.empty() && entry.compare(1 + 2 * kSaltSize, std::string::npos, Hex(hash)) == 0;
}

}  // namespace

PinRecord::Fate StoredPinRecord::FateOf(std::string_view pin) {
    const RecordLock lock;
    for (const std::string& entry : Entries(ReadRecord())) {
        if (IsFor(entry, pin)) return entry[0] == kRefused ? Fate::Refused : Fate::Unanswered;
    }
    return Fate::Unsent;
}

void StoredPinRecord::Record(std::string_view pin, Fate fate) {
    const RecordLock lock;
    std::vector<std::string> kept;
    for (const std::string& entry : Entries(ReadRecord())) {
        if (!IsFor(entry, pin)) kept.push_back(entry);
    }
    if (kept.size() >= kMostEntries) kept.erase(kept.begin());
    std::string record;
    for (const std::string& entry : kept) record += entry + " ";
    if (fate != Fate::Unsent) {
        Bytes salt(kSaltSize);
        BCryptGenRandom(nullptr, salt.data(), static_cast<ULONG>(salt.size()),
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        const Bytes hash = Sha256(salt, pin);
        if (hash.empty()) return;
        record += (fate == Fate::Refused ? kRefused : kUnanswered) + Hex(salt) + Hex(hash);
    }
    WriteRecord(record);
}

void StoredPinRecord::Forget() {
    const RecordLock lock;
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserRecordsKey, kPinRecordValue);
}

}  // namespace pelvaro
