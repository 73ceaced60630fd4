#pragma once

#include <QString>

namespace vardelo {

// The free texts of the "Fontos" and "Fejlesztések" pages.
QString importantText();
QString changeHistoryText();

// The project's contact for faults and questions, as the package names it.
QString contactText();
// What "Megnézem a weblapját" opens: the project has no web site of its
// own, so a letter to its contact.
QString homePageAddress();

} // namespace vardelo
