#pragma once

#include <string>
#include <string_view>

namespace quorvex {

enum class TMarkup {
    XmlContent,   // element text: the apostrophe as &apos;
    XmlAttribute, // a double-quoted attribute value: tab, LF and CR as character references
    Html,         // the apostrophe as &#39;
};

// Escapes the five markup characters and makes the text something every conforming parser accepts:
// bytes that are not valid UTF-8 and characters XML 1.0 forbids (controls other than tab, LF, CR;
// U+FFFE, U+FFFF) become U+FFFD. CR is written as &#13; because parsers fold a literal one into LF,
// and in attributes tab and LF too, which attribute normalisation would turn into blanks.
std::string XmlEscape(std::string_view text, TMarkup markup);

} // namespace quorvex
