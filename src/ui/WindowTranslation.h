#pragma once

class QWidget;

namespace quorvex {

// Translates every text of a window and of the objects it owns: titles, texts, tool tips, status
// tips and "What's this" texts of widgets and actions (menu titles are their menu actions' texts),
// group-box titles, combo-box items, tab texts and the headers of standard item models. Object names
// are never touched. The English source texts are remembered on each object, so that a later
// RetranslateWindow starts from them and not from a translation.
//
// A text the program's code has replaced since (it no longer reads what was set here) belongs to
// that code from then on: it is left alone and its source is forgotten. Widgets with the property
// kOwnTextsProperty set to true translate their own texts; they and their children are skipped.
void TranslateWindow(QWidget& window);

// Translates the remembered source texts again, in the current language. Objects made after
// TranslateWindow are not touched.
void RetranslateWindow(QWidget& window);

inline constexpr const char* kOwnTextsProperty = "quorvexOwnTexts";

} // namespace quorvex
