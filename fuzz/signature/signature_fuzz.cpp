// The publisher's key files and .minisig files: any bytes parse to a result or a reason,
// never a fault, and a signature that parses verifies (or not) without one.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "install/PublisherSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<CPublisherKey> keys;
    std::string error;
    if (!ParsePublisherKeys(text, keys, &error))
        QI_FUZZ_CHECK(!error.empty() && keys.empty());
    CMinisignSignature signature;
    error.clear();
    if (!ParseMinisignSignature(text, signature, &error)) {
        QI_FUZZ_CHECK(!error.empty());
        return 0;
    }
    // A key of the signature's id (of no real key): the check must refuse, cleanly.
    CPublisherKey key;
    key.keyId = signature.keyId;
    std::string reason;
    QI_FUZZ_CHECK(!VerifyPublisherSignature(L"/nonexistent", text, {key}, "pack.exe", &reason));
    QI_FUZZ_CHECK(!reason.empty());
    return 0;
}
