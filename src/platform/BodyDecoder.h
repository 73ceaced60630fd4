#pragma once

#include <zlib.h>

#include <cstddef>
#include <functional>
#include <string>

namespace vardelo {

// Undoes a body's content coding as a browser does (gzip, or deflate in
// zlib form) and knows whether the coded stream reached its end: a coded
// body the connection cuts short is not the whole file, though the
// transfer itself ended cleanly.
class BodyDecoder {
  public:
    // The answer's Content-Encoding, nullptr when it has none.
    explicit BodyDecoder(const std::string* contentEncoding);
    ~BodyDecoder();
    BodyDecoder(const BodyDecoder&) = delete;
    BodyDecoder& operator=(const BodyDecoder&) = delete;

    // False for a coding this client cannot undo.
    bool known() const { return coding_ != Coding::Unknown; }

    using Sink = std::function<bool(const char* data, std::size_t size)>;
    // Hands the decoded bytes of one coded piece to `sink`; false when the
    // stream is broken or the sink refuses.
    bool decode(const char* data, std::size_t size, const Sink& sink);
    // The stream has ended where its coding says it ends (an empty body
    // counts as the empty file).
    bool complete() const { return coding_ == Coding::Identity || !started_ || ended_; }

  private:
    enum class Coding { Identity, Zlib, Unknown };
    Coding coding_ = Coding::Identity;
    z_stream stream_{};
    bool started_ = false;
    bool ended_ = false;
    bool rawDeflateAllowed_ = false;
};

} // namespace vardelo
