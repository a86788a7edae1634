// An HTML mail body as the plain text a browser shows, read with libxml2's
// HTML parser: block elements and <br> end lines (a paragraph leaves a
// blank line), list items start with "- " (indented two spaces per nested
// list), table cells are separated by a space, entities are decoded,
// script, style and the head are dropped, and runs of white space outside
// <pre> collapse to one space as a browser collapses them. A non-breaking
// space becomes a plain space that is not collapsed. Lines end in CRLF;
// trailing blanks of each line are dropped.
#pragma once

#include <string>
#include <string_view>

// html must be UTF-8 (a <meta> charset in it is not followed).
std::string htmlToText(std::string_view html);
