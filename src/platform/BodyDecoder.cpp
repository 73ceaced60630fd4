#include "platform/BodyDecoder.h"

#include "core/AsciiCase.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vardelo {
namespace {

std::string trimmedLower(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? asciiLower(std::string(first, last)) : std::string();
}

} // namespace

BodyDecoder::BodyDecoder(const std::string* contentEncoding) {
    const std::string coding = contentEncoding ? trimmedLower(*contentEncoding) : std::string();
    if (coding.empty() || coding == "identity")
        coding_ = Coding::Identity;
    else if (coding == "gzip" || coding == "x-gzip" || coding == "deflate")
        coding_ = inflateInit2(&stream_, 15 + 32) == Z_OK ? Coding::Zlib : Coding::Unknown;
    else
        coding_ = Coding::Unknown;
    rawDeflateAllowed_ = coding == "deflate";
}

BodyDecoder::~BodyDecoder() {
    if (coding_ == Coding::Zlib)
        inflateEnd(&stream_);
}

bool BodyDecoder::decode(const char* data, std::size_t size, const Sink& sink) {
    if (coding_ == Coding::Identity)
        return sink(data, size);
    if (coding_ != Coding::Zlib)
        return false;
    const bool firstPiece = !started_;
    started_ = started_ || size > 0;
    if (ended_)
        return true; // bytes after the end mark are not the file's
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream_.avail_in = static_cast<uInt>(size);
    std::array<char, 64 * 1024> out;
    for (;;) {
        stream_.next_out = reinterpret_cast<Bytef*>(out.data());
        stream_.avail_out = static_cast<uInt>(out.size());
        int result = inflate(&stream_, Z_NO_FLUSH);
        if (result == Z_DATA_ERROR && rawDeflateAllowed_ && firstPiece) {
            // Some servers send "deflate" without its zlib wrapping.
            rawDeflateAllowed_ = false;
            if (inflateReset2(&stream_, -15) != Z_OK)
                return false;
            stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
            stream_.avail_in = static_cast<uInt>(size);
            continue;
        }
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return false;
        const std::size_t produced = out.size() - stream_.avail_out;
        if (produced > 0 && !sink(out.data(), produced))
            return false;
        if (result == Z_STREAM_END) {
            ended_ = true;
            return true;
        }
        if (stream_.avail_out != 0) // the piece is used up and all its output given
            return true;
    }
}

} // namespace vardelo
