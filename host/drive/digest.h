// SHA-256 digests of files, so that a record of a run names exactly the model,
// parameter file and channel it used (the same hex text sha256sum prints).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/result.h"

namespace amihost {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, std::size_t size);
    // The digest as 64 lowercase hex digits; the object is spent after it.
    std::string HexDigest();

private:
    void Compress(const std::uint8_t* block);
    std::uint32_t state_[8];
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes
};

// The digest of a file's bytes, or why it could not be read.
Expected<std::string> FileSha256(const std::string& path);

}  // namespace amihost
