#include "core/FormPost.h"

namespace vardelo {
namespace {

bool sentAsItIs(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

void appendEncoded(std::string& body, std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    for (const unsigned char c : withCrLf(text)) {
        if (sentAsItIs(c)) {
            body += static_cast<char>(c);
        } else if (c == ' ') {
            body += '+';
        } else {
            body += '%';
            body += hex[c >> 4];
            body += hex[c & 15];
        }
    }
}

} // namespace

std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string urlEncodedBody(const FormPost& form) {
    std::string body;
    for (const FormPost::Field& field : form.fields) {
        if (!body.empty())
            body += '&';
        appendEncoded(body, field.name);
        body += '=';
        appendEncoded(body, field.value);
    }
    return body;
}

} // namespace vardelo
