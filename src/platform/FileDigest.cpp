#include "platform/FileDigest.h"

#include <openssl/evp.h>

namespace vardelo {

struct FileDigest::Context {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(context); }
};

namespace {

const EVP_MD* algorithm(DigestKind kind) {
    switch (kind) {
    case DigestKind::Md5:
        return EVP_md5();
    case DigestKind::Sha1:
        return EVP_sha1();
    case DigestKind::Sha256:
        return EVP_sha256();
    }
    return nullptr;
}

} // namespace

FileDigest::FileDigest(DigestKind kind) : kind_(kind), context_(std::make_unique<Context>()) {
    restart();
}

FileDigest::~FileDigest() = default;

void FileDigest::restart() {
    failed_ =
        !context_->context || EVP_DigestInit_ex(context_->context, algorithm(kind_), nullptr) != 1;
}

void FileDigest::add(const char* data, std::size_t size) {
    if (!failed_ && size > 0)
        failed_ = EVP_DigestUpdate(context_->context, data, size) != 1;
}

std::string FileDigest::hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (failed_ || EVP_DigestFinal_ex(context_->context, digest, &length) != 1) {
        failed_ = true;
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kDigits[digest[i] >> 4];
        text += kDigits[digest[i] & 0xF];
    }
    failed_ = true; // finished: a restart is needed before more is added
    return text;
}

} // namespace vardelo
