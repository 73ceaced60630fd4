#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// A file size as a page writes it ("1.5 GB", "345,2 MB", "12 345 bytes",
// "700 KiB"). K, M, G, T and P count by 1024, with or without the "i", as
// hosts mean them. Only a count of whole bytes is exact; any other is
// rounded by the page and good for showing only.
struct SizeReading {
    std::int64_t bytes = 0;
    bool exact = false;
};

// Text before the first digit is passed over; nothing when no number or no
// known unit follows, or the size does not fit in 63 bits. A number without
// a unit is a count of bytes. A "," or "." followed by exactly three digits
// groups thousands in a count of bytes and is the decimal point otherwise;
// where both appear, the last one is the decimal point.
std::optional<SizeReading> readSizeText(std::string_view text);

enum class DigestKind : unsigned char { Md5, Sha1, Sha256 };

// "md5", "sha1" or "sha256", as a profile names the kind.
std::optional<DigestKind> digestKindNamed(std::string_view name);
// "MD5", "SHA-1", "SHA-256", as the window names it.
const char* digestKindLabel(DigestKind kind);
// The log's note of a digest that matched ("SHA-256 egyezik").
std::string digestMatchText(DigestKind kind);
// Hex digits in a digest of the kind.
std::size_t digestHexLength(DigestKind kind);

struct ExpectedDigest {
    DigestKind kind = DigestKind::Sha256;
    std::string hex; // lower-case
};

// A hex digest as a page shows it, blanks around it allowed, in either
// letter case; its kind as given, else by its length (32 MD5, 40 SHA-1,
// 64 SHA-256). Nothing when it is not hex or not of the kind's length.
std::optional<ExpectedDigest> readDigest(std::string_view text,
                                         std::optional<DigestKind> kind = std::nullopt);

// What the pages said of the file the transfer fetches; checked when it has
// arrived.
struct ExpectedFile {
    std::optional<std::int64_t> exactSize;
    std::optional<ExpectedDigest> digest;
};

} // namespace vardelo
