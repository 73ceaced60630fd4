#pragma once

#include "core/ExpectedFile.h"

#include <cstddef>
#include <memory>
#include <string>

namespace vardelo {

// A digest taken piece by piece as bytes arrive, by OpenSSL's EVP.
class FileDigest {
  public:
    explicit FileDigest(DigestKind kind);
    ~FileDigest();
    FileDigest(const FileDigest&) = delete;
    FileDigest& operator=(const FileDigest&) = delete;

    DigestKind kind() const { return kind_; }
    // Starts over, as for a body written again from its first byte.
    void restart();
    void add(const char* data, std::size_t size);
    // The digest of everything added since the start, in lower-case hex;
    // empty when the library failed.
    std::string hex();

  private:
    struct Context;
    DigestKind kind_;
    std::unique_ptr<Context> context_;
    bool failed_ = false;
};

} // namespace vardelo
