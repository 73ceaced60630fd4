#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// A file of secrets (passwords) kept for this user only. It is read only
// when it is this user's own regular file, reached without a symbolic link;
// anything else is left unread and said so, whoever could have put it there.
struct SecretFileRead {
    std::optional<std::string> text; // nothing when missing or refused
    std::string refusal;             // why it was not read, Hungarian; empty when it was
};
SecretFileRead readSecretFile(const QString& path, std::int64_t limit);

// Writes it whole as the record files are written, readable by its user
// only (a looser mode left by hand is tightened). Throws IoError.
void writeSecretFile(const QString& path, std::string_view bytes);

} // namespace vardelo
