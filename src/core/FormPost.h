#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// A form as its page would have sent it by POST: its fields in order, as
// the page's entry list holds them, and how they are encoded.
struct FormPost {
    enum class Encoding { UrlEncoded, Multipart };
    struct Field {
        std::string name, value;
    };
    Encoding encoding = Encoding::UrlEncoded;
    std::vector<Field> fields;
};

// The application/x-www-form-urlencoded body browsers send: each line break
// as CR LF, then the UTF-8 bytes, letters, digits and *-._ as they are, a
// blank as '+' and every other byte as %XX.
std::string urlEncodedBody(const FormPost& form);

// Every line break (CR LF, a lone CR or a lone LF) as CR LF, as a form's
// names and values are sent.
std::string withCrLf(std::string_view text);

} // namespace vardelo
