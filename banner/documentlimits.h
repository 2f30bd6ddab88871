// How large a page's document is, measured before litehtml sees it. litehtml builds, styles,
// lays out and draws its tree by recursion, and gives every element and every word and space
// of text an object of its own: a deep tree overflows its stack, a large one takes more memory
// and time than a banner is worth. The page is parsed here first by the same HTML parser
// litehtml uses, into memory of a fixed budget, and its tree is walked without recursion.
#pragma once

#include <QByteArray>
#include <QString>

namespace DocumentLimits {

// Nesting of elements; no banner needs more, and litehtml's recursion stays shallow.
inline constexpr int kMaxDepth = 64;
// Elements, and the words, spaces and Chinese characters litehtml makes boxes of.
inline constexpr int kMaxBoxes = 4000;
// The text of the page, including its style and script elements.
inline constexpr qsizetype kMaxTextBytes = 512 * 1024;
// The parser's memory for one page; litehtml's own parse of it takes no more.
inline constexpr std::size_t kParserBudget = 48 * 1024 * 1024;

// Why the page (UTF-8) is over a limit; empty when it is within all of them.
QString exceeded(const QByteArray& html);

}  // namespace DocumentLimits
