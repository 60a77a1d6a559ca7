// The program's two web pages, installed with it as local HTML files.
#pragma once

#include <QString>
#include <QUrl>

enum class WebPage { Home, Terms };

// The folder holding the pages: the installed data folder next to the
// program's prefix, or, for a run from the build tree, the source copies.
[[nodiscard]] QString pagesFolder();

// The address of a page as a local file.
[[nodiscard]] QUrl pageUrl(WebPage page);
