#pragma once

#include <QString>

namespace vardelo {

// The free texts of the "Fontos" and "Fejlesztések" pages.
QString importantText();
QString changeHistoryText();

// The project's home page, opened by "Megnézem a weblapját".
QString homePageAddress();

} // namespace vardelo
