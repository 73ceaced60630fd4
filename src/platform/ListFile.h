#pragma once

#include <QString>

#include <string>
#include <vector>

namespace vardelo {

// A plain-text link list's lines, as "Megnyitás" reads them; throws
// UserError with the message the error box shows.
std::vector<std::string> readListFile(const QString& path);

// Saves the lines as a link list, replacing the file whole; throws UserError.
void writeListFile(const QString& path, const std::vector<std::string>& lines);

} // namespace vardelo
