#pragma once

namespace quorvex {

class TGnuGettextInstance;
class TSettings;

// The language chosen once at start, before any window: the environment, then the `Language` key of
// the settings (an empty value keeps the environment's choice). Registers the runtime's domain `rtl`
// (Qt's own texts and the C library's messages) after `default`.
void ChooseStartupLanguage(TGnuGettextInstance& instance, const TSettings& settings);

// The same for the program's shared instance and settings; settings that cannot be opened leave the
// environment's language.
void InitializeTranslation();

} // namespace quorvex
